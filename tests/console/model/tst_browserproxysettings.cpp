#include "model/browserproxysettings.h"

#include <QTest>

// Preference lines of one browser, merged in order as the check reads a file, and the text they give.
class tst_BrowserProxySettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lines_data();
    void lines();
};

void tst_BrowserProxySettings::lines_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("text");

    QTest::newRow("opera server") << 0 << QStringList { "HTTP server=10.0.0.1:3128" }
                                  << "HTTP_proxy:10.0.0.1:3128\nPROXY TYPE:1\n";
    QTest::newRow("opera every kind") << 0
                                      << QStringList { "HTTPS server=10.0.0.2:443", "FTP server=10.0.0.3:21",
                                             "SOCKS server=10.0.0.4:1080", "HTTP server=10.0.0.1:80" }
                                      << "HTTP_proxy:10.0.0.1:80\nFTP_proxy:10.0.0.3:21\nSSL_proxy:10.0.0.2:443\nSOCKS "
                                         "proxy:10.0.0.4:1080\nPROXY TYPE:1\n";
    QTest::newRow("opera switched off later") << 0 << QStringList { "HTTP server=10.0.0.1:3128", "Use HTTP=0" } << "";
    QTest::newRow("opera switched off first stays off")
        << 0 << QStringList { "Use HTTP=0", "HTTP server=10.0.0.1:3128" } << "";
    QTest::newRow("opera, one kind off, another kept")
        << 0 << QStringList { "HTTP server=10.0.0.1:3128", "FTP server=10.0.0.3:21", "Use HTTP=0" }
        << "FTP_proxy:10.0.0.3:21\nPROXY TYPE:1\n";
    QTest::newRow("opera automatic configuration")
        << 0 << QStringList { "Automatic Proxy Configuration URL=http://wpad.example/proxy.pac" }
        << "PROXY TYPE:2\nPAC:http://wpad.example/proxy.pac\n";
    QTest::newRow("opera, the first value wins")
        << 0 << QStringList { "HTTP server=10.0.0.1:1", "HTTP server=10.0.0.9:9" }
        << "HTTP_proxy:10.0.0.1:1\nPROXY TYPE:1\n";
    QTest::newRow("opera, not exactly the switch line")
        << 0 << QStringList { "HTTP server=10.0.0.1:1", " Use HTTP=0" } << "HTTP_proxy:10.0.0.1:1\nPROXY TYPE:1\n";
    QTest::newRow("firefox manual") << 1
                                    << QStringList { "user_pref(\"network.proxy.http\", \"10.0.0.1\");",
                                           "user_pref(\"network.proxy.type\", 1);" }
                                    << "HTTP_proxy:10.0.0.1\nPROXY TYPE:1\n";
    QTest::newRow("firefox type 0 is no proxy")
        << 1
        << QStringList { "user_pref(\"network.proxy.http\", \"10.0.0.1\");", "user_pref(\"network.proxy.type\", 0);" }
        << "";
    QTest::newRow("firefox without a type is no proxy")
        << 1 << QStringList { "user_pref(\"network.proxy.ssl\", \"10.0.0.1\");" } << "";
    QTest::newRow("firefox automatic configuration")
        << 1
        << QStringList { "user_pref(\"network.proxy.autoconfig_url\", \"http://wpad.example/p.pac\");",
               "user_pref(\"network.proxy.type\", 2);" }
        << "PROXY TYPE:2\nPAC:http://wpad.example/p.pac\n";
    QTest::newRow("firefox kinds, an unknown one ignored")
        << 1
        << QStringList { "user_pref(\"network.proxy.socks\", \"10.0.0.4\");",
               "user_pref(\"network.proxy.gopher\", \"10.0.0.5\");", "user_pref(\"network.proxy.ftp\", \"10.0.0.3\");",
               "user_pref(\"network.proxy.type\", 1);" }
        << "FTP_proxy:10.0.0.3\nSOCKS proxy:10.0.0.4\nPROXY TYPE:1\n";
    QTest::newRow("firefox port lines are not addresses")
        << 1 << QStringList { "user_pref(\"network.proxy.http_port\", 3128);", "user_pref(\"network.proxy.type\", 1);" }
        << "";
    QTest::newRow("firefox PAC with Unicode word characters")
        << 1
        << QStringList { QStringLiteral("user_pref(\"network.proxy.autoconfig_url\", \"http://\u00e9t\u00e9/p\");"),
               "user_pref(\"network.proxy.type\", 2);" }
        << QStringLiteral("PROXY TYPE:2\nPAC:http://\u00e9t\u00e9/p\n");
    QTest::newRow("another kind of browser") << 2 << QStringList { "HTTP server=10.0.0.1:3128" } << "";
}

void tst_BrowserProxySettings::lines()
{
    QFETCH(int, kind);
    QFETCH(QStringList, lines);
    QFETCH(QString, text);
    const BrowserProxyPatterns patterns;
    BrowserProxySettings settings;
    for (const QString &line : lines)
        settings.merge(BrowserProxySettings::fromLine(patterns, kind, line));
    QCOMPARE(settings.toText(), text);
    QCOMPARE(settings.hasProxy(), !text.isEmpty());
}

QTEST_GUILESS_MAIN(tst_BrowserProxySettings)
#include "tst_browserproxysettings.moc"
