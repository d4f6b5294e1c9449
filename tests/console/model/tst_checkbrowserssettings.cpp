#include "model/checkbrowserssettings.h"

#include "platform/registry.h"
#include "platform/userfolders.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Velmor::Platform;

// The browser section of the report over fixture machines: programs in the two Uninstall keys of the registry,
// preference files in the user's APPDATA.
class tst_CheckBrowsersSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void check_data();
    void check();
};

namespace {

const QString nativeKey = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
const QString wowKey
    = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall");

using Files = QMap<QString, QString>;
using Programs = QMap<QString, QString>;

bool install(const Programs &programs)
{
    int n = 0;
    for (auto it = programs.cbegin(); it != programs.cend(); ++it) {
        const QString key
            = (it.key().startsWith(QLatin1String("wow:")) ? wowKey : nativeKey) + QStringLiteral("\\{P%1}").arg(++n);
        if (Registry::createKey(key) != ErrorSuccess
            || Registry::setString(key, QStringLiteral("DisplayName"), it.value()) != ErrorSuccess)
            return false;
    }
    return true;
}

bool place(const Files &files)
{
    const QString appData = roamingAppDataPath();
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString path = appData + QLatin1Char('/') + it.key();
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(it.value().toUtf8()) < 0)
            return false;
    }
    return true;
}

const QString operaPrefs = QStringLiteral("Opera/Opera/operaprefs.ini");

} // namespace

void tst_CheckBrowsersSettings::check_data()
{
    QTest::addColumn<Programs>("programs");
    QTest::addColumn<Files>("files");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("log");

    const Programs opera { { "a", "Opera Stable 90.0" } };
    const Programs firefox { { "b", "Mozilla Firefox (x64 en-US)" } };
    QTest::newRow("nothing installed, nothing read")
        << Programs() << Files { { operaPrefs, "HTTP server=10.0.0.1:3128\n" } } << true << "";
    QTest::newRow("opera server switched off later")
        << opera << Files { { operaPrefs, "[Proxy]\nHTTP server=10.0.0.1:3128\nUse HTTP=0\n" } } << true << "";
    QTest::newRow("opera automatic configuration, its section ends with an empty line")
        << opera << Files { { operaPrefs, "Automatic Proxy Configuration URL=http://wpad.example/proxy.pac\r\n" } }
        << false << "Opera proxy settings:\nPROXY TYPE:2\nPAC:http://wpad.example/proxy.pac\n\n";
    QTest::newRow("opera preferences one level down")
        << opera << Files { { "Opera/Opera/profile/operaprefs.ini", "SOCKS server=10.0.0.4:1080\n" } } << false
        << "Opera proxy settings:\nSOCKS proxy:10.0.0.4:1080\nPROXY TYPE:1\n\n";
    QTest::newRow("opera preferences two levels down are not read")
        << opera << Files { { "Opera/Opera/a/b/operaprefs.ini", "SOCKS server=10.0.0.4:1080\n" } } << true << "";
    QTest::newRow("two firefox profiles: the first by name, ignoring case")
        << firefox
        << Files { { "Mozilla/Firefox/Profiles/b-profile/prefs.js",
                       "user_pref(\"network.proxy.http\", \"10.0.0.2\");\nuser_pref(\"network.proxy.type\", 1);\n" },
               { "Mozilla/Firefox/Profiles/A-profile/prefs.js", "user_pref(\"network.proxy.http\", \"10.0.0.1\");\n" } }
        << false << "FireFox proxy settings:\nHTTP_proxy:10.0.0.1\nPROXY TYPE:1\n";
    QTest::newRow("firefox address with type 0")
        << firefox
        << Files { { "Mozilla/Firefox/Profiles/x.default/prefs.js",
               "user_pref(\"network.proxy.http\", \"10.0.0.1\");\nuser_pref(\"network.proxy.type\", 0);\n" } }
        << true << "";
    QTest::newRow("firefox files but no program named mozilla")
        << Programs { { "b", "Firefox Developer Edition" } }
        << Files { { "Mozilla/Firefox/Profiles/x.default/prefs.js",
               "user_pref(\"network.proxy.http\", \"10.0.0.1\");\nuser_pref(\"network.proxy.type\", 1);\n" } }
        << true << "";
    QTest::newRow("comodo dragon in the 32-bit key, any case")
        << Programs { { "wow:c", "COMODO Dragon 58" } } << Files() << false << "Comodo Dragon is installed.\n";
    QTest::newRow("all three, in order")
        << Programs { { "a", "Opera 12" }, { "b", "mozilla firefox" }, { "c", "Comodo Dragon" } }
        << Files { { operaPrefs, "HTTP server=10.0.0.1:3128\n" },
               { "Mozilla/Firefox/Profiles/x/prefs.js",
                   "user_pref(\"network.proxy.ssl\", \"10.0.0.5\");\nuser_pref(\"network.proxy.type\", 1);\n" } }
        << false
        << "Opera proxy settings:\nHTTP_proxy:10.0.0.1:3128\nPROXY TYPE:1\n\n"
           "FireFox proxy settings:\nSSL_proxy:10.0.0.5\nPROXY TYPE:1\nComodo Dragon is installed.\n";
}

void tst_CheckBrowsersSettings::check()
{
    QFETCH(Programs, programs);
    QFETCH(Files, files);
    QFETCH(bool, result);
    QFETCH(QString, log);
    QTemporaryDir root;
    qputenv("VELMOR_ROOT", QFile::encodeName(root.path()));
    QVERIFY(install(programs));
    QVERIFY(place(files));
    TestResult record;
    CheckBrowsersSettings check(&record);
    check.setAutoDelete(false);
    check.run();
    QCOMPARE(record.text, log);
    QCOMPARE(record.result, result);
}

QTEST_GUILESS_MAIN(tst_CheckBrowsersSettings)
#include "tst_checkbrowserssettings.moc"
