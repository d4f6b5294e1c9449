#include "consoletest.h"
#include "fakeservice.h"

#include "model/cabinet.h"
#include "model/serviceconnector.h"
#include "model/servicestatus.h"

#include "velmorwire/cabinetdomain.h"
#include "velmorwire/jsonrpccall.h"
#include "velmorwire/requestmanager_p.h"

#include <QSignalSpy>
#include <functional>

using Operation = std::function<void(Cabinet *)>;
Q_DECLARE_METATYPE(Operation)

class tst_DesktopCabinet : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void operations_data();
    void operations();
    void listReplies_data();
    void listReplies();
    void addDomainReply_data();
    void addDomainReply();
    void addProfileReply();
    void failedCall_data();
    void failedCall();
    void setLastError_data();
    void setLastError();
    void setDomainsOfUnknownType();
    void identificationError_data();
    void identificationError();
    void localChanges();
    void currentProfileName_data();
    void currentProfileName();
    void lostConnectionKeepsData();
    void additionTimesOut_data();
    void additionTimesOut();

private:
    Cabinet *cabinet() const { return &m_model->cabinet; }
    FakeService *service() const { return m_model->service.get(); }

    std::unique_ptr<ConsoleTest::Model> m_model;
};

void tst_DesktopCabinet::init()
{
    m_model = std::make_unique<ConsoleTest::Model>(ConsoleTest::script(QStringLiteral("protected")));
    QTRY_COMPARE(m_model->status.state(), int(ServiceStatus::Protected));
    service()->clearMessages();
}

void tst_DesktopCabinet::cleanup()
{
    m_model.reset();
}

void tst_DesktopCabinet::operations_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("params");
    QTest::addColumn<bool>("isCall");

    Velmor::CabinetSchedule week;
    week.resize(7);
    week[6].isProfileOn = false;
    const QString day = QStringLiteral("{\"is_profile_on\":true,\"time_from\":\"00:00\",\"time_to\":\"24:00\"}");
    const QString weekText
        = QStringLiteral("[5,[%1,%1,%1,%1,%1,%1,%2]]")
              .arg(day, QStringLiteral("{\"is_profile_on\":false,\"time_from\":\"00:00\",\"time_to\":\"24:00\"}"));

    QTest::newRow("categories") << Operation([](Cabinet *c) { c->categories(); }) << "categories" << QString() << true;
    QTest::newRow("userFilter") << Operation([](Cabinet *c) { c->userFilter(5); }) << "userFilter"
                                << "[5]" << true;
    QTest::newRow("domains") << Operation([](Cabinet *c) { c->domains(5, 1); }) << "domains"
                             << "[5,\"black\"]" << true;
    QTest::newRow("schedule") << Operation([](Cabinet *c) { c->schedule(4294967295u); }) << "schedule"
                              << "[4294967295]" << true;
    QTest::newRow("addProfile") << Operation([](Cabinet *c) { c->addProfile(QStringLiteral("Teens")); }) << "addProfile"
                                << "[\"Teens\"]" << true;
    QTest::newRow("addDomain white") << Operation([](Cabinet *c) {
        c->addDomain(5, 0, QStringLiteral("a.example"), QHostAddress());
    }) << "addDomain"
                                     << "[5,\"white\",\"a.example\",\"\"]" << true;
    QTest::newRow("addDomain alias") << Operation([](Cabinet *c) {
        c->addDomain(5, 2, QStringLiteral("b.example"), QHostAddress(QStringLiteral("10.0.0.1")));
    }) << "addDomain"
                                     << "[5,\"alias\",\"b.example\",\"10.0.0.1\"]" << true;
    QTest::newRow("setProfile") << Operation([](Cabinet *c) { c->setProfile(7); }) << "setProfile"
                                << "[7]" << true;
    QTest::newRow("unlockSettings") << Operation([](Cabinet *c) {
        c->unlockSettings(QStringLiteral("u"), QStringLiteral("p"));
    }) << "unlockSettings"
                                    << "[\"u\",\"p\"]" << true;
    QTest::newRow("registerUser") << Operation([](Cabinet *c) {
        c->registerUser(QStringLiteral("e@example.com"), QStringLiteral("pw"));
    }) << "registerUser"
                                  << "[\"e@example.com\",\"pw\"]" << true;
    // An empty field is an empty string on the wire, never null.
    QTest::newRow("setCredentials") << Operation([](Cabinet *c) { c->setCredentials(QStringLiteral("u"), QString()); })
                                    << "setCredentials"
                                    << "[\"u\",\"\"]" << true;
    QTest::newRow("setSchedule") << Operation([week](Cabinet *c) { c->setSchedule(5, week); }) << "setSchedule"
                                 << weekText << false;
    QTest::newRow("removeProfile") << Operation([](Cabinet *c) { c->removeProfile(3); }) << "removeProfile"
                                   << "[3]" << false;
    QTest::newRow("removeDomain") << Operation([](Cabinet *c) { c->removeDomain(5, 1, 9); }) << "removeDomain"
                                  << "[5,\"black\",9]" << false;
    QTest::newRow("clearDomains") << Operation([](Cabinet *c) { c->clearDomains(5, 2); }) << "clearDomains"
                                  << "[5,\"alias\"]" << false;
    QTest::newRow("setFilterCat") << Operation([](Cabinet *c) { c->setFilterCat(5, 12, true); }) << "setFilterCat"
                                  << "[5,12,true]" << false;
    QTest::newRow("setSafeSearchEnabled")
        << Operation([](Cabinet *c) { c->setSafeSearchEnabled(5, true); }) << "setSafeSearchEnabled"
        << "[5,true]" << false;
    QTest::newRow("setWhiteListOnly") << Operation([](Cabinet *c) { c->setWhiteListOnly(5, false); })
                                      << "setWhiteListOnly"
                                      << "[5,false]" << false;
    QTest::newRow("setScheduleEnabled") << Operation([](Cabinet *c) { c->setScheduleEnabled(5, true); })
                                        << "setScheduleEnabled"
                                        << "[5,true]" << false;
    QTest::newRow("setTokensEnabled") << Operation([](Cabinet *c) { c->setTokensEnabled(false); }) << "setTokensEnabled"
                                      << "[false]" << false;
    QTest::newRow("updateProfiles") << Operation([](Cabinet *c) { c->updateProfiles(); }) << "updateProfiles"
                                    << QString() << false;
    QTest::newRow("updateUserInfo") << Operation([](Cabinet *c) { c->updateUserInfo(); }) << "updateUserInfo"
                                    << QString() << false;
    // A list type outside the three is null, which the service refuses, not a name it would read as "white".
    QTest::newRow("clearDomains of no list") << Operation([](Cabinet *c) { c->clearDomains(5, 7); }) << "clearDomains"
                                             << "[5,null]" << false;
}

void tst_DesktopCabinet::operations()
{
    QFETCH(Operation, operation);
    QFETCH(QString, method);
    QFETCH(QString, params);
    QFETCH(bool, isCall);

    operation(cabinet());
    QTRY_COMPARE(service()->messages().size(), 1);
    const FakeService::Message message = service()->messages().first();
    QCOMPARE(message.method, method);
    QCOMPARE(message.paramsText, params);
    QCOMPARE(message.isNotification(), !isCall);
}

void tst_DesktopCabinet::listReplies_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("signal");
    QTest::newRow("white") << 0 << QByteArray(SIGNAL(whiteListUpdated(quint32)));
    QTest::newRow("black") << 1 << QByteArray(SIGNAL(blackListUpdated(quint32)));
    QTest::newRow("alias") << 2 << QByteArray(SIGNAL(aliasListUpdated(quint32)));
}

void tst_DesktopCabinet::listReplies()
{
    QFETCH(int, type);
    QFETCH(QByteArray, signal);
    service()->setAnswer(QStringLiteral("domains"),
        QVariantMap { { QStringLiteral("result"),
            QVariantList {
                QVariantMap { { QStringLiteral("id"), 11 }, { QStringLiteral("domain"), QStringLiteral("x.example") },
                    { QStringLiteral("ip"), QStringLiteral("10.1.1.1") } } } } });
    QSignalSpy updated(cabinet(), signal.constData());
    QSignalSpy errors(cabinet(), &Cabinet::error);
    cabinet()->domains(8, type);
    QTRY_COMPARE(updated.size(), 1);
    QCOMPARE(updated.first().first().toUInt(), 8u);
    const Velmor::CabinetDomains list = cabinet()->cachedDomains(8, type);
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.first().id, 11u);
    QCOMPARE(list.first().domain, QStringLiteral("x.example"));
    QCOMPARE(errors.size(), 0);
    for (int other = 0; other < 3; ++other) {
        if (other != type)
            QVERIFY(cabinet()->cachedDomains(8, other).isEmpty());
    }

    // The user filter and the categories come back the same way.
    service()->setAnswer(
        QStringLiteral("userFilter"), QVariantMap { { QStringLiteral("result"), QVariantList { 3, 7 } } });
    QSignalSpy filter(cabinet(), &Cabinet::userFilterUpdated);
    cabinet()->userFilter(8);
    QTRY_COMPARE(filter.size(), 1);
    QCOMPARE(filter.first().first().toUInt(), 8u);
    QVERIFY(cabinet()->cachedUserFilter(8).contains(7));
    service()->setAnswer(
        QStringLiteral("categories"), QVariantMap { { QStringLiteral("result"), QStringLiteral("bad") } });
    QSignalSpy categories(cabinet(), &Cabinet::categoriesUpdated);
    cabinet()->categories();
    // A reply that does not parse still replaces the catalogue, and says so.
    QTRY_COMPARE(categories.size(), 1);
    QVERIFY(cabinet()->cachedCategories().isEmpty());
}

void tst_DesktopCabinet::addDomainReply_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("stored");
    QTest::newRow("white keeps no address") << 0 << QString() << QString();
    QTest::newRow("black keeps no address") << 1 << QString() << QString();
    QTest::newRow("alias keeps the address sent") << 2 << "10.9.8.7"
                                                  << "10.9.8.7";
}

void tst_DesktopCabinet::addDomainReply()
{
    QFETCH(int, type);
    QFETCH(QString, address);
    QFETCH(QString, stored);
    service()->setAnswer(QStringLiteral("addDomain"), QVariantMap { { QStringLiteral("result"), 77 } });
    cabinet()->setDomains(4, type, Velmor::CabinetDomains());
    cabinet()->addDomain(4, type, QStringLiteral("new.example"), QHostAddress(address));
    QTRY_COMPARE(cabinet()->cachedDomains(4, type).size(), 1);
    const Velmor::CabinetDomain entry = cabinet()->cachedDomains(4, type).first();
    QCOMPARE(entry.id, 77u);
    QCOMPARE(entry.domain, QStringLiteral("new.example"));
    QCOMPARE(entry.ip.isNull(), stored.isEmpty());
    if (!stored.isEmpty())
        QCOMPARE(entry.ip.toString(), stored);
}

void tst_DesktopCabinet::addProfileReply()
{
    service()->setAnswer(QStringLiteral("addProfile"),
        QVariantMap { { QStringLiteral("result"),
            QVariantMap { { QStringLiteral("id"), 9 }, { QStringLiteral("token"), 909 },
                { QStringLiteral("name"), QStringLiteral("Teens") } } } });
    QSignalSpy changed(cabinet(), &Cabinet::profilesChanged);
    cabinet()->addProfile(QStringLiteral("Teens"));
    QTRY_COMPARE(changed.size(), 1);
    QVERIFY(cabinet()->profiles().contains(9));
    QCOMPARE(cabinet()->profiles().value(9)->name, QStringLiteral("Teens"));
    QCOMPARE(cabinet()->profiles().size(), 3);
}

void tst_DesktopCabinet::failedCall_data()
{
    QTest::addColumn<quint32>("code");
    QTest::addColumn<int>("balloons");
    QTest::newRow("31 shows in the tray") << 31u << 1;
    QTest::newRow("1051 shows in the tray") << 1051u << 1;
    QTest::newRow("30 only in the model") << 30u << 0;
}

void tst_DesktopCabinet::failedCall()
{
    QFETCH(quint32, code);
    QFETCH(int, balloons);
    service()->setAnswer(QStringLiteral("domains"),
        QVariantMap { { QStringLiteral("error"),
            QVariantMap {
                { QStringLiteral("code"), code }, { QStringLiteral("message"), QStringLiteral("down") } } } });
    QSignalSpy errors(cabinet(), &Cabinet::error);
    QSignalSpy shown(cabinet(), &Cabinet::errorOccurred);
    QSignalSpy updated(cabinet(), &Cabinet::whiteListUpdated);
    cabinet()->domains(1, 0);
    QTRY_COMPARE(errors.size(), 1);
    QCOMPARE(cabinet()->lastError().code(), code);
    QCOMPARE(cabinet()->lastError().message(), QStringLiteral("down"));
    QCOMPARE(shown.size(), balloons);
    if (balloons)
        QCOMPARE(shown.first().at(1).toString(), QStringLiteral("Error while querying info from website"));
    QCOMPARE(updated.size(), 0);
}

void tst_DesktopCabinet::setLastError_data()
{
    QTest::addColumn<quint32>("code");
    QTest::addColumn<int>("errors");
    QTest::addColumn<int>("balloons");
    QTest::newRow("0 clears silently") << 0u << 0 << 0;
    QTest::newRow("1") << 1u << 1 << 0;
    QTest::newRow("30") << 30u << 1 << 0;
    QTest::newRow("31") << 31u << 1 << 1;
    QTest::newRow("1051") << 1051u << 1 << 1;
}

void tst_DesktopCabinet::setLastError()
{
    QFETCH(quint32, code);
    QFETCH(int, errors);
    QFETCH(int, balloons);
    cabinet()->setLastError(Velmor::Error(5, QStringLiteral("earlier")));
    QSignalSpy errorSpy(cabinet(), &Cabinet::error);
    QSignalSpy shown(cabinet(), &Cabinet::errorOccurred);
    cabinet()->setLastError(Velmor::Error(code, QStringLiteral("now")));
    QCOMPARE(cabinet()->lastError().code(), code);
    QCOMPARE(cabinet()->lastError().message(), QStringLiteral("now"));
    QCOMPARE(errorSpy.size(), errors);
    QCOMPARE(shown.size(), balloons);
    if (balloons)
        QVERIFY(shown.first().at(0).toString().endsWith(QLatin1String(": now")));
}

void tst_DesktopCabinet::setDomainsOfUnknownType()
{
    QSignalSpy white(cabinet(), &Cabinet::whiteListUpdated);
    QSignalSpy black(cabinet(), &Cabinet::blackListUpdated);
    QSignalSpy alias(cabinet(), &Cabinet::aliasListUpdated);
    Velmor::CabinetDomains list;
    list.append(Velmor::CabinetDomain());
    cabinet()->setDomains(1, 3, list);
    QCOMPARE(white.size() + black.size() + alias.size(), 0);
    for (int type = 0; type < 3; ++type)
        QVERIFY(cabinet()->cachedDomains(1, type).isEmpty());
}

void tst_DesktopCabinet::identificationError_data()
{
    QTest::addColumn<quint32>("type");
    QTest::addColumn<quint32>("code");
    QTest::addColumn<bool>("tokenMode");
    QTest::addColumn<int>("errors");
    QTest::newRow("token, failed") << 1u << 31u << true << 1;
    QTest::newRow("token, no code") << 1u << 0u << true << 0;
    QTest::newRow("ip, failed") << 0u << 1051u << false << 1;
}

void tst_DesktopCabinet::identificationError()
{
    QFETCH(quint32, type);
    QFETCH(quint32, code);
    QFETCH(bool, tokenMode);
    QFETCH(int, errors);
    QSignalSpy errorSpy(cabinet(), &Cabinet::error);
    QSignalSpy identification(cabinet(), &Cabinet::identificationStateChanged);
    cabinet()->setIdentificationError(type, Velmor::Error(code, QString()));
    QVERIFY(!cabinet()->isIdentified());
    QCOMPARE(cabinet()->isTokenMode(), tokenMode);
    QCOMPARE(errorSpy.size(), errors);
    QCOMPARE(identification.size(), 0);
}

void tst_DesktopCabinet::localChanges()
{
    Velmor::CabinetDomains list;
    for (quint32 id : { 1u, 2u, 2u }) {
        Velmor::CabinetDomain entry;
        entry.id = id;
        list.append(entry);
    }
    cabinet()->setDomains(3, 1, list);
    QSignalSpy black(cabinet(), &Cabinet::blackListUpdated);
    cabinet()->removeDomain(3, 1, 2);
    QCOMPARE(cabinet()->cachedDomains(3, 1).size(), 2);
    QCOMPARE(black.size(), 0);

    // Flags change in the shared profile at once, silently; unknown profiles change nothing but are still sent.
    const QSharedPointer<Velmor::CabinetProfile> kids = cabinet()->profiles().value(2);
    QSignalSpy profiles(cabinet(), &Cabinet::profilesChanged);
    cabinet()->setSafeSearchEnabled(2, false);
    cabinet()->setWhiteListOnly(2, true);
    cabinet()->setScheduleEnabled(2, false);
    cabinet()->setSafeSearchEnabled(99, true);
    QVERIFY(!kids->safeSearchEnabled);
    QVERIFY(kids->whiteListOnly);
    QVERIFY(!kids->scheduleEnabled);
    QVERIFY(!cabinet()->profiles().contains(99));
    QCOMPARE(profiles.size(), 0);
    cabinet()->removeProfile(2);
    QTRY_COMPARE(service()->messages().size(), 6);
    QVERIFY(cabinet()->profiles().contains(2));
}

void tst_DesktopCabinet::currentProfileName_data()
{
    QTest::addColumn<quint32>("selected");
    QTest::addColumn<bool>("scheduled");
    QTest::addColumn<quint32>("activityProfile");
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("defaultFlagged");
    QTest::addColumn<QString>("name");
    QTest::newRow("unknown profile") << 9u << false << 0u << false << true << QString();
    QTest::newRow("not scheduled") << 2u << false << 2u << false << true << "Kids";
    QTest::newRow("scheduled, active") << 2u << true << 2u << true << true << "Kids";
    QTest::newRow("scheduled, out of schedule") << 2u << true << 2u << false << true << "Home";
    QTest::newRow("activity of another profile") << 2u << true << 1u << false << true << "Kids";
    QTest::newRow("out of schedule, no default") << 2u << true << 2u << false << false << QString();
}

void tst_DesktopCabinet::currentProfileName()
{
    QFETCH(quint32, selected);
    QFETCH(bool, scheduled);
    QFETCH(quint32, activityProfile);
    QFETCH(bool, active);
    QFETCH(bool, defaultFlagged);
    QFETCH(QString, name);
    Velmor::CabinetProfiles profiles;
    profiles.insert(1, QSharedPointer<Velmor::CabinetProfile>::create(1, 11, QStringLiteral("Home"), defaultFlagged));
    auto kids = QSharedPointer<Velmor::CabinetProfile>::create(2, 12, QStringLiteral("Kids"), false);
    kids->scheduleEnabled = scheduled;
    profiles.insert(2, kids);
    cabinet()->setProfiles(profiles, selected);
    cabinet()->setProfileScheduleActivity(activityProfile, active);
    QCOMPARE(cabinet()->currentProfileName(), name);
}

void tst_DesktopCabinet::lostConnectionKeepsData()
{
    QVERIFY(cabinet()->isIdentified());
    QSignalSpy identification(cabinet(), &Cabinet::identificationStateChanged);
    service()->stop();
    QTRY_COMPARE(m_model->status.state(), int(ServiceStatus::ServiceUnreachable));
    QVERIFY(!cabinet()->isIdentified());
    QCOMPARE(identification.size(), 0);
    QCOMPARE(cabinet()->profiles().size(), 2);
    QCOMPARE(cabinet()->userInfo().planCode, QStringLiteral("FREE"));
    QCOMPARE(cabinet()->selectedProfileId(), 2u);
}

namespace {

qint64 fakeNow = 0;
qint64 fakeClock()
{
    return fakeNow;
}

} // namespace

void tst_DesktopCabinet::additionTimesOut_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QString>("told");
    QTest::newRow("profile") << "addProfile" << Operation([](Cabinet *c) { c->addProfile(QStringLiteral("Guests")); })
                             << "\"Guests\" was not added: Network timeout";
    QTest::newRow("white list entry") << "addDomain" << Operation([](Cabinet *c) {
        c->addDomain(2, Velmor::CabinetDomain::White, QStringLiteral("school.example"), QHostAddress());
    }) << "\"school.example\" was not added: Network timeout";
    QTest::newRow("alias") << "addDomain" << Operation([](Cabinet *c) {
        c->addDomain(
            2, Velmor::CabinetDomain::Alias, QStringLiteral("nas.home"), QHostAddress(QStringLiteral("10.0.0.5")));
    }) << "\"nas.home\" was not added: Network timeout";
}

// The service never answers an addition: once the call gives up, the user hears that the entry is not there.
void tst_DesktopCabinet::additionTimesOut()
{
    QFETCH(QString, method);
    QFETCH(Operation, operation);
    QFETCH(QString, told);
    auto *manager = Velmor::RequestManagerPrivate::get(Velmor::RequestManager::instance());
    fakeNow = Velmor::monotonicTime();
    manager->clock = &fakeClock;
    const auto restore = qScopeGuard([manager] { manager->clock = &Velmor::monotonicTime; });
    service()->setAnswer(method, QVariantMap { { QStringLiteral("delay"), 3600000 } });
    QSignalSpy shown(cabinet(), &Cabinet::errorOccurred);
    operation(cabinet());
    QTRY_COMPARE(service()->messages(method).size(), 1);
    fakeNow += 31000;
    QMetaObject::invokeMethod(manager, "timer_timeout", Qt::DirectConnection);
    QTRY_COMPARE(shown.size(), 1);
    QCOMPARE(shown.constFirst().at(1).toString(), QStringLiteral("Service error"));
    QCOMPARE(shown.constFirst().at(0).toString(), told);
    QCOMPARE(cabinet()->lastError().code(), quint32(Velmor::Error::Timeout));
}

CONSOLE_TEST_MAIN(tst_DesktopCabinet)
#include "tst_desktopcabinet.moc"
