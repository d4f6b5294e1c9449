// The desktop program's Agent in this process against the real velmor-warden on the same machine root, the fake
// account service trusted through the root's store and the test resolver as the filtering resolver: what the user
// does in the window and the tray reaches the simulated adapters' DNS servers, and the service's answers bring the
// desktop's status.
#include "../../cabinet/accountservice.h"
#include "../../warden/livewarden.h"
#include "consoletest.h"
#include "mainwindowtest.h"

#include "app/agent.h"
#include "app/systemtrayicon.h"
#include "mainwindow/mainwidget.h"
#include "model/cabinet.h"

#include "velmorwire/jsonrpccall.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>

#include <algorithm>

using MainWindowTest::child;
using MainWindowTest::page;

namespace {

const QString user = QStringLiteral("owner@example.com");
const QString password = QStringLiteral("Pa55-e2e-desktop");
const QString wired = QStringLiteral("{0E2E0000-0000-4000-8000-000000000001}");
const QString wireless = QStringLiteral("{0E2E0000-0000-4000-8000-000000000002}");
const QString wiredDns = QStringLiteral("10.0.0.1");
const QString wirelessDns = QStringLiteral("10.0.0.2");
const QString localProxy = QStringLiteral("127.0.0.1");

// The service signs in over HTTPS and starts its proxy: longer than a widget's turn, above all under the sanitizers.
const int serviceTimeout = 30000;

QList<WardenTest::SimulatedAdapter> adapters(bool wiredDefaultRoute)
{
    return { { wired, QStringLiteral("Ethernet"), QStringLiteral("192.168.1.20"), wiredDns, wiredDefaultRoute },
        { wireless, QStringLiteral("Wi-Fi"), QStringLiteral("192.168.2.20"), wirelessDns, false } };
}

bool isProtected(const Agent &agent, const QString &networkId)
{
    for (const Velmor::Network &network : agent.status()->networks().networks) {
        if (network.id == networkId)
            return network.isProtected;
    }
    return false;
}

// What the service logged as warnings and errors: a message of the desktop refused by the lock or by the method's
// parameter types shows up here.
// The service writes its log from a thread of its own: a line shows a moment after what caused it.
QStringList complaints()
{
    QStringList lines = WardenTest::hostLogOf(WardenTest::serviceName);
    lines.removeIf([](const QString &line) {
        return !line.startsWith(QLatin1String("Warning:")) && !line.startsWith(QLatin1String("Error:"));
    });
    return lines;
}

} // namespace

class tst_AgentEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void firstStartProtects_data();
    void firstStartProtects();
    void trayPauseAndResume();
    void lockedPauseWaitsForThePassword();
    void unprotectingAsksForServers();
    void wrongPasswordKeepsFiltering();

private:
    // The service with the settings password on, and the desktop program's first start on its machine root.
    void startBoth(const QList<WardenTest::SimulatedAdapter> &machine);
    // The same, signed in on the window: the status 7, the wired adapter pointed at the local proxy.
    void startSignedIn(const QList<WardenTest::SimulatedAdapter> &machine = adapters(true));
    // The desktop program on the warden's machine root, connected; its first start when nothing ran there before.
    void startDesktop();
    // Signs in on the window's login page as the user does, and waits for the service's identification.
    void signIn();
    // The tray's pause entry of that many minutes.
    void trayPause(int minutes);
    // A call answered by the service: everything the desktop sent before it has been handled.
    void roundTrip();
    MainWidget *window() const { return m_agent->mainWidget(); }

    AccountService m_account;
    QTemporaryDir m_logs;
    WardenTest::Resolver m_resolver;
    std::unique_ptr<WardenTest::LiveWarden> m_warden;
    std::unique_ptr<Agent> m_agent;
};

void tst_AgentEndToEnd::initTestCase()
{
    QVERIFY(m_account.start());
    m_account.addAccount(user, password, 2, 3);
    QVERIFY(m_resolver.start(m_logs.filePath(QStringLiteral("queries.jsonl"))));
}

void tst_AgentEndToEnd::cleanup()
{
    ConsoleTest::closeAgent(m_agent, [this] { return !m_warden || !m_warden->isRunning(); });
    m_warden.reset();
}

void tst_AgentEndToEnd::startBoth(const QList<WardenTest::SimulatedAdapter> &machine)
{
    m_warden = std::make_unique<WardenTest::LiveWarden>(
        m_account, m_resolver.port(), machine, QVariantMap { { QStringLiteral("settings-protected"), true } });
    QVERIFY(m_warden->start());
    startDesktop();
}

void tst_AgentEndToEnd::startSignedIn(const QList<WardenTest::SimulatedAdapter> &machine)
{
    startBoth(machine);
    if (QTest::currentTestFailed())
        return;
    signIn();
    QTRY_COMPARE_WITH_TIMEOUT(m_agent->status()->state(), int(ServiceStatus::Protected), serviceTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(WardenTest::nameServer(wired), localProxy, serviceTimeout);
}

void tst_AgentEndToEnd::startDesktop()
{
    m_agent = std::make_unique<Agent>();
    QTRY_VERIFY_WITH_TIMEOUT(m_agent->status()->isConnectionComplete(), serviceTimeout);
}

void tst_AgentEndToEnd::signIn()
{
    QTRY_COMPARE(page(window()), QStringLiteral("loginPage"));
    QTRY_VERIFY(child<QLineEdit>(window(), "leUser")->isEnabled());
    QTest::keyClicks(child<QLineEdit>(window(), "leUser"), user);
    QTest::keyClicks(child<QLineEdit>(window(), "lePassword"), password);
    child<QPushButton>(window(), "pbLogin")->click();
    QTRY_VERIFY_WITH_TIMEOUT(m_agent->cabinet()->isIdentified(), serviceTimeout);
}

void tst_AgentEndToEnd::trayPause(int minutes)
{
    SystemTrayIcon *tray = m_agent->trayIcon();
    QVERIFY(tray->stopAction()->isVisible());
    QVERIFY(!tray->startAction()->isVisible());
    const QList<QAction *> entries = tray->stopAction()->menu()->actions();
    const auto entry = std::find_if(
        entries.cbegin(), entries.cend(), [minutes](QAction *action) { return action->data().toInt() == minutes; });
    QVERIFY(entry != entries.cend());
    (*entry)->trigger();
}

void tst_AgentEndToEnd::roundTrip()
{
    // The call goes once it has finished: its result is read as it ends.
    Velmor::JsonRPCCall *call = m_agent->cabinet()->categories();
    int code = -1;
    connect(call, &Velmor::JsonRPCCall::finished, this, [call, &code] { code = int(call->error().code()); });
    QTRY_COMPARE_WITH_TIMEOUT(code, 0, serviceTimeout);
}

void tst_AgentEndToEnd::firstStartProtects_data()
{
    QTest::addColumn<bool>("wiredDefaultRoute");
    QTest::addColumn<bool>("wirelessProtected");

    // The default-route network alone; without one, every network.
    QTest::newRow("default route") << true << false;
    QTest::newRow("no default route") << false << true;
}

void tst_AgentEndToEnd::firstStartProtects()
{
    QFETCH(bool, wiredDefaultRoute);
    QFETCH(bool, wirelessProtected);

    startBoth(adapters(wiredDefaultRoute));
    if (QTest::currentTestFailed())
        return;

    // Signed out, the service reports that it cannot identify: the login page, and the networks protected already
    // while their DNS servers stay their own, for there is nothing to point them at yet.
    QCOMPARE(m_agent->status()->state(), int(ServiceStatus::IdentificationFailed));
    QTRY_VERIFY_WITH_TIMEOUT(isProtected(*m_agent, wired), serviceTimeout);
    roundTrip();
    QCOMPARE(isProtected(*m_agent, wireless), wirelessProtected);
    QCOMPARE(WardenTest::nameServer(wired), wiredDns);
    QCOMPARE(WardenTest::nameServer(wireless), wirelessDns);

    signIn();
    QTRY_COMPARE_WITH_TIMEOUT(m_agent->status()->state(), int(ServiceStatus::Protected), serviceTimeout);
    QCOMPARE(m_agent->status()->stateText(), QStringLiteral("The internet is under control!"));
    QTRY_COMPARE_WITH_TIMEOUT(WardenTest::nameServer(wired), localProxy, serviceTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(
        WardenTest::nameServer(wireless), wirelessProtected ? localProxy : wirelessDns, serviceTimeout);
    QTRY_COMPARE(page(window()), QStringLiteral("welcomePage"));

    ConsoleTest::closeAgent(m_agent, [this] { return !m_warden->isRunning(); });
    VERIFY_STOPS_CLEANLY(*m_warden);
    QCOMPARE(complaints(), QStringList());
    // Stopped, the service gives the adapters their own servers back.
    QCOMPARE(WardenTest::nameServer(wired), wiredDns);
    QCOMPARE(WardenTest::nameServer(wireless), wirelessDns);
}

void tst_AgentEndToEnd::trayPauseAndResume()
{
    startSignedIn();
    if (QTest::currentTestFailed())
        return;

    // The user turns the settings password off in the window, and closes it.
    auto box = child<QCheckBox>(window(), "ckPasswordSettings");
    QVERIFY(box->isChecked());
    box->setChecked(false);
    roundTrip();
    QSettings store(m_warden->machine.path(QStringLiteral("settings/Velmor/Service.ini")), QSettings::IniFormat);
    QCOMPARE(store.value(QStringLiteral("settings-protected")).toBool(), false);
    window()->hide();

    // A pause from the tray goes to the service at once: the adapters get their own servers back.
    trayPause(5);
    QTRY_COMPARE_WITH_TIMEOUT(m_agent->status()->state(), int(ServiceStatus::FilteringOff), serviceTimeout);
    QCOMPARE(m_agent->status()->stateText(), QStringLiteral("Filtration switched off"));
    QVERIFY(!window()->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(WardenTest::nameServer(wired), wiredDns, serviceTimeout);
    QVERIFY(m_agent->trayIcon()->startAction()->isVisible());
    QVERIFY(!m_agent->trayIcon()->stopAction()->isVisible());

    m_agent->trayIcon()->startAction()->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(m_agent->status()->state(), int(ServiceStatus::Protected), serviceTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(WardenTest::nameServer(wired), localProxy, serviceTimeout);
    QCOMPARE(WardenTest::nameServer(wireless), wirelessDns);
    QVERIFY(m_agent->trayIcon()->stopAction()->isVisible());

    ConsoleTest::closeAgent(m_agent, [this] { return !m_warden->isRunning(); });
    VERIFY_STOPS_CLEANLY(*m_warden);
    QCOMPARE(complaints(), QStringList());
}

void tst_AgentEndToEnd::lockedPauseWaitsForThePassword()
{
    startSignedIn();
    if (QTest::currentTestFailed())
        return;
    ConsoleTest::closeAgent(m_agent, [this] { return !m_warden->isRunning(); });

    // The desktop starts again on the signed-in service with the settings password on: the service locks the new
    // connection and withholds the password, the window locks itself.
    startDesktop();
    QTRY_COMPARE_WITH_TIMEOUT(m_agent->status()->state(), int(ServiceStatus::Protected), serviceTimeout);
    QCOMPARE(child<QLineEdit>(window(), "leUser")->text(), user);
    QVERIFY(child<QLineEdit>(window(), "lePassword")->text().isEmpty());
    QVERIFY(child<QCheckBox>(window(), "ckPasswordSettings")->isChecked());

    // The tray's pause waits for the password: nothing reaches the service.
    window()->hide();
    trayPause(30);
    QTRY_VERIFY(window()->isVisible());
    QTRY_COMPARE(page(window()), QStringLiteral("loginPage"));
    roundTrip();
    QCOMPARE(m_agent->status()->state(), int(ServiceStatus::Protected));
    QCOMPARE(WardenTest::nameServer(wired), localProxy);
    QCOMPARE(complaints(), QStringList());
    // A pause sent past the window would not do either: the service holds the connection locked.
    m_agent->status()->setGlobalFiltering(false, 30);
    roundTrip();
    QTRY_COMPARE_WITH_TIMEOUT(
        complaints(), QStringList { "Warning: Settings are locked: setGlobalFiltering refused" }, 10000);
    QCOMPARE(m_agent->status()->state(), int(ServiceStatus::Protected));
    QCOMPARE(WardenTest::nameServer(wired), localProxy);

    // The password unlocks the connection at the service before the pause is sent, so the service takes it.
    auto field = child<QLineEdit>(window(), "lePassword");
    QVERIFY(field->isEnabled());
    QTest::keyClicks(field, password);
    child<QPushButton>(window(), "pbLogin")->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_agent->status()->state(), int(ServiceStatus::FilteringOff), serviceTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(WardenTest::nameServer(wired), wiredDns, serviceTimeout);

    m_agent->trayIcon()->startAction()->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(m_agent->status()->state(), int(ServiceStatus::Protected), serviceTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(WardenTest::nameServer(wired), localProxy, serviceTimeout);

    ConsoleTest::closeAgent(m_agent, [this] { return !m_warden->isRunning(); });
    VERIFY_STOPS_CLEANLY(*m_warden);
    QTRY_COMPARE_WITH_TIMEOUT(
        complaints(), QStringList { "Warning: Settings are locked: setGlobalFiltering refused" }, 10000);
}

void tst_AgentEndToEnd::unprotectingAsksForServers()
{
    // The wireless adapter has neither servers of its own nor DHCP ones to go back to.
    QList<WardenTest::SimulatedAdapter> machine = adapters(false);
    machine[1].nameServer.clear();
    startSignedIn(machine);
    if (QTest::currentTestFailed())
        return;
    QTRY_COMPARE_WITH_TIMEOUT(WardenTest::nameServer(wireless), localProxy, serviceTimeout);

    // Switched off, the service refuses for want of servers; the desktop asks the user for them and the retry
    // carries them to the adapter.
    MainWindowTest::AddressDialogAnswer answer;
    MainWindowTest::answerNextAddressDialog({ QStringLiteral("192.0.2.53") }, &answer, m_agent.get());
    m_agent->status()->setNetworkProtection(wireless, false, Velmor::HostList());
    QTRY_VERIFY_WITH_TIMEOUT(answer.seen, serviceTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(!isProtected(*m_agent, wireless), serviceTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(WardenTest::nameServer(wireless), QStringLiteral("192.0.2.53"), serviceTimeout);
    QCOMPARE(WardenTest::nameServer(wired), localProxy);
    QCOMPARE(m_agent->status()->state(), int(ServiceStatus::Protected));

    ConsoleTest::closeAgent(m_agent, [this] { return !m_warden->isRunning(); });
    VERIFY_STOPS_CLEANLY(*m_warden);
    QTRY_COMPARE_WITH_TIMEOUT(complaints(), QStringList { "Warning: can't do dhcpReset. dhcp unavailable" }, 10000);
    QCOMPARE(WardenTest::nameServer(wireless), QStringLiteral("192.0.2.53"));
}

// Signed in and filtering, the parent retypes the password in the account's settings and gets it wrong: the window
// says so, and the service goes on filtering on the account it had.
void tst_AgentEndToEnd::wrongPasswordKeepsFiltering()
{
    startSignedIn();
    if (QTest::currentTestFailed())
        return;
    MainWindowTest::slideAtOnce(window());
    window()->show();
    QVERIFY(QTest::qWaitForWindowExposed(window()));
    roundTrip();
    QTRY_COMPARE(page(window()), QStringLiteral("welcomePage"));
    Q_EMIT child<QLabel>(window(), "lblAgentStatus")->linkActivated(QStringLiteral("agent:showsettings"));
    QTRY_COMPARE(page(window()), QStringLiteral("settingsPage"));
    child<QPushButton>(window(), "clbChangeUser")->click();
    QTRY_COMPARE(page(window()), QStringLiteral("loginPage"));
    auto field = child<QLineEdit>(window(), "lePassword");
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Pa55-typo"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);

    auto told = child<QLabel>(window(), "lblSignupError");
    QTRY_VERIFY_WITH_TIMEOUT(
        told->isVisible() && told->text() == QLatin1String("Incorrect login or password"), serviceTimeout);
    roundTrip();
    QVERIFY(m_agent->cabinet()->isIdentified());
    QCOMPARE(m_agent->status()->state(), int(ServiceStatus::Protected));
    QCOMPARE(WardenTest::nameServer(wired), localProxy);

    // The service still holds the working pair: after a restart it signs in with it by itself.
    ConsoleTest::closeAgent(m_agent, [this] { return !m_warden->isRunning(); });
    VERIFY_STOPS_CLEANLY(*m_warden);
    QVERIFY(m_warden->start());
    startDesktop();
    QTRY_VERIFY_WITH_TIMEOUT(m_agent->cabinet()->isIdentified(), serviceTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(WardenTest::nameServer(wired), localProxy, serviceTimeout);
}

CONSOLE_TEST_MAIN(tst_AgentEndToEnd)
#include "tst_agentendtoend.moc"
