#include "consoletest.h"
#include "fakeservice.h"

#include "app/agent.h"
#include "app/systemtrayicon.h"
#include "model/serviceconnector.h"

#include "velmorwire/jsonrpccall.h"

#include <QSignalSpy>
#include <QTimer>

class tst_ServiceConnector : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void noServiceGivesOneErrorThenRetries();
    void lostServiceGivesOneErrorAndFullPushOnReturn();
    void connectWhileConnectedDoesNothing();
    void callErrorsInTray_data();
    void callErrorsInTray();

private:
    std::unique_ptr<ConsoleTest::Desktop> m_desktop;
};

void tst_ServiceConnector::cleanup()
{
    m_desktop.reset();
}

// The retry timer's ticks are driven by hand: the interval is checked, the waiting is not done.
void tst_ServiceConnector::noServiceGivesOneErrorThenRetries()
{
    m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(QStringLiteral("protected")), true);
    FakeService *service = m_desktop->service.get();
    Agent *agent = m_desktop->agent.get();
    service->stop();
    ServiceConnector *connector = agent->connector();
    QSignalSpy errors(connector, &ServiceConnector::serviceError);
    QSignalSpy shown(agent, &Agent::messageShown);

    QTRY_COMPARE(errors.size(), 1);
    QCOMPARE(errors.first().first().toInt(), 1);
    QVERIFY(connector->connectionFailed());
    QVERIFY(connector->reconnectTimer()->isActive());
    QCOMPARE(connector->reconnectTimer()->interval(), 3000);
    QCOMPARE(agent->status()->state(), int(ServiceStatus::ServiceUnreachable));
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().at(1).toString(), QStringLiteral("Service error"));
    QCOMPARE(shown.first().at(2).toString(), QStringLiteral("Failed to connect to system service!"));
    QCOMPARE(agent->trayIcon()->toolTip(), QStringLiteral("Failed to connect to system service!"));

    for (int tick = 0; tick < 3; ++tick) {
        connector->timer_reconnectToService();
        QCOMPARE(connector->state(), ServiceConnector::Connecting);
        QTRY_COMPARE(connector->state(), ServiceConnector::Unconnected);
        QVERIFY(connector->connectionFailed());
    }
    QCOMPARE(errors.size(), 1);
    QCOMPARE(shown.size(), 1);

    QVERIFY(service->listen());
    connector->timer_reconnectToService();
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::Protected));
    QVERIFY(!connector->reconnectTimer()->isActive());
    QVERIFY(!connector->connectionFailed());
    QCOMPARE(errors.size(), 1);
}

void tst_ServiceConnector::lostServiceGivesOneErrorAndFullPushOnReturn()
{
    m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(QStringLiteral("protected")), true);
    FakeService *service = m_desktop->service.get();
    Agent *agent = m_desktop->agent.get();
    ServiceConnector *connector = agent->connector();
    QSignalSpy completed(agent->status(), &ServiceStatus::connectionComplete);
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::Protected));
    QCOMPARE(completed.size(), 1);

    QSignalSpy disconnected(connector, &ServiceConnector::disconnected);
    QSignalSpy errors(connector, &ServiceConnector::serviceError);
    QSignalSpy states(agent->status(), &ServiceStatus::stateChanged);
    QSignalSpy shown(agent, &Agent::messageShown);
    service->stop();
    QTRY_COMPARE(disconnected.size(), 1);
    QTRY_COMPARE(errors.size(), 1);
    // The link was up: it was interrupted, not never made.
    QCOMPARE(errors.first().first().toInt(), 2);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().at(2).toString(), QStringLiteral("The connection to system service was interrupted!"));
    QCOMPARE(agent->trayIcon()->toolTip(), QStringLiteral("The connection to system service was interrupted!"));
    QCOMPARE(agent->status()->state(), int(ServiceStatus::ServiceUnreachable));
    QVERIFY(!agent->status()->isConnectionComplete());
    QVERIFY(connector->reconnectTimer()->isActive());

    // The service comes back with another state; the first tick reaches it and the whole push arrives again.
    service->setScript(ConsoleTest::withPush(ConsoleTest::script(QStringLiteral("protected")),
        QStringLiteral("setGlobalFiltering"), QVariantList { false }));
    QVERIFY(service->listen());
    connector->timer_reconnectToService();
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::FilteringOff));
    QCOMPARE(completed.size(), 2);
    QCOMPARE(service->connectionsAccepted(), 2);
    QCOMPARE(errors.size(), 1);
    QVERIFY(!connector->reconnectTimer()->isActive());
}

void tst_ServiceConnector::connectWhileConnectedDoesNothing()
{
    m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(QStringLiteral("protected")), true);
    Agent *agent = m_desktop->agent.get();
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::Protected));
    agent->connector()->connectToService();
    QCOMPARE(agent->connector()->state(), ServiceConnector::Connected);
    // A later message still travels on the first link.
    agent->status()->setSettingsProtection(true);
    QTRY_COMPARE(m_desktop->service->messages(QStringLiteral("setSettingsProtection")).size(), 1);
    QCOMPARE(m_desktop->service->connectionsAccepted(), 1);
}

void tst_ServiceConnector::callErrorsInTray_data()
{
    QTest::addColumn<quint32>("code");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("1: the service's own words") << 1u << "Unknown error"
                                                << "No such profile";
    QTest::newRow("3: no link") << 3u << "Service error"
                                << "No connection to system service";
    QTest::newRow("2: the caller's business") << 2u << QString() << QString();
    QTest::newRow("30: the caller's business") << 30u << QString() << QString();
}

void tst_ServiceConnector::callErrorsInTray()
{
    QFETCH(quint32, code);
    QFETCH(QString, title);
    QFETCH(QString, text);
    m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(QStringLiteral("protected")), true);
    Agent *agent = m_desktop->agent.get();
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::Protected));
    m_desktop->service->setAnswer(QStringLiteral("probe"),
        QVariantMap { { QStringLiteral("error"),
            QVariantMap { { QStringLiteral("code"), code },
                { QStringLiteral("message"), QStringLiteral("No such profile") } } } });
    QSignalSpy shown(agent, &Agent::messageShown);
    Velmor::JsonRPCCall *call = agent->connector()->call("probe");
    QSignalSpy finished(call, &Velmor::JsonRPCCall::finished);
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(shown.size(), title.isEmpty() ? 0 : 1);
    if (title.isEmpty())
        return;
    QCOMPARE(shown.first().at(0).value<QSystemTrayIcon::MessageIcon>(), QSystemTrayIcon::Critical);
    QCOMPARE(shown.first().at(1).toString(), title);
    QCOMPARE(shown.first().at(2).toString(), text);
}

CONSOLE_TEST_MAIN(tst_ServiceConnector)
#include "tst_serviceconnector.moc"
