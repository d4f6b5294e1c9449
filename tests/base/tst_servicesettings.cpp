#include "wardentest.h"

#include "base/servicesettings.h"
#include "platform/settingsstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QSettings>
#include <QtTest>

#include <functional>

#include <csignal>
#include <sys/stat.h>

using WardenTest::Machine;

Q_DECLARE_METATYPE(std::function<void(Velmor::ServiceSettings &)>)

// The settings store at the service's start: service.ini over the stored values, then the missing defaults.
class tst_ServiceSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void copyWritesOnlyDifferences();
    void copySkipsKeysWithEmptyParts();
    void defaultsAreWrittenOnce();
    void serviceIniWinsAtEveryStart();
    void serviceWritesDefaultsOnce();
    void serviceTakesServiceIni();
    void deepServiceIniIsCutOff();
    void brokenStoreIsReportedAndKept_data();
    void brokenStoreIsReportedAndKept();
    void keyIsReadAsItsReadersNeed_data();
    void keyIsReadAsItsReadersNeed();
    void keyIsWrittenInTheStoredForm_data();
    void keyIsWrittenInTheStoredForm();
    void storeNamedByItsFile();
    void parseAddress_data();
    void parseAddress();

private:
    static QString storePath() { return qEnvironmentVariable("VELMOR_ROOT") + "/settings/Velmor/Service.ini"; }
    static QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static void writeFile(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }
    // QSettings replaces the whole file when it writes, so an unchanged inode means nothing was written.
    static ino_t inodeOf(const QString &path)
    {
        struct stat info = {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
    }
    static void runServiceOnce(Machine &machine, const QString &program);
    // The store's keys but the network configuration's records of the adapters, which its start rewrites.
    static QStringList storeKeys()
    {
        QStringList keys = QSettings(storePath(), QSettings::IniFormat).allKeys();
        keys.removeIf([](const QString &key) { return key.startsWith(QLatin1String("interfaces/")); });
        return keys;
    }
    static void copyGlobalSection(const QString &sourcePath, const QString &destinationPath)
    {
        QSettings source(sourcePath, QSettings::IniFormat);
        QSettings destination(destinationPath, QSettings::IniFormat);
        source.beginGroup(QStringLiteral("global"));
        copySettings(source, destination);
    }
};

void tst_ServiceSettings::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
    QCoreApplication::setApplicationName(QStringLiteral("Service"));
}

void tst_ServiceSettings::copyWritesOnlyDifferences()
{
    Machine machine;
    const QString sourcePath = machine.path(QStringLiteral("source.ini"));
    const QString destinationPath = machine.path(QStringLiteral("destination.ini"));
    writeFile(sourcePath, "[global]\nsame=1\nlist=a,b\nsub\\key=v\nsub\\deeper\\z=1\n[other]\nx=1\n");
    writeFile(destinationPath, "[General]\nsame=1\nlist=\"a, b\"\nkept=yes\n");

    copyGlobalSection(sourcePath, destinationPath);
    QSettings result(destinationPath, QSettings::IniFormat);
    QCOMPARE(result.value("same"), QVariant(QStringLiteral("1")));
    QCOMPARE(result.value("list"), QVariant(QStringList { "a", "b" }));
    QCOMPARE(result.value("kept"), QVariant(QStringLiteral("yes")));
    QCOMPARE(result.value("sub/key"), QVariant(QStringLiteral("v")));
    QCOMPARE(result.value("sub/deeper/z"), QVariant(QStringLiteral("1")));
    QVERIFY(!result.contains("x") && !result.contains("other/x"));

    // A second copy finds every value in place and writes nothing.
    const ino_t before = inodeOf(destinationPath);
    copyGlobalSection(sourcePath, destinationPath);
    QCOMPARE(inodeOf(destinationPath), before);
}

void tst_ServiceSettings::copySkipsKeysWithEmptyParts()
{
    Machine machine;
    const QString sourcePath = machine.path(QStringLiteral("source.ini"));
    const QString destinationPath = machine.path(QStringLiteral("destination.ini"));
    // Typing slips that QSettings lists as a group without a name; entering it used to recurse without end.
    writeFile(sourcePath, "[global]\na//b=1\n/x=2\nc\\\\\\\\d=3\ne\\\\=4\nplain=5\nsub\\key=6\n");

    copyGlobalSection(sourcePath, destinationPath);
    QSettings result(destinationPath, QSettings::IniFormat);
    QStringList keys = result.allKeys();
    keys.sort();
    QCOMPARE(keys, QStringList({ "plain", "sub/key" }));
    QCOMPARE(result.value("plain"), QVariant(QStringLiteral("5")));
    QCOMPARE(result.value("sub/key"), QVariant(QStringLiteral("6")));
}

void tst_ServiceSettings::defaultsAreWrittenOnce()
{
    Machine machine;
    Velmor::Platform::useRootSettings();
    Velmor::prepareServiceSettings(machine.path(QStringLiteral("no-ini-here")));

    QSettings settings;
    QCOMPARE(settings.fileName(), storePath());
    const QStringList keys { "dd-hostname", "fallback-dns", "httpd-port", "localproxy-addr", "password", "profile",
        "settings-protected", "tokens-enabled", "user", "vyrproxy-addr", "www", "www-ignore-ssl-errors" };
    QStringList stored = settings.allKeys();
    stored.sort();
    QCOMPARE(stored, keys);
    QCOMPARE(settings.value("dd-hostname").toString(), QStringLiteral("VelmorAgent"));
    QCOMPARE(settings.value("fallback-dns").toString(), QStringLiteral("8.8.8.8"));
    QCOMPARE(settings.value("httpd-port").toInt(), 13107);
    QCOMPARE(settings.value("localproxy-addr").toString(), QStringLiteral("127.0.0.1:53"));
    QCOMPARE(settings.value("password"), QVariant(QString("")));
    QCOMPARE(settings.value("profile").toInt(), 0);
    QCOMPARE(settings.value("settings-protected").toBool(), true);
    QCOMPARE(settings.value("tokens-enabled").toBool(), true);
    QCOMPARE(settings.value("user"), QVariant(QString("")));
    QVERIFY(!settings.value("vyrproxy-addr").toString().startsWith("127."));
    QVERIFY(settings.value("www").toString().startsWith("https://"));
    QCOMPARE(settings.value("www-ignore-ssl-errors").toBool(), false);

    const QByteArray bytes = readFile(storePath());
    const ino_t inode = inodeOf(storePath());
    Velmor::prepareServiceSettings(machine.path(QStringLiteral("no-ini-here")));
    QCOMPARE(readFile(storePath()), bytes);
    QCOMPARE(inodeOf(storePath()), inode);
}

void tst_ServiceSettings::serviceIniWinsAtEveryStart()
{
    Machine machine;
    Velmor::Platform::useRootSettings();
    const QString directory = machine.path(QString());
    writeFile(machine.path("service.ini"), "[global]\ntokens-enabled=false\nfallback-dns=10.0.0.1,10.0.0.2\n");

    QTest::ignoreMessage(QtWarningMsg, "reading service.ini and override settings");
    Velmor::prepareServiceSettings(directory);
    {
        QSettings settings;
        QCOMPARE(settings.value("tokens-enabled").toBool(), false);
        QCOMPARE(Velmor::Platform::settingText(settings, "fallback-dns"), QStringLiteral("10.0.0.1,10.0.0.2"));
        QCOMPARE(settings.allKeys().size(), 12);
        // The desktop application switches token mode on; service.ini takes it back at the next start.
        settings.setValue("tokens-enabled", true);
    }
    QTest::ignoreMessage(QtWarningMsg, "reading service.ini and override settings");
    Velmor::prepareServiceSettings(directory);
    QSettings settings;
    QCOMPARE(settings.value("tokens-enabled").toBool(), false);

    // A key that leaves service.ini keeps the value it gave.
    writeFile(machine.path("service.ini"), "[global]\nwww=https://accounts.test\n");
    QTest::ignoreMessage(QtWarningMsg, "reading service.ini and override settings");
    Velmor::prepareServiceSettings(directory);
    settings.sync();
    QCOMPARE(settings.value("tokens-enabled").toBool(), false);
    QCOMPARE(settings.value("www").toString(), QStringLiteral("https://accounts.test"));
}

void tst_ServiceSettings::runServiceOnce(Machine &machine, const QString &program)
{
    const QString pidFile = machine.path(QStringLiteral("warden.pid"));
    QProcess *service
        = machine.startForeground({ QStringLiteral("-e"), QStringLiteral("--pidfile=") + pidFile }, false, program);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(pidFile), 30000);
    ::kill(pid_t(service->processId()), SIGTERM);
    QVERIFY(service->waitForFinished(30000));
    QCOMPARE(service->exitCode(), 0);
}

void tst_ServiceSettings::serviceWritesDefaultsOnce()
{
    Machine machine;
    runServiceOnce(machine, WardenTest::program());
    if (QTest::currentTestFailed())
        return;
    const QByteArray first = readFile(storePath());
    QCOMPARE(storeKeys().size(), 12);

    runServiceOnce(machine, WardenTest::program());
    QCOMPARE(readFile(storePath()), first);
    QCOMPARE(WardenTest::hostLogOf(QStringLiteral("Velmor Agent")), QStringList());
}

void tst_ServiceSettings::serviceTakesServiceIni()
{
    Machine machine;
    // service.ini is read next to the executable, so this test runs a copy of its own.
    QVERIFY(QDir().mkpath(machine.path("bin")));
    const QString program = machine.path(QStringLiteral("bin/velmor-warden"));
    QVERIFY(QFile::copy(WardenTest::program(), program));
    writeFile(machine.path("bin/service.ini"),
        "[global]\ntokens-enabled=false\nwww=https://accounts.test\nfallback-dns=a,b\n"
        "extras\\i0\\guid={X}\n[elsewhere]\nignored=1\n");

    runServiceOnce(machine, program);
    if (QTest::currentTestFailed())
        return;
    const QByteArray first = readFile(storePath());
    {
        QSettings settings(storePath(), QSettings::IniFormat);
        QCOMPARE(settings.value("tokens-enabled").toBool(), false);
        QCOMPARE(settings.value("www").toString(), QStringLiteral("https://accounts.test"));
        QCOMPARE(Velmor::Platform::settingText(settings, "fallback-dns"), QStringLiteral("a,b"));
        QCOMPARE(settings.value("extras/i0/guid").toString(), QStringLiteral("{X}"));
        QVERIFY(!settings.contains("ignored") && !settings.contains("elsewhere/ignored"));
        QCOMPARE(settings.value("httpd-port").toInt(), 13107);
        QCOMPARE(storeKeys().size(), 13);
    }

    runServiceOnce(machine, program);
    QCOMPARE(readFile(storePath()), first);
    const QString warning = QStringLiteral("Warning: reading service.ini and override settings");
    QCOMPARE(WardenTest::hostLogOf(QStringLiteral("Velmor Agent")), QStringList({ warning, warning }));
}

void tst_ServiceSettings::deepServiceIniIsCutOff()
{
    Machine machine;
    QVERIFY(QDir().mkpath(machine.path("bin")));
    const QString program = machine.path(QStringLiteral("bin/velmor-warden"));
    QVERIFY(QFile::copy(WardenTest::program(), program));
    // One key nested 50,000 levels deep, in a file of 100 KB, between keys that are copied.
    QByteArray deep;
    for (int level = 0; level < 50000; ++level)
        deep += "a\\";
    writeFile(machine.path("bin/service.ini"), "[global]\nbefore=1\n" + deep + "key=1\nshallow\\key=2\nz-after=3\n");

    runServiceOnce(machine, program);
    if (QTest::currentTestFailed())
        return;
    QSettings settings(storePath(), QSettings::IniFormat);
    QCOMPARE(settings.value("before").toString(), QStringLiteral("1"));
    QCOMPARE(settings.value("shallow/key").toString(), QStringLiteral("2"));
    QCOMPARE(settings.value("z-after").toString(), QStringLiteral("3"));
    QCOMPARE(storeKeys().size(), 15);
    QCOMPARE(WardenTest::hostLogOf(QStringLiteral("Velmor Agent")),
        QStringList({ "Warning: reading service.ini and override settings",
            "Warning: service.ini: groups nested deeper than 64 levels are not copied" }));
}

void tst_ServiceSettings::brokenStoreIsReportedAndKept_data()
{
    QTest::addColumn<bool>("folder");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");
    QTest::newRow("folder") << true << QByteArray() << "access error";
    QTest::newRow("unclosed section") << false << QByteArray("[General]\nuser=@ByteArray(x)\n[half\nwww=mine\n")
                                      << "format error";
}

void tst_ServiceSettings::brokenStoreIsReportedAndKept()
{
    QFETCH(bool, folder);
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    Machine machine;
    QVERIFY(QDir().mkpath(machine.path("settings/Velmor")));
    if (folder)
        QVERIFY(QDir().mkpath(storePath()));
    else
        writeFile(storePath(), content);
    const ino_t inode = inodeOf(storePath());

    // The service does not start on a store it cannot read, and says why once, without an abort.
    const QString pidFile = machine.path(QStringLiteral("warden.pid"));
    QProcess *service = machine.startForeground(
        { QStringLiteral("-e"), QStringLiteral("--pidfile=") + pidFile }, false, WardenTest::program());
    QVERIFY(service->waitForFinished(30000));
    QCOMPARE(service->exitStatus(), QProcess::NormalExit);
    QCOMPARE(service->exitCode(), 252);
    QVERIFY(!QFile::exists(pidFile));
    QCOMPARE(inodeOf(storePath()), inode);
    QCOMPARE(QFileInfo(storePath()).isDir(), folder);
    QCOMPARE(readFile(storePath()), content);
    const QString text
        = QStringLiteral("The service Velmor Agent could not start: the settings store %1 cannot be read "
                         "(%2); its values are kept as they are")
              .arg(storePath(), error);
    QCOMPARE(QString::fromLocal8Bit(service->readAllStandardError()), text + QLatin1Char('\n'));
    QCOMPARE(WardenTest::hostLogOf(QStringLiteral("Velmor Agent")), QStringList(QStringLiteral("Error: ") + text));
}

namespace {

QString flag(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString addressText(const QHostAddress &address, quint16 port)
{
    return (address.isNull() ? QStringLiteral("null") : address.toString()) + QLatin1Char(' ') + QString::number(port);
}

// Each key as the facade gives it to its readers, in one text.
const QMap<QString, std::function<QString(const Velmor::ServiceSettings &)>> &readers()
{
    using Velmor::ServiceSettings;
    static const QMap<QString, std::function<QString(const ServiceSettings &)>> table {
        { "vyrproxy-addr",
            [](const ServiceSettings &settings) {
                QHostAddress address;
                quint16 port = 0;
                settings.upstreamAddress(&address, &port);
                return addressText(address, port);
            } },
        { "localproxy-addr",
            [](const ServiceSettings &settings) {
                QHostAddress address;
                quint16 port = 0;
                settings.localProxyAddress(&address, &port);
                return settings.localProxyAddressText() + " -> " + addressText(address, port);
            } },
        { "httpd-port",
            [](const ServiceSettings &settings) {
                quint16 port = 1;
                QString text;
                const bool ok = settings.httpdPort(&port, &text);
                return ok ? QString::number(port) : QStringLiteral("refused \"%1\"").arg(text);
            } },
        { "tokens-enabled", [](const ServiceSettings &settings) { return flag(settings.tokensEnabled()); } },
        { "settings-protected", [](const ServiceSettings &settings) { return flag(settings.settingsProtected()); } },
        { "protected-networks",
            [](const ServiceSettings &settings) { return settings.protectedNetworks().join(QLatin1Char('|')); } },
        { "fallback-dns",
            [](const ServiceSettings &settings) {
                return settings.fallbackDns().toStringList().join(QLatin1Char('|'));
            } },
        { "www", [](const ServiceSettings &settings) { return settings.accountServiceBase(); } },
        { "www-ignore-ssl-errors", [](const ServiceSettings &settings) { return flag(settings.ignoreSslErrors()); } },
        { "dd-hostname", [](const ServiceSettings &settings) { return settings.agentName(); } },
        { "user", [](const ServiceSettings &settings) { return QString::fromLatin1(settings.storedUser().toHex()); } },
        { "password",
            [](const ServiceSettings &settings) { return QString::fromLatin1(settings.storedPassword().toHex()); } },
        { "dnscache-stopped", [](const ServiceSettings &settings) { return flag(settings.dnsCacheStopped()); } },
    };
    return table;
}

} // namespace

void tst_ServiceSettings::keyIsReadAsItsReadersNeed_data()
{
    QTest::addColumn<QString>("key");
    // The store's text after "[General]"; a row without one has no store at all.
    QTest::addColumn<QByteArray>("store");
    QTest::addColumn<QString>("expected");

    const QByteArray none;
    QTest::newRow("vyrproxy-addr absent") << "vyrproxy-addr" << none << "null 53";
    QTest::newRow("vyrproxy-addr with port")
        << "vyrproxy-addr" << QByteArray("vyrproxy-addr=127.0.0.2:5353") << "127.0.0.2 5353";
    QTest::newRow("vyrproxy-addr no address")
        << "vyrproxy-addr" << QByteArray("vyrproxy-addr=resolver.test:54") << "null 54";
    QTest::newRow("localproxy-addr absent") << "localproxy-addr" << none << " -> null 53";
    QTest::newRow("localproxy-addr default")
        << "localproxy-addr" << QByteArray("localproxy-addr=127.0.0.1:53") << "127.0.0.1:53 -> 127.0.0.1 53";
    QTest::newRow("localproxy-addr port out of range")
        << "localproxy-addr" << QByteArray("localproxy-addr=127.0.0.3:70000") << "127.0.0.3:70000 -> 127.0.0.3 53";
    QTest::newRow("httpd-port absent") << "httpd-port" << none << "0";
    QTest::newRow("httpd-port stored") << "httpd-port" << QByteArray("httpd-port=13107") << "13107";
    QTest::newRow("httpd-port blanks around") << "httpd-port" << QByteArray("httpd-port=\" 8080 \"") << "8080";
    QTest::newRow("httpd-port highest") << "httpd-port" << QByteArray("httpd-port=65535") << "65535";
    QTest::newRow("httpd-port too large") << "httpd-port" << QByteArray("httpd-port=65536") << "refused \"65536\"";
    QTest::newRow("httpd-port sign") << "httpd-port" << QByteArray("httpd-port=-1") << "refused \"-1\"";
    QTest::newRow("httpd-port word") << "httpd-port" << QByteArray("httpd-port=http") << "refused \"http\"";
    QTest::newRow("httpd-port empty") << "httpd-port" << QByteArray("httpd-port=") << "refused \"\"";
    QTest::newRow("httpd-port list") << "httpd-port" << QByteArray("httpd-port=80,81") << "refused \"80,81\"";
    QTest::newRow("tokens-enabled absent") << "tokens-enabled" << none << "false";
    QTest::newRow("tokens-enabled true") << "tokens-enabled" << QByteArray("tokens-enabled=true") << "true";
    QTest::newRow("tokens-enabled one") << "tokens-enabled" << QByteArray("tokens-enabled=1") << "true";
    QTest::newRow("tokens-enabled false") << "tokens-enabled" << QByteArray("tokens-enabled=false") << "false";
    QTest::newRow("settings-protected absent") << "settings-protected" << none << "true";
    QTest::newRow("settings-protected false")
        << "settings-protected" << QByteArray("settings-protected=false") << "false";
    QTest::newRow("settings-protected zero") << "settings-protected" << QByteArray("settings-protected=0") << "false";
    QTest::newRow("protected-networks absent") << "protected-networks" << none << "";
    QTest::newRow("protected-networks one") << "protected-networks" << QByteArray("protected-networks={A}") << "{A}";
    QTest::newRow("protected-networks two")
        << "protected-networks" << QByteArray("protected-networks={A}, {B}") << "{A}|{B}";
    QTest::newRow("fallback-dns absent") << "fallback-dns" << none << "";
    QTest::newRow("fallback-dns default") << "fallback-dns" << QByteArray("fallback-dns=8.8.8.8") << "8.8.8.8";
    QTest::newRow("fallback-dns list") << "fallback-dns" << QByteArray("fallback-dns=10.0.0.1,10.0.0.2")
                                       << "10.0.0.1|10.0.0.2";
    QTest::newRow("fallback-dns blanks and junk")
        << "fallback-dns" << QByteArray("fallback-dns=\"10.0.0.1 dns.test 010.0.0.3 10.0.0.4\"") << "10.0.0.1|10.0.0.4";
    QTest::newRow("www absent") << "www" << none << "";
    QTest::newRow("www stored") << "www" << QByteArray("www=https://accounts.test") << "https://accounts.test";
    QTest::newRow("www-ignore-ssl-errors absent") << "www-ignore-ssl-errors" << none << "false";
    QTest::newRow("www-ignore-ssl-errors true")
        << "www-ignore-ssl-errors" << QByteArray("www-ignore-ssl-errors=true") << "true";
    QTest::newRow("www-ignore-ssl-errors false")
        << "www-ignore-ssl-errors" << QByteArray("www-ignore-ssl-errors=false") << "false";
    QTest::newRow("www-ignore-ssl-errors zero")
        << "www-ignore-ssl-errors" << QByteArray("www-ignore-ssl-errors=0") << "false";
    QTest::newRow("www-ignore-ssl-errors other text")
        << "www-ignore-ssl-errors" << QByteArray("www-ignore-ssl-errors=no") << "true";
    QTest::newRow("dd-hostname absent") << "dd-hostname" << none << "VelmorAgent";
    QTest::newRow("dd-hostname empty") << "dd-hostname" << QByteArray("dd-hostname=") << "VelmorAgent";
    QTest::newRow("dd-hostname stored") << "dd-hostname" << QByteArray("dd-hostname=desk-7") << "desk-7";
    QTest::newRow("dd-hostname with comma") << "dd-hostname" << QByteArray("dd-hostname=a,b") << "a,b";
    QTest::newRow("user absent") << "user" << none << "";
    QTest::newRow("user bytes") << "user" << QByteArray("user=@ByteArray(\\x1\\x2)") << "0102";
    QTest::newRow("password default text") << "password" << QByteArray("password=") << "";
    QTest::newRow("password bytes") << "password" << QByteArray("password=@ByteArray(pw)") << "7077";
    QTest::newRow("dnscache-stopped absent") << "dnscache-stopped" << none << "false";
    QTest::newRow("dnscache-stopped true") << "dnscache-stopped" << QByteArray("dnscache-stopped=true") << "true";
}

void tst_ServiceSettings::keyIsReadAsItsReadersNeed()
{
    QFETCH(QString, key);
    QFETCH(QByteArray, store);
    QFETCH(QString, expected);
    QVERIFY2(readers().contains(key), qPrintable(key));

    Machine machine;
    Velmor::Platform::useRootSettings();
    if (!store.isNull()) {
        QVERIFY(QDir().mkpath(machine.path("settings/Velmor")));
        writeFile(storePath(), "[General]\n" + store + "\n");
    }
    const Velmor::ServiceSettings settings;
    QCOMPARE(settings.fileName(), storePath());
    QCOMPARE(readers().value(key)(settings), expected);
}

void tst_ServiceSettings::keyIsWrittenInTheStoredForm_data()
{
    QTest::addColumn<std::function<void(Velmor::ServiceSettings &)>>("write");
    // The store's lines after "[General]"; none when no key is left.
    QTest::addColumn<QByteArray>("stored");

    using Velmor::ServiceSettings;
    using Write = std::function<void(ServiceSettings &)>;
    QTest::newRow("local proxy on 53") << Write([](ServiceSettings &s) {
        s.setLocalProxyAddress(QHostAddress(QStringLiteral("127.0.0.1")), 53);
    }) << QByteArray("localproxy-addr=127.0.0.1");
    QTest::newRow("local proxy elsewhere")
        << Write([](ServiceSettings &s) { s.setLocalProxyAddress(QHostAddress(QStringLiteral("127.0.0.5")), 5300); })
        << QByteArray("localproxy-addr=127.0.0.5:5300");
    QTest::newRow("tokens on") << Write([](ServiceSettings &s) { s.setTokensEnabled(true); })
                               << QByteArray("tokens-enabled=true");
    QTest::newRow("tokens off") << Write([](ServiceSettings &s) { s.setTokensEnabled(false); })
                                << QByteArray("tokens-enabled=false");
    QTest::newRow("settings unprotected")
        << Write([](ServiceSettings &s) { s.setSettingsProtected(false); }) << QByteArray("settings-protected=false");
    QTest::newRow("one network") << Write([](ServiceSettings &s) { s.setProtectedNetworks({ "{A}" }); })
                                 << QByteArray("protected-networks={A}");
    QTest::newRow("two networks") << Write([](ServiceSettings &s) {
        s.setProtectedNetworks({ "{A}", "{B}" });
    }) << QByteArray("protected-networks={A}, {B}");
    QTest::newRow("credentials") << Write([](ServiceSettings &s) { s.setStoredCredentials(QByteArray("u\x01"), "pw"); })
                                 << QByteArray("password=@ByteArray(pw)\nuser=@ByteArray(u\\x1)");
    QTest::newRow("dns client stopped") << Write([](ServiceSettings &s) { s.setDnsCacheStopped(true); })
                                        << QByteArray("dnscache-stopped=true");
    QTest::newRow("dns client started again") << Write([](ServiceSettings &s) {
        s.setDnsCacheStopped(true);
        s.sync();
        s.setDnsCacheStopped(false);
    }) << QByteArray();
    QTest::newRow("any text") << Write([](ServiceSettings &s) { s.setText("new-version-checks", "a,b"); })
                              << QByteArray("new-version-checks=\"a,b\"");
}

void tst_ServiceSettings::keyIsWrittenInTheStoredForm()
{
    QFETCH(std::function<void(Velmor::ServiceSettings &)>, write);
    QFETCH(QByteArray, stored);

    Machine machine;
    Velmor::Platform::useRootSettings();
    {
        Velmor::ServiceSettings settings;
        write(settings);
        QVERIFY(settings.sync());
    }
    // A store left without keys is an empty file.
    const QByteArray expected = stored.isEmpty() ? QByteArray() : "[General]\n" + stored + "\n";
    QCOMPARE(readFile(storePath()), expected);
}

void tst_ServiceSettings::storeNamedByItsFile()
{
    Machine machine;
    Velmor::Platform::useRootSettings();
    const QString fileName = Velmor::ServiceSettings().fileName();
    QCOMPARE(fileName, storePath());

    // A worker thread's object and the process's default one are the same store.
    Velmor::ServiceSettings byFile(fileName);
    byFile.setDnsCacheStopped(true);
    QVERIFY(byFile.sync());
    QVERIFY(Velmor::ServiceSettings().dnsCacheStopped());
    byFile.setDnsCacheStopped(false);
    QVERIFY(byFile.sync());
    QVERIFY(!Velmor::ServiceSettings().dnsCacheStopped());
}

void tst_ServiceSettings::parseAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");

    QTest::newRow("address only") << "127.0.0.1"
                                  << "127.0.0.1" << 53;
    QTest::newRow("with port") << "127.0.0.2:5353"
                               << "127.0.0.2" << 5353;
    QTest::newRow("any-address") << "0.0.0.0:53"
                                 << "0.0.0.0" << 53;
    QTest::newRow("port 0") << "127.0.0.1:0"
                            << "127.0.0.1" << 53;
    QTest::newRow("port too large") << "127.0.0.1:65536"
                                    << "127.0.0.1" << 53;
    QTest::newRow("highest port") << "127.0.0.1:65535"
                                  << "127.0.0.1" << 65535;
    QTest::newRow("port not a number") << "127.0.0.1:dns"
                                       << "127.0.0.1" << 53;
    QTest::newRow("port with sign") << "127.0.0.1:+54"
                                    << "127.0.0.1" << 53;
    QTest::newRow("port with blank") << "127.0.0.1: 54"
                                     << "127.0.0.1" << 53;
    QTest::newRow("further parts") << "127.0.0.1:54:55"
                                   << "127.0.0.1" << 54;
    QTest::newRow("short form") << "127.1:54"
                                << "" << 54;
    QTest::newRow("leading zero") << "010.0.0.1"
                                  << "" << 53;
    QTest::newRow("leading blank") << " 127.0.0.1"
                                   << "" << 53;
    QTest::newRow("hex part") << "0x7f.0.0.1"
                              << "" << 53;
    QTest::newRow("IPv6") << "::1"
                          << "" << 53;
    QTest::newRow("empty") << ""
                           << "" << 53;
}

void tst_ServiceSettings::parseAddress()
{
    QFETCH(QString, text);
    QFETCH(QString, address);
    QFETCH(int, port);

    QHostAddress parsed(QStringLiteral("1.1.1.1"));
    quint16 parsedPort = 1;
    Velmor::ServiceSettings::parseAddress(text, &parsed, &parsedPort);
    QCOMPARE(parsed, address.isEmpty() ? QHostAddress() : QHostAddress(address));
    QCOMPARE(int(parsedPort), port);
}

QTEST_GUILESS_MAIN(tst_ServiceSettings)
#include "tst_servicesettings.moc"
