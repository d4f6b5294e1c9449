#include "consoletest.h"
#include "fakeservice.h"

#include "model/cabinet.h"
#include "model/requesthandler.h"
#include "model/serviceconnector.h"
#include "model/servicestatus.h"

#include "velmorwire/accountdatatypes.h"
#include "velmorwire/deferred.h"
#include "velmorwire/error.h"
#include "velmorwire/json.h"
#include "velmorwire/jsonrpccall.h"

#include <QSignalSpy>

// The model of the desktop on its own: the link, the account model, the status and the notification handler on
// the fake service, with no Agent, window or tray.
class tst_ServiceStatus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void stateTable_data();
    void stateTable();
    void switchable_data();
    void switchable();
    void followsTheService_data();
    void followsTheService();
    void commandsReachTheService_data();
    void commandsReachTheService();
    void errorsLeaveAsSignals_data();
    void errorsLeaveAsSignals();
    void missingDnsIsAskedFor();

private:
    std::unique_ptr<ConsoleTest::Model> m_model;
};

namespace {

QVariantMap errorAnswer(quint32 code, const QString &message)
{
    return QVariantMap { { QStringLiteral("error"),
        QVariantMap { { QStringLiteral("code"), code }, { QStringLiteral("message"), message } } } };
}

} // namespace

void tst_ServiceStatus::initTestCase()
{
    Velmor::registerErrorMetaType();
    Velmor::registerDeferredMetaType();
    Velmor::registerAccountDataTypes();
}

void tst_ServiceStatus::cleanup()
{
    m_model.reset();
}

void tst_ServiceStatus::stateTable_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<bool>("identified");
    QTest::addColumn<bool>("filtering");
    QTest::addColumn<QString>("networks"); // one letter per network: p protected, u not
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text");
    QTest::newRow("1 not connected") << false << true << true << true << "p" << 1 << "System service error!";
    QTest::newRow("2 not complete") << true << false << true << true << "p" << 2 << "Connecting to service..";
    QTest::newRow("3 not identified") << true << true << false << false << "p" << 3 << "Identification failed!";
    QTest::newRow("7 protected") << true << true << true << true << "up" << 7 << "The internet is under control!";
    QTest::newRow("6 off with protection") << true << true << true << false << "p" << 6 << "Filtration switched off";
    QTest::newRow("6 off, none protected") << true << true << true << false << "u" << 6 << "Filtration switched off";
    QTest::newRow("6 off, no networks") << true << true << true << false << "" << 6 << "Filtration switched off";
    QTest::newRow("5 none protected") << true << true << true << true << "uu" << 5 << "Filtration disabled";
    QTest::newRow("4 no networks") << true << true << true << true << "" << 4 << "Filtration disabled";
}

void tst_ServiceStatus::stateTable()
{
    QFETCH(bool, connected);
    QFETCH(bool, complete);
    QFETCH(bool, identified);
    QFETCH(bool, filtering);
    QFETCH(QString, networks);
    QFETCH(int, state);
    QFETCH(QString, text);
    Velmor::NetworksInfo info;
    for (QChar letter : networks)
        info.networks.append(
            Velmor::Network(QString::number(info.networks.size()), QStringLiteral("n"), letter == QLatin1Char('p')));
    QCOMPARE(int(ServiceStatus::stateFor(connected, complete, identified, filtering, info)), state);
    QCOMPARE(ServiceStatus::stateTextFor(state), text);
}

void tst_ServiceStatus::switchable_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("switchable");
    QTest::newRow("0 not started") << 0 << false;
    QTest::newRow("1 service unreachable") << 1 << false;
    QTest::newRow("2 connecting") << 2 << false;
    QTest::newRow("3 identification failed") << 3 << false;
    QTest::newRow("4 no networks") << 4 << false;
    QTest::newRow("5 nothing protected") << 5 << false;
    QTest::newRow("6 filtering off") << 6 << true;
    QTest::newRow("7 protected") << 7 << true;
}

void tst_ServiceStatus::switchable()
{
    QFETCH(int, state);
    QFETCH(bool, switchable);
    QCOMPARE(ServiceStatus::isSwitchable(ServiceStatus::State(state)), switchable);
}

void tst_ServiceStatus::followsTheService_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text");
    QTest::newRow("1 service gone") << 1 << "System service error!";
    QTest::newRow("3 identification error") << 3 << "Identification failed!";
    QTest::newRow("4 no networks") << 4 << "Filtration disabled";
    QTest::newRow("5 nothing protected") << 5 << "Filtration disabled";
    QTest::newRow("6 filtering off") << 6 << "Filtration switched off";
}

void tst_ServiceStatus::followsTheService()
{
    QFETCH(int, state);
    QFETCH(QString, text);
    m_model = std::make_unique<ConsoleTest::Model>(ConsoleTest::script(QStringLiteral("protected")));
    ServiceStatus &status = m_model->status;
    QTRY_COMPARE(status.state(), int(ServiceStatus::Protected));
    QVERIFY(status.isConnectionComplete());
    QCOMPARE(status.stateText(), QStringLiteral("The internet is under control!"));
    QSignalSpy changed(&status, &ServiceStatus::stateChanged);
    ConsoleTest::pushTowards(m_model->service.get(), state);
    QTRY_COMPARE(status.state(), state);
    QCOMPARE(status.stateText(), text);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(status.isGlobalFilteringEnabled(), state != ServiceStatus::FilteringOff);
    QCOMPARE(status.isSwitchable(), state == ServiceStatus::FilteringOff);
}

void tst_ServiceStatus::commandsReachTheService_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("params");
    QTest::newRow("pause") << "pause"
                           << "setGlobalFiltering"
                           << "[false,15]";
    QTest::newRow("turn on") << "turn on"
                             << "setGlobalFiltering"
                             << "[true,0]";
    QTest::newRow("protect settings") << "protect settings"
                                      << "setSettingsProtection"
                                      << "[true]";
    QTest::newRow("protect network") << "protect network"
                                     << "setNetworkProtection"
                                     << "[\"eth0\",false,[]]";
}

void tst_ServiceStatus::commandsReachTheService()
{
    QFETCH(QString, command);
    QFETCH(QString, method);
    QFETCH(QString, params);
    m_model = std::make_unique<ConsoleTest::Model>(ConsoleTest::script(QStringLiteral("protected")));
    ServiceStatus &status = m_model->status;
    QTRY_COMPARE(status.state(), int(ServiceStatus::Protected));
    if (command == QLatin1String("pause"))
        status.setGlobalFiltering(false, 15);
    else if (command == QLatin1String("turn on"))
        status.turnOnGlobalFiltering();
    else if (command == QLatin1String("protect settings"))
        status.setSettingsProtection(true);
    else
        status.setNetworkProtection(QStringLiteral("eth0"), false, Velmor::HostList());
    QTRY_COMPARE(m_model->service->messages(method).size(), 1);
    QCOMPARE(m_model->service->messages(method).first().paramsText, params);
}

void tst_ServiceStatus::errorsLeaveAsSignals_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("a call's unknown error") << "link"
                                            << "Unknown error"
                                            << "No such profile";
    QTest::newRow("the website's error") << "account"
                                         << "Error while querying info from website"
                                         << "down";
}

void tst_ServiceStatus::errorsLeaveAsSignals()
{
    QFETCH(QString, source);
    QFETCH(QString, title);
    QFETCH(QString, text);
    m_model = std::make_unique<ConsoleTest::Model>(ConsoleTest::script(QStringLiteral("protected")));
    QTRY_COMPARE(m_model->status.state(), int(ServiceStatus::Protected));
    QSignalSpy fromLink(&m_model->connector, &ServiceConnector::errorOccurred);
    QSignalSpy fromAccount(&m_model->cabinet, &Cabinet::errorOccurred);
    QSignalSpy *expected = &fromAccount;
    if (source == QLatin1String("link")) {
        expected = &fromLink;
        m_model->service->setAnswer(QStringLiteral("probe"), errorAnswer(1, QStringLiteral("No such profile")));
        QSignalSpy finished(m_model->connector.call("probe"), &Velmor::JsonRPCCall::finished);
        QTRY_COMPARE(finished.size(), 1);
    } else {
        ConsoleTest::pushTowards(m_model->service.get(), ServiceStatus::IdentificationFailed);
        QTRY_COMPARE(m_model->status.state(), int(ServiceStatus::IdentificationFailed));
    }
    QCOMPARE(fromLink.size() + fromAccount.size(), 1);
    QCOMPARE(expected->size(), 1);
    QVERIFY2(expected->first().at(0).toString().contains(text), qPrintable(expected->first().at(0).toString()));
    QCOMPARE(expected->first().at(1).toString(), title);
}

void tst_ServiceStatus::missingDnsIsAskedFor()
{
    m_model = std::make_unique<ConsoleTest::Model>(ConsoleTest::script(QStringLiteral("protected")));
    ServiceStatus &status = m_model->status;
    QTRY_COMPARE(status.state(), int(ServiceStatus::Protected));
    m_model->service->setAnswer(
        QStringLiteral("setNetworkProtection"), errorAnswer(4, QStringLiteral("DHCP Unavailable")));
    QSignalSpy asked(&status, &ServiceStatus::dnsAddressesNeeded);
    QSignalSpy rows(&status, &ServiceStatus::protectionUpdated);
    Velmor::JsonRPCCall *call = status.setNetworkProtection(QStringLiteral("eth0"), false, Velmor::HostList());
    // Asked from the event loop, never inside the link's own signal.
    int askedWithinTheAnswer = -1;
    connect(call, &Velmor::JsonRPCCall::finished, this, [&] { askedWithinTheAnswer = int(asked.size()); });
    QTRY_COMPARE(asked.size(), 1);
    QCOMPARE(askedWithinTheAnswer, 0);
    QCOMPARE(asked.first().at(0).toString(), QStringLiteral("eth0"));
    QCOMPARE(asked.first().at(1).toBool(), false);
    QCOMPARE(rows.size(), 0);
    // No address given: the row goes back to what the service still has.
    status.keepNetworkProtection(QStringLiteral("eth0"), false);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().at(1).toBool(), true);
    QCOMPARE(status.state(), int(ServiceStatus::Protected));
}

QTEST_GUILESS_MAIN(tst_ServiceStatus)
#include "tst_servicestatus.moc"
