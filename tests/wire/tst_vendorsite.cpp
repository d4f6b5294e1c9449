#include "velmorwire/vendorsite.h"

#include <QTest>

class tst_VendorSite : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void site_data();
    void site();
};

void tst_VendorSite::cleanup()
{
    qunsetenv("VELMOR_VENDOR_SITE");
}

void tst_VendorSite::site_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QString>("url");

    QTest::newRow("unset") << QByteArray() << "https://www.velmor.example/nic/myip";
    QTest::newRow("host and port") << QByteArray("127.0.0.1:8443") << "https://127.0.0.1:8443/nic/myip";
    QTest::newRow("host alone") << QByteArray("localhost") << "https://localhost/nic/myip";
    QTest::newRow("IPv6 in brackets") << QByteArray("[::1]:9000") << "https://[::1]:9000/nic/myip";
    QTest::newRow("a path is refused") << QByteArray("evil.example/x") << "https://www.velmor.example/nic/myip";
    QTest::newRow("a user is refused") << QByteArray("user@evil.example") << "https://www.velmor.example/nic/myip";
    QTest::newRow("port 0 is refused") << QByteArray("127.0.0.1:0") << "https://www.velmor.example/nic/myip";
    QTest::newRow("a port beyond range is refused")
        << QByteArray("127.0.0.1:70000") << "https://www.velmor.example/nic/myip";
    QTest::newRow("blank") << QByteArray("  ") << "https://www.velmor.example/nic/myip";
}

void tst_VendorSite::site()
{
    QFETCH(QByteArray, variable);
    QFETCH(QString, url);
    if (!variable.isNull())
        qputenv("VELMOR_VENDOR_SITE", variable);
    QCOMPARE(Velmor::vendorSiteUrl(QStringLiteral("https"), QStringLiteral("/nic/myip")).toString(), url);
}

QTEST_GUILESS_MAIN(tst_VendorSite)
#include "tst_vendorsite.moc"
