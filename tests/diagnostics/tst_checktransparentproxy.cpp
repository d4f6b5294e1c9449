#include "vendorsitefixture.h"

#include "diagnostics/checktransparentproxy.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QTest>
#include <QThreadPool>

// The address-echo check against the vendor's test site, on a pool thread as the report runs it.
class tst_CheckTransparentProxy : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void echo_data();
    void echo();

private:
    std::unique_ptr<VendorSiteFixture> m_site;
};

void tst_CheckTransparentProxy::initTestCase()
{
    m_site = std::make_unique<VendorSiteFixture>();
    QVERIFY(m_site->isRunning());
    CheckTransparentProxy::setTransferLimit(1500);
}

void tst_CheckTransparentProxy::echo_data()
{
    QTest::addColumn<QJsonObject>("config");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("myIp");
    // The replies come in either order, so the log's lines are compared as a set; a final line is always last.
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("lastLine");

    const QString http = QStringLiteral("http://%1/nic/myip:");
    const QString https = QStringLiteral("https://%1/nic/myip:");
    QTest::newRow("both answer") << QJsonObject() << true << "127.0.0.1"
                                 << QStringList { http + "127.0.0.1", https + "127.0.0.1" } << QString();
    QTest::newRow("a trailing line break is no address")
        << QJsonObject { { "routes",
               QJsonObject { { "/nic/myip", QJsonObject { { "echo", true }, { "suffix", "\n" } } } } } }
        << false << "127.0.0.1\n"
        << QStringList { http + "127.0.0.1\n", https + "127.0.0.1\n" } << "Could not get IP address";
    QTest::newRow("http down, https answers") << QJsonObject { { "routes",
        QJsonObject { { "/nic/myip", QJsonObject { { "echo", true }, { "schemes", QJsonArray { "https" } } } } } } }
                                              << false << "127.0.0.1"
                                              << QStringList { http + "~closed", https + "127.0.0.1" } << QString();
    QTest::newRow("both down") << QJsonObject { { "routes",
        QJsonObject { { "/nic/myip", QJsonObject { { "schemes", QJsonArray() } } } } } }
                               << false << "" << QStringList { http + "~closed", https + "~closed" }
                               << "Could not get IP address";
    QTest::newRow("untrusted certificate")
        << QJsonObject { { "tls", "untrusted" } } << false << "127.0.0.1"
        << QStringList { http + "127.0.0.1", https + "~SSL handshake failed" } << QString();
    QTest::newRow("a page that is not there")
        << QJsonObject { { "routes", QJsonObject { { "/nic/myip", QJsonObject { { "status", 404 } } } } } } << false
        << "" << QStringList { http + "~Not Found", https + "~Not Found" } << "Could not get IP address";
    QTest::newRow("a silent site") << QJsonObject { { "routes",
        QJsonObject { { "/nic/myip", QJsonObject { { "silent", true } } } } } }
                                   << false << "" << QStringList { http + "~canceled", https + "~canceled" }
                                   << "Could not get IP address";
}

void tst_CheckTransparentProxy::echo()
{
    QFETCH(QJsonObject, config);
    QFETCH(bool, result);
    QFETCH(QString, myIp);
    QFETCH(QStringList, lines);
    QFETCH(QString, lastLine);
    m_site->setConfig(config);

    TransparentProxyResult record;
    QThreadPool pool;
    pool.start(new CheckTransparentProxy(&record));
    QVERIFY(pool.waitForDone(30000));

    QStringList logged = record.text.split(QLatin1Char('\n'));
    QCOMPARE(logged.takeLast(), QString());
    if (!lastLine.isEmpty())
        QCOMPARE(logged.takeLast(), lastLine);
    // The trailing line break of an answer ends its line early and leaves an empty one behind.
    logged.removeAll(QString());
    QCOMPARE(logged.size(), lines.size());
    for (QString expected : lines) {
        expected = expected.arg(m_site->site()).remove(QLatin1Char('\n'));
        const qsizetype tilde = expected.indexOf(QLatin1Char('~'));
        const auto match = std::find_if(logged.cbegin(), logged.cend(), [&](const QString &line) {
            return tilde < 0
                ? line == expected
                : line.startsWith(expected.left(tilde)) && line.contains(expected.mid(tilde + 1), Qt::CaseInsensitive);
        });
        QVERIFY2(match != logged.cend(), qPrintable(expected + QLatin1String(" not in ") + record.text));
    }
    QCOMPARE(record.result, result);
    if (result || !myIp.isEmpty())
        QCOMPARE(record.myIp, myIp);
}

QTEST_GUILESS_MAIN(tst_CheckTransparentProxy)
#include "tst_checktransparentproxy.moc"
