#include "diagnostics/checknouserproxy.h"

#include <QTest>

class tst_CheckNoUserProxy : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void proxies_data();
    void proxies();
};

void tst_CheckNoUserProxy::cleanup()
{
    for (const char *name : { "http_proxy", "https_proxy", "all_proxy", "no_proxy" })
        qunsetenv(name);
}

void tst_CheckNoUserProxy::proxies_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("log");

    QTest::newRow("none") << QByteArray() << QByteArray() << true << "There are no proxy in system setings\n";
    QTest::newRow("http_proxy") << QByteArray("http_proxy") << QByteArray("http://proxy.example:3128") << false
                                << "Proxy in user setings Type:3 Name:proxy.example\n";
}

void tst_CheckNoUserProxy::proxies()
{
    QFETCH(QByteArray, variable);
    QFETCH(QByteArray, value);
    QFETCH(bool, result);
    QFETCH(QString, log);
    if (!variable.isEmpty())
        qputenv(variable.constData(), value);
    TestResult record;
    CheckNoUserProxy check(&record);
    check.setAutoDelete(false);
    check.run();
    QCOMPARE(record.text, log);
    QCOMPARE(record.result, result);
}

QTEST_GUILESS_MAIN(tst_CheckNoUserProxy)
#include "tst_checknouserproxy.moc"
