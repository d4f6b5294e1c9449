#include "consoletest.h"
#include "fakeservice.h"
#include "mainwindowtest.h"

#include "app/agent.h"
#include "app/systemtrayicon.h"
#include "mainwindow/mainwidget.h"
#include "model/autostart.h"
#include "model/cabinet.h"
#include "model/serviceconnector.h"

#include "platform/registry.h"
#include "velmorwire/json.h"

#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>

class tst_Agent : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void geometryBand_data();
    void geometryBand();
    void firstStart_data();
    void firstStart();
    void laterStartProtectsNothing();
    void refusedProtectionRevertsRow();
    void missingDnsAsksForAddresses_data();
    void missingDnsAsksForAddresses();
    void everyConnectionCompletesAnew();
    void globalFilteringCalls();
    void activateMainWidgetToggles();
    void balloonTitles_data();
    void balloonTitles();
    void passwordReachesNoOutput_data();
    void passwordReachesNoOutput();
    void quitRequestsQuit_data();
    void quitRequestsQuit();

private:
    std::unique_ptr<ConsoleTest::Desktop> m_desktop;
};

namespace {

QVariantMap networksScript(const QString &networksJson)
{
    return ConsoleTest::withPush(ConsoleTest::script(QStringLiteral("protected")), QStringLiteral("setNetworks"),
        QVariantList { Velmor::Json::parse(networksJson) });
}

const char twoNetworks[] = "{\"defaultRouteId\":\"eth0\",\"networks\":[{\"id\":\"eth0\",\"name\":\"Wired\"},"
                           "{\"id\":\"wlan0\",\"name\":\"Wireless\"}]}";

} // namespace

void tst_Agent::cleanup()
{
    m_desktop.reset();
}

void tst_Agent::geometryBand_data()
{
    QTest::addColumn<QRect>("stored");
    QTest::addColumn<bool>("used");
    // The available area is 0,0 1000x800: the window must stay within x 5..994 and y 20..779.
    QTest::newRow("inside") << QRect(100, 100, 400, 300) << true;
    QTest::newRow("touching every band") << QRect(QPoint(5, 20), QPoint(994, 779)) << true;
    QTest::newRow("into the top band") << QRect(100, 19, 400, 300) << false;
    QTest::newRow("into the bottom band") << QRect(QPoint(100, 500), QPoint(500, 780)) << false;
    QTest::newRow("into the left band") << QRect(4, 100, 400, 300) << false;
    QTest::newRow("into the right band") << QRect(QPoint(600, 100), QPoint(995, 300)) << false;
    QTest::newRow("invalid") << QRect(QPoint(500, 500), QPoint(100, 100)) << false;
}

void tst_Agent::geometryBand()
{
    QFETCH(QRect, stored);
    QFETCH(bool, used);
    QCOMPARE(Agent::geometryFits(stored, QRect(0, 0, 1000, 800)), used);
}

void tst_Agent::firstStart_data()
{
    QTest::addColumn<QString>("networks");
    QTest::addColumn<QStringList>("protectedIds");
    QTest::newRow("default route first, unprotected: only it")
        << QString::fromLatin1(twoNetworks) << QStringList { "eth0" };
    QTest::newRow("default route first, protected: all")
        << "{\"defaultRouteId\":\"eth0\",\"networks\":[{\"id\":\"eth0\",\"name\":\"W\",\"protected\":true},"
           "{\"id\":\"wlan0\",\"name\":\"X\"}]}"
        << QStringList { "eth0", "wlan0" };
    QTest::newRow("first is not the default route: all")
        << "{\"defaultRouteId\":\"wlan0\",\"networks\":[{\"id\":\"eth0\",\"name\":\"W\"},{\"id\":\"wlan0\",\"name\":"
           "\"X\"}]}"
        << QStringList { "eth0", "wlan0" };
    QTest::newRow("no networks: nothing") << "{\"defaultRouteId\":\"\",\"networks\":[]}" << QStringList();
}

void tst_Agent::firstStart()
{
    QFETCH(QString, networks);
    QFETCH(QStringList, protectedIds);
    m_desktop = std::make_unique<ConsoleTest::Desktop>(networksScript(networks));
    Agent *agent = m_desktop->agent.get();
    FakeService *service = m_desktop->service.get();
    QSignalSpy updated(agent->status(), &ServiceStatus::networksUpdated);
    QTRY_COMPARE(updated.size(), 1);
    QTRY_COMPARE(service->messages(QStringLiteral("setNetworkProtection")).size(), protectedIds.size());
    QStringList sent;
    for (const FakeService::Message &message : service->messages(QStringLiteral("setNetworkProtection"))) {
        QVERIFY(!message.isNotification());
        sent.append(message.params.value(0).toString());
        QCOMPARE(message.paramsText, QStringLiteral("[\"%1\",true,[]]").arg(sent.last()));
    }
    QCOMPARE(sent, protectedIds);

    // Only the very first networks are protected: a network that shows up later is left alone.
    service->clearMessages();
    service->push(QStringLiteral("setNetworks"), { Velmor::Json::parse(QString::fromLatin1(twoNetworks)) });
    QTRY_COMPARE(updated.size(), 2);
    agent->status()->setSettingsProtection(false);
    QTRY_COMPARE(service->messages(QStringLiteral("setSettingsProtection")).size(), 1);
    QCOMPARE(service->messages(QStringLiteral("setNetworkProtection")).size(), 0);

    const QSettings settings;
    QCOMPARE(settings.value(QStringLiteral("firststart")).toBool(), false);
    Velmor::Platform::Registry::Value value;
    QCOMPARE(Velmor::Platform::Registry::queryValue(
                 QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"),
                 QStringLiteral("Velmor Agent"), &value),
        0u);
    QCOMPARE(value.text, QLatin1Char('"') + QCoreApplication::applicationFilePath() + QLatin1String("\" -h"));
    QVERIFY(isAutostartEnabled());
    setAutostartEnabled(false);
    QVERIFY(!isAutostartEnabled());
}

void tst_Agent::laterStartProtectsNothing()
{
    m_desktop = std::make_unique<ConsoleTest::Desktop>(networksScript(QString::fromLatin1(twoNetworks)), true);
    QTRY_COMPARE(m_desktop->agent->status()->state(), int(ServiceStatus::NothingProtected));
    QVERIFY(!isAutostartEnabled());
    QCOMPARE(m_desktop->service->messages(QStringLiteral("setNetworkProtection")).size(), 0);
}

void tst_Agent::refusedProtectionRevertsRow()
{
    m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(QStringLiteral("protected")), true);
    Agent *agent = m_desktop->agent.get();
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::Protected));
    m_desktop->service->setAnswer(QStringLiteral("setNetworkProtection"),
        QVariantMap { { QStringLiteral("error"),
            QVariantMap {
                { QStringLiteral("code"), 5 }, { QStringLiteral("message"), QStringLiteral("Access denied") } } } });
    QSignalSpy rows(agent->status(), &ServiceStatus::protectionUpdated);
    agent->status()->setNetworkProtection(QStringLiteral("wlan0"), true, Velmor::HostList());
    QTRY_COMPARE(rows.size(), 1);
    QCOMPARE(rows.first().at(0).toString(), QStringLiteral("wlan0"));
    QCOMPARE(rows.first().at(1).toBool(), false);
    QVERIFY(!agent->status()->networks().networks.at(1).isProtected);

    // Success sets the flag in the Agent's copy at once.
    m_desktop->service->setAnswer(QStringLiteral("setNetworkProtection"), QVariantMap());
    agent->status()->setNetworkProtection(QStringLiteral("eth0"), false, Velmor::HostList());
    QTRY_COMPARE(rows.size(), 2);
    QCOMPARE(rows.last().at(1).toBool(), false);
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::NothingProtected));
}

void tst_Agent::missingDnsAsksForAddresses_data()
{
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QString>("retry");
    QTest::newRow("one address") << QStringList { "10.0.0.1" } << "[\"eth0\",true,[\"10.0.0.1\"]]";
    QTest::newRow("two addresses") << QStringList { "10.0.0.1", "10.0.0.2" }
                                   << "[\"eth0\",true,[\"10.0.0.1\",\"10.0.0.2\"]]";
    QTest::newRow("cancel") << QStringList() << QString();
}

void tst_Agent::missingDnsAsksForAddresses()
{
    QFETCH(QStringList, typed);
    QFETCH(QString, retry);
    QVariantMap script = networksScript(QString::fromLatin1(twoNetworks));
    QVariantMap answers = script.value(QStringLiteral("answers")).toMap();
    answers.insert(QStringLiteral("setNetworkProtection"),
        QVariantList { QVariantMap { { QStringLiteral("error"),
                           QVariantMap { { QStringLiteral("code"), 4 },
                               { QStringLiteral("message"), QStringLiteral("DHCP Unavailable") } } } },
            QVariantMap() });
    script.insert(QStringLiteral("answers"), answers);
    m_desktop = std::make_unique<ConsoleTest::Desktop>(script);
    Agent *agent = m_desktop->agent.get();
    FakeService *service = m_desktop->service.get();
    QSignalSpy rows(agent->status(), &ServiceStatus::protectionUpdated);

    MainWindowTest::AddressDialogAnswer answer;
    MainWindowTest::answerNextAddressDialog(typed, &answer, agent);
    QTRY_VERIFY(answer.seen);
    QVERIFY(answer.okDisabledAtFirst);
    QCOMPARE(answer.okEnabledWhenFilled, !typed.isEmpty());
    if (retry.isEmpty()) {
        QTRY_COMPARE(rows.size(), 1);
        QCOMPARE(rows.first().at(1).toBool(), false);
        QCOMPARE(service->messages(QStringLiteral("setNetworkProtection")).size(), 1);
        QCOMPARE(agent->status()->state(), int(ServiceStatus::NothingProtected));
        return;
    }
    QTRY_COMPARE(service->messages(QStringLiteral("setNetworkProtection")).size(), 2);
    QCOMPARE(service->messages(QStringLiteral("setNetworkProtection")).last().paramsText, retry);
    QTRY_COMPARE(rows.size(), 1);
    QCOMPARE(rows.first().at(1).toBool(), true);
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::Protected));
}

// The second connection's push lacks the identification: the Agent must wait for it again, not keep the
// first connection's completeness.
void tst_Agent::everyConnectionCompletesAnew()
{
    m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(QStringLiteral("protected")));
    Agent *agent = m_desktop->agent.get();
    FakeService *service = m_desktop->service.get();
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::Protected));
    service->stop();
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::ServiceUnreachable));
    service->setScript(ConsoleTest::withPush(
        ConsoleTest::script(QStringLiteral("protected")), QStringLiteral("setIdentification"), QVariant()));
    QVERIFY(service->listen());
    agent->connector()->timer_reconnectToService();
    QTRY_COMPARE(agent->connector()->state(), ServiceConnector::Connected);
    QSignalSpy profiles(agent->cabinet(), &Cabinet::profilesChanged);
    QTRY_COMPARE(profiles.size(), 1);
    QCOMPARE(agent->status()->state(), int(ServiceStatus::Connecting));
    QVERIFY(!agent->status()->isConnectionComplete());
    service->push(QStringLiteral("setIdentification"), { 1, 2 });
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::Protected));
}

void tst_Agent::globalFilteringCalls()
{
    m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(QStringLiteral("protected")));
    Agent *agent = m_desktop->agent.get();
    FakeService *service = m_desktop->service.get();
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::Protected));
    agent->status()->setGlobalFiltering(false, 30);
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::FilteringOff));
    agent->status()->turnOnGlobalFiltering();
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::Protected));
    agent->status()->setSettingsProtection(true);
    QTRY_COMPARE(service->messages(QStringLiteral("setSettingsProtection")).size(), 1);
    const QList<FakeService::Message> filtering = service->messages(QStringLiteral("setGlobalFiltering"));
    QCOMPARE(filtering.size(), 2);
    QCOMPARE(filtering.at(0).paramsText, QStringLiteral("[false,30]"));
    QVERIFY(filtering.at(0).isNotification());
    QCOMPARE(filtering.at(1).paramsText, QStringLiteral("[true,0]"));
    QCOMPARE(service->messages(QStringLiteral("setSettingsProtection")).first().paramsText, QStringLiteral("[true]"));
}

void tst_Agent::activateMainWidgetToggles()
{
    m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(QStringLiteral("protected")));
    Agent *agent = m_desktop->agent.get();
    FakeService *service = m_desktop->service.get();
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::Protected));
    MainWidget *window = agent->mainWidget();
    QVERIFY(window->isVisible());
    agent->activateMainWidget();
    QVERIFY(!window->isVisible());
    agent->activateMainWidget();
    QVERIFY(window->isVisible());
    QTRY_COMPARE(service->messages(QStringLiteral("updateProfiles")).size(), 1);
    QVERIFY(service->messages(QStringLiteral("updateProfiles")).first().isNotification());
    window->showMinimized();
    agent->activateMainWidget();
    QVERIFY(!window->isVisible());
}

void tst_Agent::balloonTitles_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("shownTitle");
    QTest::addColumn<int>("icon");
    QTest::newRow("information, default") << 0 << QString() << "Velmor Agent" << int(QSystemTrayIcon::Information);
    QTest::newRow("error, default") << 1 << QString() << "Error!" << int(QSystemTrayIcon::Critical);
    QTest::newRow("warning, default") << 2 << QString() << "Warning!" << int(QSystemTrayIcon::Warning);
    QTest::newRow("error, own title") << 1 << "Mine"
                                      << "Mine" << int(QSystemTrayIcon::Critical);
    // What the model and the window report reaches the tray the same way.
    QTest::newRow("account model's error") << 3 << "Mine"
                                           << "Mine" << int(QSystemTrayIcon::Critical);
    QTest::newRow("link's error") << 4 << "Mine"
                                  << "Mine" << int(QSystemTrayIcon::Critical);
    QTest::newRow("window's information") << 5 << QString() << "Velmor Agent" << int(QSystemTrayIcon::Information);
    QTest::newRow("window's warning") << 6 << QString() << "Warning!" << int(QSystemTrayIcon::Warning);
}

void tst_Agent::balloonTitles()
{
    QFETCH(int, kind);
    QFETCH(QString, title);
    QFETCH(QString, shownTitle);
    QFETCH(int, icon);
    m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(QStringLiteral("protected")));
    Agent *agent = m_desktop->agent.get();
    QSignalSpy shown(agent, &Agent::messageShown);
    const QString text = QStringLiteral("text");
    if (kind == 0)
        agent->showInformation(text, title);
    else if (kind == 1)
        agent->showError(text, title);
    else if (kind == 2)
        agent->showWarning(text, title);
    else if (kind == 3)
        Q_EMIT agent->cabinet()->errorOccurred(text, title);
    else if (kind == 4)
        Q_EMIT agent->connector()->errorOccurred(text, title);
    else if (kind == 5)
        Q_EMIT agent->mainWidget()->informationToShow(text);
    else
        Q_EMIT agent->mainWidget()->warningToShow(text);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(int(shown.first().at(0).value<QSystemTrayIcon::MessageIcon>()), icon);
    QCOMPARE(shown.first().at(1).toString(), shownTitle);
    QCOMPARE(shown.first().at(2).toString(), text);
}

namespace {

QStringList *capturedOutput = nullptr;

void captureOutput(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (capturedOutput)
        capturedOutput->append(message);
}

} // namespace

// The service sends the password only while the settings are unlocked; the desktop never writes it to its
// output or a balloon, and never sends the empty one of a locked service back.
void tst_Agent::passwordReachesNoOutput_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("password");
    QTest::newRow("unlocked") << "protected"
                              << "secret-password";
    QTest::newRow("locked") << "locked" << QString();
}

void tst_Agent::passwordReachesNoOutput()
{
    QFETCH(QString, script);
    QFETCH(QString, password);
    QStringList output;
    capturedOutput = &output;
    const QtMessageHandler previous = qInstallMessageHandler(captureOutput);
    QStringList balloons;
    {
        m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(script));
        Agent *agent = m_desktop->agent.get();
        connect(agent, &Agent::messageShown, agent,
            [&balloons](QSystemTrayIcon::MessageIcon, const QString &title, const QString &text) {
                balloons << title << text;
            });
        QSignalSpy credentials(agent->cabinet(), &Cabinet::credentialsUpdated);
        QTRY_VERIFY(agent->status()->isConnectionComplete());
        QCOMPARE(credentials.size(), 1);
        QCOMPARE(credentials.first().at(0).toString(), QStringLiteral("user@example.com"));
        QCOMPARE(credentials.first().at(1).toString(), password);
        // Errors of every kind on the way: account service down, a refused call, the service gone.
        m_desktop->service->push(QStringLiteral("setIdentificationError"),
            { 1,
                QVariantMap {
                    { QStringLiteral("code"), 31 }, { QStringLiteral("message"), QStringLiteral("down") } } });
        QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::IdentificationFailed));
        m_desktop->service->stop();
        QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::ServiceUnreachable));
        QCOMPARE(m_desktop->service->messages(QStringLiteral("setCredentials")).size(), 0);
        m_desktop.reset();
    }
    qInstallMessageHandler(previous);
    capturedOutput = nullptr;
    QVERIFY(balloons.size() >= 4);
    for (const QString &line : std::as_const(output) + balloons)
        QVERIFY2(!line.contains(QLatin1String("secret-password")), qPrintable(line));
}

void tst_Agent::quitRequestsQuit_data()
{
    QTest::addColumn<bool>("fromTray");
    QTest::newRow("close message of another copy") << false;
    QTest::newRow("tray's Quit entry") << true;
}

void tst_Agent::quitRequestsQuit()
{
    QFETCH(bool, fromTray);
    m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(QStringLiteral("protected")));
    Agent *agent = m_desktop->agent.get();
    auto app = qobject_cast<QtSingleApplication *>(qApp);
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::Protected));
    QTimer::singleShot(0, app, [app, agent, fromTray] {
        // Quit is the tray menu's last entry.
        if (fromTray)
            agent->trayIcon()->contextMenu()->actions().constLast()->trigger();
        else
            Q_EMIT app->messageReceived(InstanceMessage::close);
    });
    QTimer::singleShot(20000, app, [] { QCoreApplication::exit(-1); });
    QCOMPARE(QCoreApplication::exec(), 0);
    // The window's place is kept for the next start.
    QVERIFY(QSettings().contains(QStringLiteral("mainwidget-geometry")));
}

CONSOLE_TEST_MAIN(tst_Agent)
#include "tst_agent.moc"
