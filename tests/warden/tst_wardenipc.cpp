#include "../cabinet/accountservice.h"
#include "ipcprobe.h"
#include "livewarden.h"
#include "scratchroot.h"
#include "servertest.h"
#include "vendorsitefixture.h"

#include "platform/servicemanager.h"

#include "velmorwire/sysinfo.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QtTest>

#include <functional>

using namespace Velmor::Platform;

namespace {

const QString user = QStringLiteral("owner@example.com");
const QString password = QStringLiteral("Pa55-7f3c-unique-secret");
// Another account, whose one profile has an id (and so a token) of its own.
const QString secondUser = QStringLiteral("second@example.com");
const QString secondPassword = QStringLiteral("second-9c1e-secret");
const quint32 secondProfile = 301;
const QString adapter = NetworkTest::adapterId(1);
// What the report's commands of tests/fixtures/report_commands print, as the report ends with it.
const QString commandsOutput = QStringLiteral("\n> ip address\ninet 192.168.1.20/24\n\n"
                                              "\n> uname -a\nLinux test 6.1.0\n\n"
                                              "\n> ip route\ndefault via 192.168.1.1\n\n");

QString nameServer()
{
    return WardenTest::nameServer(adapter);
}

// The real service with one protected adapter whose own DNS server is 10.0.0.1, spoken to by warden_client.py.
class Warden : public WardenTest::LiveWarden
{
public:
    Warden(const AccountService &account, quint16 resolverPort, bool isProtected)
        : LiveWarden(account, resolverPort,
            { { adapter, QStringLiteral("Ethernet"), QStringLiteral("192.168.1.20"), QStringLiteral("10.0.0.1"),
                true } },
            { { QStringLiteral("settings-protected"), isProtected },
                { QStringLiteral("protected-networks"), QStringList { adapter } } })
    { }

    struct Client
    {
        int exitCode = -1;
        QString out;
        QString err;
    };
    // Runs a scenario of warden_client.py; its checkpoints are answered by onCheckpoint.
    Client client(const QString &scenario, const QStringList &extra = {},
        const std::function<bool(const QString &)> &onCheckpoint = {})
    {
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"),
            QStringList { TestSupport::fixture(QStringLiteral("warden_client.py")), scenario, QStringLiteral("--port"),
                QString::number(ipcPort), QStringLiteral("--user"), user, QStringLiteral("--password"), password,
                QStringLiteral("--adapter"), adapter, QStringLiteral("--proxy-port"), QString::number(proxyPort) }
                + extra);
        Client result;
        if (!python.waitForStarted(10000))
            return result;
        QDeadlineTimer deadline(120000);
        while (python.state() == QProcess::Running && !deadline.hasExpired()) {
            python.waitForReadyRead(100);
            while (python.canReadLine()) {
                const QString line = QString::fromUtf8(python.readLine());
                result.out += line;
                if (!line.startsWith(QLatin1String("checkpoint ")))
                    continue;
                const bool passed = onCheckpoint && onCheckpoint(line.mid(11).trimmed());
                python.write(passed ? "ok\n" : "refused\n");
            }
        }
        if (!python.waitForFinished(1000)) {
            python.kill();
            python.waitForFinished();
        }
        result.out += QString::fromUtf8(python.readAllStandardOutput());
        result.err = QString::fromUtf8(python.readAllStandardError());
        result.exitCode = python.exitStatus() == QProcess::NormalExit ? python.exitCode() : -1;
        return result;
    }
};

#define VERIFY_CLIENT(result) QVERIFY2((result).exitCode == 0, qPrintable((result).err + (result).out))

} // namespace

// The real velmor-warden spoken to by a python3 desktop end: the push, every method, the lock, the password kept
// in, and token identification from sign-in to the query that reaches the resolver.
class tst_WardenIpc : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void pushAfterSignIn_data();
    void pushAfterSignIn();
    void methods();
    void registerUser();
    void httpRequestEndsTheLink();
    void lock();
    void tokenEndToEnd();
    void failedResumeIsLogged();
    void systemInfoReport();
    void unlockPauseIsPerUser();
    void reportsOfALoopAreShared();
    void signInAgain_data();
    void signInAgain();
    void changeDuringOutage_data();
    void changeDuringOutage();
    void passwordChangedElsewhere();

private:
    bool signIn(Warden &warden);

    AccountService m_account;
    std::unique_ptr<VendorSiteFixture> m_site;
    QTemporaryDir m_logs;
    WardenTest::Resolver m_resolver;
    QString m_resolverLog;
    quint16 m_resolverPort = 0;
};

void tst_WardenIpc::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
    QCoreApplication::setApplicationName(QStringLiteral("Service"));
    QVERIFY(m_account.start());
    m_account.addAccount(user, password, 2, 3);
    m_account.addAccount(secondUser, secondPassword, 1, 1);
    m_account.patch(secondUser,
        { { QStringLiteral("profiles"),
            QVariantMap { { QStringLiteral("101"), QVariant() },
                { QString::number(secondProfile),
                    QVariantMap { { QStringLiteral("name"), QStringLiteral("Second home") },
                        { QStringLiteral("default"), true } } } } } });
    // Every suite's report asks the vendor's test site, not the world.
    m_site = std::make_unique<VendorSiteFixture>();
    QVERIFY(m_site->isRunning());
    m_resolverLog = m_logs.filePath(QStringLiteral("queries.jsonl"));
    QVERIFY(m_resolver.start(m_resolverLog, { QStringLiteral("first.test A 10.0.0.1") },
        { QStringLiteral("--black"), QStringLiteral("velmor.example") }));
    m_resolverPort = m_resolver.port();
}

bool tst_WardenIpc::signIn(Warden &warden)
{
    const Warden::Client result = warden.client(QStringLiteral("signin"));
    if (result.exitCode != 0)
        qWarning("%s%s", qPrintable(result.err), qPrintable(result.out));
    return result.exitCode == 0;
}

void tst_WardenIpc::pushAfterSignIn_data()
{
    QTest::addColumn<bool>("isProtected");
    QTest::newRow("protected") << true;
    QTest::newRow("unprotected") << false;
}

void tst_WardenIpc::pushAfterSignIn()
{
    QFETCH(bool, isProtected);

    Warden warden(m_account, m_resolverPort, isProtected);
    QVERIFY(warden.start());
    QVERIFY(signIn(warden));
    const Warden::Client push = warden.client(
        QStringLiteral("push"), isProtected ? QStringList { QStringLiteral("--protected") } : QStringList());
    VERIFY_CLIENT(push);
    // Nowhere in the machine's files, the event log included, is the password in clear.
    const QByteArray secret = password.toUtf8();
    QDirIterator it(
        warden.machine.path(QString()), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    int files = 0;
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        ++files;
        QVERIFY2(!file.readAll().contains(secret), qPrintable(file.fileName()));
    }
    QVERIFY(files > 3);
    QVERIFY(QFile::exists(warden.machine.path(QStringLiteral("eventlog/Application.log"))));
    VERIFY_STOPS_CLEANLY(warden);
}

void tst_WardenIpc::methods()
{
    Warden warden(m_account, m_resolverPort, true);
    QVERIFY(warden.start());
    QVERIFY(signIn(warden));
    VERIFY_CLIENT(warden.client(QStringLiteral("methods")));
    QVERIFY(warden.isRunning());
    // The keys that send the credentials or the queries elsewhere stay as they were.
    QSettings settings;
    settings.sync();
    QCOMPARE(settings.value(QStringLiteral("www")).toString(), m_account.baseUrl());
    QCOMPARE(
        settings.value(QStringLiteral("vyrproxy-addr")).toString(), QStringLiteral("127.0.0.2:%1").arg(m_resolverPort));
    QCOMPARE(settings.value(QStringLiteral("dd-hostname")).toString(), QStringLiteral("Kitchen"));
    // The log is written from a thread of its own: stopped, the service has written all of it.
    VERIFY_STOPS_CLEANLY(warden);
    const QStringList log = WardenTest::logOf(WardenTest::serviceName);
    QVERIFY(log.contains(QStringLiteral("Warning: setSetting: the setting \"www\" is not changed over IPC")));
}

void tst_WardenIpc::registerUser()
{
    Warden warden(m_account, m_resolverPort, false);
    QVERIFY(warden.start());
    QVERIFY(signIn(warden));
    VERIFY_CLIENT(warden.client(QStringLiteral("register")));
    QVERIFY(m_account.account(QStringLiteral("new-") + user).value(QStringLiteral("user")).isValid());
    VERIFY_STOPS_CLEANLY(warden);
}

void tst_WardenIpc::httpRequestEndsTheLink()
{
    Warden warden(m_account, m_resolverPort, false);
    QVERIFY(warden.start());
    VERIFY_CLIENT(warden.client(QStringLiteral("http")));
    VERIFY_STOPS_CLEANLY(warden);
}

void tst_WardenIpc::lock()
{
    Warden warden(m_account, m_resolverPort, true);
    QVERIFY(warden.start());
    QVERIFY(signIn(warden));
    const QStringList keys { "dd-hostname", "localproxy-addr", "tokens-enabled", "settings-protected", "user",
        "password", "protected-networks", "www" };
    auto snapshot = [&] {
        QSettings settings;
        settings.sync();
        QVariantList values;
        for (const QString &key : keys)
            values.append(settings.value(key));
        return values;
    };
    const QVariantList before = snapshot();
    const QStringList refusedMethods { "setFilterCat", "clearDomains", "addDomain", "removeDomain", "addProfile",
        "removeProfile", "register", "setScheduleEnabled", "setSchedule", "setWhiteListOnly", "setSafeSearchEnabled" };
    m_account.control({ { QStringLiteral("op"), QStringLiteral("clearLog") } });

    const Warden::Client result = warden.client(QStringLiteral("lock"), {}, [&](const QString &name) {
        if (name != QLatin1String("refused"))
            return false;
        // Nothing the lock refused took effect: the settings, the account's data, the filtering.
        if (snapshot() != before)
            return false;
        for (const QString &body : m_account.bodies()) {
            for (const QString &method : refusedMethods) {
                if (body.contains(QLatin1String("\"method\":\"") + method + QLatin1Char('"'))) {
                    qWarning("the account service received %s", qPrintable(method));
                    return false;
                }
            }
        }
        return nameServer() == QLatin1String("127.0.0.1");
    });
    VERIFY_CLIENT(result);
    VERIFY_STOPS_CLEANLY(warden);
    const QStringList log = WardenTest::logOf(WardenTest::serviceName);
    for (const char *method :
        { "setSetting", "setGlobalFiltering", "setCredentials", "setProfile", "setSchedule", "setNetworkProtection" })
        QVERIFY2(log.contains(QStringLiteral("Warning: Settings are locked: %1 refused").arg(QLatin1String(method))),
            method);
    // The adapter gets its own server back, not one a locked connection named.
    QCOMPARE(nameServer(), QStringLiteral("10.0.0.1"));
}

void tst_WardenIpc::tokenEndToEnd()
{
    Warden warden(m_account, m_resolverPort, false);
    QVERIFY(warden.start());
    QCOMPARE(nameServer(), QStringLiteral("10.0.0.1"));
    const QStringList arguments { QStringLiteral("--resolver-log"), m_resolverLog };
    QStringList seen;
    const Warden::Client result = warden.client(QStringLiteral("token"), arguments, [&](const QString &name) {
        seen.append(name);
        if (name == QLatin1String("pointed"))
            return QTest::qWaitFor([] { return nameServer() == QLatin1String("127.0.0.1"); }, 10000);
        if (name == QLatin1String("restored"))
            return QTest::qWaitFor([] { return nameServer() == QLatin1String("10.0.0.1"); }, 10000);
        if (name == QLatin1String("pause")) {
            if (ServiceManager::controlService(WardenTest::serviceName, ControlPause, 30000) != 0)
                return false;
            return QTest::qWaitFor([] { return nameServer() == QLatin1String("10.0.0.1"); }, 10000);
        }
        if (name == QLatin1String("resume")) {
            if (ServiceManager::controlService(WardenTest::serviceName, ControlContinue, 30000) != 0)
                return false;
            return QTest::qWaitFor([] { return nameServer() == QLatin1String("127.0.0.1"); }, 10000);
        }
        return false;
    });
    VERIFY_CLIENT(result);
    QCOMPARE(seen, (QStringList { "pointed", "restored", "pointed", "pause", "resume" }));
    VERIFY_STOPS_CLEANLY(warden);
    QCOMPARE(nameServer(), QStringLiteral("10.0.0.1"));
}

void tst_WardenIpc::failedResumeIsLogged()
{
    Warden warden(m_account, m_resolverPort, false);
    QVERIFY(warden.start());
    QCOMPARE(ServiceManager::controlService(WardenTest::serviceName, ControlPause, 30000), 0u);
    {
        // The addresses are read again by the next start: equal ones make it fail.
        QSettings settings;
        settings.setValue(QStringLiteral("localproxy-addr"), QStringLiteral("127.0.0.2:%1").arg(m_resolverPort));
    }
    QCOMPARE(ServiceManager::controlService(WardenTest::serviceName, ControlContinue, 30000), 0u);
    QTRY_VERIFY_WITH_TIMEOUT(WardenTest::logOf(WardenTest::serviceName)
                                 .contains(QStringLiteral("Error: the server did not start again: 1: wrong proxy "
                                                          "addresses in config")),
        10000);
    // The process runs on without protection, and still stops cleanly.
    QVERIFY(warden.isRunning());
    VERIFY_STOPS_CLEANLY(warden);
}

void tst_WardenIpc::systemInfoReport()
{
    Warden warden(m_account, m_resolverPort, false);
    QVERIFY(QFile::copy(m_site->caPath(), warden.machine.path(QStringLiteral("trust/site.pem"))));
    const QByteArray path = qgetenv("PATH");
    // The report's commands as the service finds them first on its PATH.
    qputenv("PATH", QFile::encodeName(TestSupport::fixture(QStringLiteral("report_commands"))) + ':' + path);
    const bool started = warden.start();
    qputenv("PATH", path);
    QVERIFY(started);

    const Warden::Client result = warden.client(QStringLiteral("report"),
        { QStringLiteral("--site"), m_site->site(), QStringLiteral("--commands-output"), commandsOutput },
        [](const QString &name) {
            return name == QLatin1String("pointed")
                && QTest::qWaitFor([] { return nameServer() == QLatin1String("127.0.0.1"); }, 10000);
        });
    VERIFY_CLIENT(result);
    VERIFY_STOPS_CLEANLY(warden);

    // Without the service the desktop's report holds the service's event-log entries, found by the query tool
    // beside the programs; the password is in none of them.
    qputenv("PATH", QFile::encodeName(QFileInfo(WardenTest::program()).path()) + ':' + path);
    const QString log = Velmor::SysInfo::systemLog();
    qputenv("PATH", path);
    QVERIFY2(log.contains(QLatin1String("Velmor Agent")), qPrintable(log));
    QVERIFY2(!log.contains(password), qPrintable(log));
}

void tst_WardenIpc::unlockPauseIsPerUser()
{
    if (!WardenTest::isRoot())
        QSKIP("another user can be played only by root");
    Warden warden(m_account, m_resolverPort, true);
    QVERIFY(warden.start());
    QVERIFY(signIn(warden));

    // Another local user guesses the settings password on and on.
    QProcess attacker;
    attacker.start(QStringLiteral("setpriv"),
        { QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups"),
            QStringLiteral("--"), QStringLiteral("/usr/bin/python3"),
            TestSupport::fixture(QStringLiteral("local_attacker.py")), QStringLiteral("guesses"),
            QString::number(warden.ipcPort), user, QStringLiteral("6") });
    QVERIFY(attacker.waitForStarted(30000));
    QByteArray out;
    QDeadlineTimer deadline(60000);
    while (!out.contains("answered 4 ") && !deadline.hasExpired() && attacker.state() != QProcess::NotRunning) {
        attacker.waitForReadyRead(100);
        out += attacker.readAllStandardOutput();
    }
    QVERIFY2(out.contains("answered 4 "), out + attacker.readAllStandardError());

    // Meanwhile this user's desktop unlocks with the right password at once.
    WardenTest::IpcProbe desktop(warden.ipcPort);
    QTRY_VERIFY_WITH_TIMEOUT(desktop.methods().contains(QStringLiteral("setSettingsLocked")), 30000);
    QElapsedTimer answered;
    answered.start();
    const int id = desktop.call(QStringLiteral("unlockSettings"), { user, password });
    QVERIFY(desktop.waitForAnswer(id, 60000));
    const qint64 waited = answered.elapsed();
    QCOMPARE(desktop.error(id), QVariantMap());
    QVERIFY2(waited < 3000, qPrintable(QStringLiteral("the right password waited %1 ms").arg(waited)));
    QCOMPARE(WardenTest::digFirst(warden.proxyPort, 1, 5, false), QByteArray("10.0.0.1\n"));
    QCOMPARE(WardenTest::digFirst(warden.proxyPort, 1, 5, true), QByteArray("10.0.0.1\n"));

    // The guesser's own attempts are answered at once too, with the time he has to wait.
    QVERIFY(attacker.state() == QProcess::NotRunning || attacker.waitForFinished(60000));
    out += attacker.readAllStandardOutput();
    const QByteArray slowest = out.mid(out.indexOf("slowest ") + 8).trimmed();
    QVERIFY2(out.contains("slowest ") && slowest.toDouble() < 3, out + attacker.readAllStandardError());
    QVERIFY2(out.contains("answered 4 code 1 Try again in "), out.constData());
    VERIFY_STOPS_CLEANLY(warden);
}

void tst_WardenIpc::reportsOfALoopAreShared()
{
    if (!WardenTest::isRoot())
        QSKIP("another user can be played only by root");
    Warden warden(m_account, m_resolverPort, false);
    QVERIFY(QFile::copy(m_site->caPath(), warden.machine.path(QStringLiteral("trust/site.pem"))));
    // The report's commands log each report they make.
    const QString commandLog = m_logs.filePath(QStringLiteral("commands"));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(TestSupport::fixture(QStringLiteral("report_commands"))) + ':' + path);
    qputenv("VELMOR_COMMAND_LOG", QFile::encodeName(commandLog));
    const bool started = warden.start();
    qputenv("PATH", path);
    qunsetenv("VELMOR_COMMAND_LOG");
    QVERIFY(started);
    QVERIFY(signIn(warden));

    // Another local user asks for reports on every connection he may hold, as fast as they come, for 4 s.
    QProcess attacker;
    attacker.start(QStringLiteral("setpriv"),
        { QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups"),
            QStringLiteral("--"), QStringLiteral("/usr/bin/python3"),
            TestSupport::fixture(QStringLiteral("local_attacker.py")), QStringLiteral("reports"),
            QString::number(warden.ipcPort), QStringLiteral("8"), QStringLiteral("4") });
    QVERIFY(attacker.waitForStarted(30000));
    // Meanwhile this user's desktop and DNS are answered.
    WardenTest::IpcProbe desktop(warden.ipcPort);
    QTRY_VERIFY_WITH_TIMEOUT(desktop.methods().contains(QStringLiteral("setSettings")), 30000);
    bool tcp = false;
    while (attacker.state() != QProcess::NotRunning && !attacker.canReadLine()) {
        QElapsedTimer answered;
        answered.start();
        const int id = desktop.call(QStringLiteral("categories"));
        QVERIFY(desktop.waitForAnswer(id, 30000));
        QVERIFY2(answered.elapsed() < 2000, qPrintable(QString::number(answered.elapsed())));
        QCOMPARE(WardenTest::digFirst(warden.proxyPort, 1, 5, tcp), QByteArray("10.0.0.1\n"));
        tcp = !tcp;
        attacker.waitForReadyRead(200);
    }
    const QByteArray line = attacker.readLine().trimmed();
    QVERIFY2(line.startsWith("reports "), line + attacker.readAllStandardError());
    QVERIFY2(line.mid(8).toInt() >= 8, line.constData());

    // Each report made was shared with the calls of the next few seconds.
    QFile log(commandLog);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const int made = int(log.readAll().count("uname\n"));
    QVERIFY2(made >= 1 && made <= 2, qPrintable(QStringLiteral("%1 reports made for %2").arg(made).arg(line)));
    attacker.closeWriteChannel();
    QVERIFY(attacker.state() == QProcess::NotRunning || attacker.waitForFinished(30000));
    VERIFY_STOPS_CLEANLY(warden);
}

void tst_WardenIpc::signInAgain_data()
{
    QTest::addColumn<QString>("newUser");
    QTest::addColumn<QString>("newPassword");
    QTest::addColumn<bool>("outage");
    // 0: the sign-in succeeds.
    QTest::addColumn<int>("expectedCode");

    QTest::newRow("wrong password") << user << QStringLiteral("typo") << false << 30;
    QTest::newRow("another account, wrong password") << secondUser << QStringLiteral("typo") << false << 30;
    QTest::newRow("empty password") << user << QString() << false << 30;
    QTest::newRow("outage, another account") << secondUser << secondPassword << true << 31;
    QTest::newRow("outage, the same pair") << user << password << true << 31;
    QTest::newRow("another account") << secondUser << secondPassword << false << 0;
}

// Signed in and filtering on a profile chosen for this computer, the parent gives other credentials: a refusal or
// an outage leaves the filtering, the profile and the stored credentials as they were, also after a restart; the
// right pair of another account switches over.
void tst_WardenIpc::signInAgain()
{
    QFETCH(QString, newUser);
    QFETCH(QString, newPassword);
    QFETCH(bool, outage);
    QFETCH(int, expectedCode);

    Warden warden(m_account, m_resolverPort, false);
    QVERIFY(warden.start());
    QStringList arguments { QStringLiteral("--resolver-log"), m_resolverLog, QStringLiteral("--new-user"), newUser,
        QStringLiteral("--new-password"), newPassword, QStringLiteral("--expect"), QString::number(expectedCode) };
    if (outage)
        arguments << QStringLiteral("--outage");
    const Warden::Client result = warden.client(QStringLiteral("resignin"), arguments, [&](const QString &name) {
        if (name == QLatin1String("refuse")) {
            m_account.setRefusing(true);
            return true;
        }
        if (name == QLatin1String("kept")) {
            m_account.setRefusing(false);
            return nameServer() == QLatin1String("127.0.0.1");
        }
        return false;
    });
    m_account.setRefusing(false);
    if (result.exitCode != 0)
        qWarning() << WardenTest::logOf(WardenTest::serviceName);
    VERIFY_CLIENT(result);
    QCOMPARE(nameServer(), QStringLiteral("127.0.0.1"));
    QString profile;
    for (const QString &line : result.out.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("profile ")))
            profile = line.mid(8).trimmed();
    }
    VERIFY_STOPS_CLEANLY(warden);

    QVERIFY(warden.start());
    const QString signedIn = expectedCode == 0 ? newUser : user;
    if (expectedCode == 0)
        QCOMPARE(profile.toUInt(), secondProfile);
    const Warden::Client resumed = warden.client(QStringLiteral("resumed"),
        { QStringLiteral("--resolver-log"), m_resolverLog, QStringLiteral("--user"), signedIn,
            QStringLiteral("--expect"), profile });
    VERIFY_CLIENT(resumed);
    QCOMPARE(nameServer(), QStringLiteral("127.0.0.1"));
    VERIFY_STOPS_CLEANLY(warden);
}

void tst_WardenIpc::changeDuringOutage_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("params");
    // What the account service must receive once it is back: the method with parameters that begin with these;
    // none for an addition, which is refused at once.
    QTest::addColumn<QString>("received");
    // The service is restarted while the account service is still out of reach.
    QTest::addColumn<bool>("restart");

    // The account's generated lists number their entries from 1001: profile 102's black list holds 1013 to 1015,
    // its alias list 1016 to 1018.
    QTest::newRow("category") << "setFilterCat"
                              << "[102, 1, true]"
                              << "[102, 1, true]" << false;
    QTest::newRow("list entry removed") << "removeDomain"
                                        << "[102, \"black\", 1013]"
                                        << "[102, \"black\", 1013]" << false;
    QTest::newRow("list cleared") << "clearDomains"
                                  << "[102, \"white\"]"
                                  << "[102, \"white\"]" << false;
    QTest::newRow("alias removed") << "removeDomain"
                                   << "[102, \"alias\", 1016]"
                                   << "[102, \"alias\", 1016]" << false;
    QTest::newRow("schedule") << "setSchedule"
                              << "[102, [{\"is_profile_on\": true, \"time_from\": \"08:00\", \"time_to\": \"20:00\"}, "
                                 "{\"is_profile_on\": false, \"time_from\": \"00:00\", \"time_to\": \"24:00\"}, "
                                 "{\"is_profile_on\": true, \"time_from\": \"08:00\", \"time_to\": \"20:00\"}, "
                                 "{\"is_profile_on\": true, \"time_from\": \"08:00\", \"time_to\": \"20:00\"}, "
                                 "{\"is_profile_on\": true, \"time_from\": \"08:00\", \"time_to\": \"20:00\"}, "
                                 "{\"is_profile_on\": true, \"time_from\": \"08:00\", \"time_to\": \"20:00\"}, "
                                 "{\"is_profile_on\": true, \"time_from\": \"08:00\", \"time_to\": \"20:00\"}]]"
                              << "[102]" << false;
    QTest::newRow("schedule switched on") << "setScheduleEnabled"
                                          << "[102, true]"
                                          << "[102, true]" << false;
    QTest::newRow("safe search") << "setSafeSearchEnabled"
                                 << "[102, true]"
                                 << "[102, true]" << false;
    QTest::newRow("white list only") << "setWhiteListOnly"
                                     << "[102, true]"
                                     << "[102, true]" << false;
    QTest::newRow("profile removed") << "removeProfile"
                                     << "[102]"
                                     << "[102]" << false;
    QTest::newRow("list entry added") << "addDomain"
                                      << "[102, \"black\", \"new.example\", \"\"]" << QString() << false;
    QTest::newRow("profile added") << "addProfile"
                                   << "[\"Weekend\"]" << QString() << false;
    QTest::newRow("category, service restarted") << "setFilterCat"
                                                 << "[102, 1, true]"
                                                 << "[102, 1, true]" << true;
}

// A change made while the account service refuses connections is kept by the service and reaches the account once
// the service is back, also when the window's link closed and opened again, or the service restarted, meanwhile; an
// addition, which the account service must number, is refused at once with the outage's code.
void tst_WardenIpc::changeDuringOutage()
{
    QFETCH(QString, method);
    QFETCH(QString, params);
    QFETCH(QString, received);
    QFETCH(bool, restart);
    // The account as the other tests know it, whatever the change did to it.
    const auto restore = qScopeGuard([this] { m_account.addAccount(user, password, 2, 3); });

    Warden warden(m_account, m_resolverPort, false);
    QVERIFY(warden.start());
    int backAt = -1;
    const Warden::Client result = warden.client(QStringLiteral("offline"),
        { QStringLiteral("--change"), method, QStringLiteral("--change-params"), params }, [&](const QString &name) {
            if (name == QLatin1String("refuse"))
                m_account.setRefusing(true);
            else if (name == QLatin1String("back")) {
                if (restart && (!warden.stopCleanly().isEmpty() || !warden.start()))
                    return false;
                backAt = int(m_account.log().size());
                m_account.setRefusing(false);
            }
            return true;
        });
    m_account.setRefusing(false);
    VERIFY_CLIENT(result);
    QVERIFY(backAt >= 0);

    // The calls and notifications the account service received once it was back.
    const auto receivedSinceBack = [&] {
        QList<QJsonObject> items;
        const QVariantList log = m_account.log();
        for (qsizetype i = backAt; i < log.size(); ++i) {
            const QJsonDocument body
                = QJsonDocument::fromJson(log.at(i).toMap().value(QStringLiteral("body")).toString().toUtf8());
            const QJsonArray batch = body.isArray() ? body.array() : QJsonArray { body.object() };
            for (const QJsonValue &item : batch)
                items.append(item.toObject());
        }
        return items;
    };
    const QJsonArray expected = QJsonDocument::fromJson(received.toUtf8()).array();
    const auto taken = [&] {
        for (const QJsonObject &item : receivedSinceBack()) {
            const QJsonArray sent = item.value(QStringLiteral("params")).toArray();
            if (item.value(QStringLiteral("method")).toString() != method || sent.size() < expected.size())
                continue;
            if (std::equal(expected.begin(), expected.end(), sent.begin()))
                return true;
        }
        return false;
    };
    if (received.isEmpty()) {
        // The window's refresh after the outage went through, and no addition with it.
        QTRY_VERIFY_WITH_TIMEOUT(!receivedSinceBack().isEmpty(), 30000);
        for (const QJsonObject &item : receivedSinceBack())
            QVERIFY(item.value(QStringLiteral("method")).toString() != method);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(taken(), 30000);
    }
    if (method == QLatin1String("setFilterCat")) {
        const QVariantList filter
            = m_account.account(user).value(QStringLiteral("filters")).toMap().value(QStringLiteral("102")).toList();
        QVERIFY2(filter.contains(QVariant(1)), qPrintable(QVariant(filter).toString()));
    }
    VERIFY_STOPS_CLEANLY(warden);
}

// The account's password changed elsewhere: the account service refuses the stored pair and the service stops
// filtering; the new password signs the same account in again on the profile chosen for this computer.
void tst_WardenIpc::passwordChangedElsewhere()
{
    const QString newPassword = QStringLiteral("changed-4b7d-secret");
    const auto restore = qScopeGuard([this] { m_account.addAccount(user, password, 2, 3); });
    Warden warden(m_account, m_resolverPort, false);
    QVERIFY(warden.start());
    const Warden::Client result = warden.client(QStringLiteral("passwordchanged"),
        { QStringLiteral("--resolver-log"), m_resolverLog, QStringLiteral("--new-password"), newPassword },
        [&](const QString &name) {
            if (name == QLatin1String("refused")) {
                return QTest::qWaitFor(
                    [] {
                        return WardenTest::logOf(WardenTest::serviceName)
                            .contains(QStringLiteral("Warning: cabinet auth failure"));
                    },
                    30000);
            }
            // The same account, profiles and lists under another password.
            m_account.addAccount(user, newPassword, 2, 3);
            return name == QLatin1String("changed");
        });
    VERIFY_CLIENT(result);
    QCOMPARE(nameServer(), QStringLiteral("127.0.0.1"));
    VERIFY_STOPS_CLEANLY(warden);
}

QTEST_GUILESS_MAIN(tst_WardenIpc)
#include "tst_wardenipc.moc"
