#include "wardentest.h"

#include "base/servicesettings.h"
#include "platform/settingsstore.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

using WardenTest::Machine;

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

QTEST_GUILESS_MAIN(tst_ServiceSettings)
#include "tst_servicesettings.moc"
