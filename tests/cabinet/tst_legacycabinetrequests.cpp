#include "cabinettest.h"

#include "cabinet/legacycabinetrequests.h"
#include "cabinet/legacyhttpcabinet.h"
#include "velmorwire/json.h"

#include <QHostInfo>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Velmor;
using CabinetTest::Machine;
using CabinetTest::TestCabinet;

// Takes the public address the way a caller of myIp does.
class HostInfoReceiver : public QObject
{
    Q_OBJECT

public:
    QList<QHostInfo> received;

public Q_SLOTS:
    void takeHostInfo(const QHostInfo &info) { received.append(info); }
    void takeNumber(int) { }
};

class tst_LegacyCabinetRequests : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void replies_data();
    void replies();
    void errorObjects_data();
    void errorObjects();
    void addDomainParameters();
    void notificationsChangeHeldData();
    void notificationsForUnknownProfiles();
    void profileFlags();
    void removeProfileKeepsHiddenSelection();
    void removeCurrentProfileSelectsDefault();
    void updateIP();
    void updateIPWithoutSelectionSendsNothing();
    void myIp_data();
    void myIp();
    void invalidListType();

private:
    std::unique_ptr<TestCabinet> syncedCabinet(int profiles = 2);
    // Starts the operation that sends the method and gives its request.
    CabinetRequest *start(TestCabinet *cabinet, const QString &method);
    // The request's code and message once finished.
    static bool finish(CabinetRequest *request, unsigned int *code, QString *message);
    // The JSON-RPC messages of the last POST.
    QVariantList lastMessages();

    AccountService m_service;
    std::unique_ptr<Machine> m_machine;
};

void tst_LegacyCabinetRequests::initTestCase()
{
    QVERIFY(m_service.start());
}

void tst_LegacyCabinetRequests::init()
{
    m_service.reset();
    m_machine.reset(new Machine(m_service));
    QVERIFY(m_machine->isValid());
}

void tst_LegacyCabinetRequests::cleanup()
{
    m_machine.reset();
}

std::unique_ptr<TestCabinet> tst_LegacyCabinetRequests::syncedCabinet(int profiles)
{
    m_service.addAccount(QStringLiteral("ann"), QStringLiteral("pw"), profiles, 3);
    return CabinetTest::syncedCabinet(*m_machine, QStringLiteral("ann"), QStringLiteral("pw"));
}

CabinetRequest *tst_LegacyCabinetRequests::start(TestCabinet *cabinet, const QString &method)
{
    if (method == QLatin1String("systemInfo")) {
        cabinet->systemInfo();
        return cabinet->findChild<LegacyCabinetSystemInfoRequest *>();
    }
    if (method == QLatin1String("categories")) {
        cabinet->categories();
        return cabinet->findChild<LegacyCabinetCatagoriesRequest *>();
    }
    if (method == QLatin1String("userInfo"))
        return cabinet->userInfo();
    if (method == QLatin1String("profiles"))
        return cabinet->profiles();
    if (method == QLatin1String("userFilter"))
        return cabinet->userFilter(101);
    if (method == QLatin1String("domains alias"))
        return cabinet->domains(101, CabinetDomain::Alias);
    if (method == QLatin1String("domains black"))
        return cabinet->domains(101, CabinetDomain::Black);
    if (method == QLatin1String("schedule"))
        return cabinet->schedule(101);
    if (method == QLatin1String("addProfile"))
        return cabinet->addProfile(QStringLiteral("Kids"));
    if (method == QLatin1String("profileScheduleActivity"))
        return cabinet->profileScheduleActivity(101);
    if (method == QLatin1String("addDomain"))
        return cabinet->addDomain(101, CabinetDomain::Black, QStringLiteral("new.example"), QHostAddress());
    if (method == QLatin1String("updateNic"))
        return cabinet->updateIP();
    if (method == QLatin1String("testAuth"))
        return cabinet->testAuth(QStringLiteral("ann"), QStringLiteral("pw"));
    if (method == QLatin1String("register"))
        return cabinet->registerUser(QStringLiteral("zoe"), QStringLiteral("pw"));
    return nullptr;
}

bool tst_LegacyCabinetRequests::finish(CabinetRequest *request, unsigned int *code, QString *message)
{
    if (!request)
        return false;
    QObject::connect(request, &Request::finished, request, [request, code, message] {
        *code = request->error().code();
        *message = request->error().message();
    });
    QSignalSpy finished(request, &Request::finished);
    return finished.wait(10000);
}

QVariantList tst_LegacyCabinetRequests::lastMessages()
{
    const QVariant value = Json::parse(m_service.bodies().value(m_service.bodies().size() - 1));
    return value.typeId() == QMetaType::QVariantList ? value.toList() : QVariantList { value };
}

void tst_LegacyCabinetRequests::replies_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariant>("reply");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");

    const QVariantMap entry { { "id", 5 }, { "domain", "a.example" } };
    const QVariantMap day { { "is_profile_on", true }, { "time_from", "08:00" }, { "time_to", "20:00" } };

    QTest::newRow("systemInfo: a text") << "systemInfo" << QVariant("x") << 9 << "Invalid format of SystemInfo";
    QTest::newRow("userInfo: no plan") << "userInfo" << QVariant(QVariantMap { { "tz", 1 } }) << 9
                                       << "Invalid format of UserInfo";
    QTest::newRow("profiles: no default") << "profiles"
                                          << QVariant(QVariantList { QVariantMap { { "id", 1 }, { "token", 2 },
                                                 { "name", "A" }, { "is_schedule_enabled", false } } })
                                          << 9 << "Invalid format of profiles list";
    QTest::newRow("categories: an object")
        << "categories" << QVariant(QVariantMap()) << 9 << "Invalid format of categories response";
    QTest::newRow("userFilter: category 256")
        << "userFilter" << QVariant(QVariantList { 3, 256 }) << 9 << "Invalid format of userFilter response";
    QTest::newRow("domains: alias without an address")
        << "domains alias" << QVariant(QVariantList { entry }) << 9 << "Invalid format of domains response";
    QTest::newRow("domains: black entry without an address is good")
        << "domains black" << QVariant(QVariantList { entry }) << 0 << QString();
    QTest::newRow("schedule: six days") << "schedule" << QVariant(QVariantList(6, day)) << 9
                                        << "Invalid format of schedule response";
    QTest::newRow("addProfile: no name") << "addProfile" << QVariant(QVariantMap { { "id", 5 } }) << 9
                                         << "Invalid format of addProfile response";
    QTest::newRow("activity: 5 minutes") << "profileScheduleActivity" << QVariant(QVariantList { true, 5 }) << 9
                                         << "Invalid format of profileActivity response";
    QTest::newRow("addDomain: 17") << "addDomain" << QVariant(17) << 0 << QString();
    QTest::newRow("addDomain: \"17\"") << "addDomain" << QVariant("17") << 0 << QString();
    QTest::newRow("addDomain: a word") << "addDomain" << QVariant("x") << 9 << "Invalid format of addDomain response";
    QTest::newRow("addDomain: -1") << "addDomain" << QVariant(-1) << 9 << "Invalid format of addDomain response";
    QTest::newRow("addDomain: beyond 32 bits")
        << "addDomain" << QVariant(Q_INT64_C(5000000000)) << 9 << "Invalid format of addDomain response";
    QTest::newRow("addDomain: true") << "addDomain" << QVariant(true) << 9 << "Invalid format of addDomain response";
    QTest::newRow("addDomain: 0") << "addDomain" << QVariant(0) << 9 << "Invalid format of addDomain response";
    QTest::newRow("updateNic: a number") << "updateNic" << QVariant(17) << 9 << "Invalid format of NicUpdate";
    QTest::newRow("updateNic: no address") << "updateNic" << QVariant("home") << 9 << "Invalid format of NicUpdate";
    QTest::newRow("updateNic: 127.1") << "updateNic" << QVariant("127.1") << 9 << "Invalid format of NicUpdate";
    QTest::newRow("testAuth: true") << "testAuth" << QVariant(true) << 0 << QString();
    QTest::newRow("testAuth: false") << "testAuth" << QVariant(false) << 30 << QString();
    QTest::newRow("testAuth: 1") << "testAuth" << QVariant(1) << 9 << "Invalid format of testAuth response";
    QTest::newRow("register: [true]") << "register" << QVariant(QVariantList { true }) << 0 << QString();
    QTest::newRow("register: [false]") << "register" << QVariant(QVariantList { false }) << 33 << "Without reason";
    QTest::newRow("register: [false, \"taken\"]")
        << "register" << QVariant(QVariantList { false, "taken" }) << 33 << "taken";
    QTest::newRow("register: [false, \"\"]")
        << "register" << QVariant(QVariantList { false, "" }) << 33 << "Without reason";
    QTest::newRow("register: []") << "register" << QVariant(QVariantList()) << 9
                                  << "Invalid format of register response";
    QTest::newRow("register: [\"false\"]")
        << "register" << QVariant(QVariantList { "false" }) << 9 << "Invalid format of register response";
}

void tst_LegacyCabinetRequests::replies()
{
    QFETCH(QString, method);
    QFETCH(QVariant, reply);
    QFETCH(int, code);
    QFETCH(QString, message);

    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    const QString wireMethod = method.section(QLatin1Char(' '), 0, 0);
    m_service.fault(QStringLiteral("result"), { { "method", wireMethod }, { "value", reply } });
    QSignalSpy errors(cabinet.get(), &Cabinet::error);
    CabinetRequest *request = start(cabinet.get(), method);
    unsigned int seenCode = 99;
    QString seenMessage;
    QVERIFY(finish(request, &seenCode, &seenMessage));
    QCOMPARE(int(seenCode), code);
    QCOMPARE(seenMessage, message);
    if (method == QLatin1String("addDomain") && code == 0) {
        QTRY_COMPARE(cabinet->cachedDomains(101, CabinetDomain::Black).last().id, 17u);
        QCOMPARE(cabinet->cachedDomains(101, CabinetDomain::Black).last().domain, QStringLiteral("new.example"));
    }
    // A malformed answer to one call is no failure of the link.
    QCOMPARE(cabinet->state(), int(Cabinet::Connected));
    if (method != QLatin1String("updateNic"))
        QCOMPARE(errors.count(), 0);
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
}

void tst_LegacyCabinetRequests::errorObjects_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariantMap>("error");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");

    QTest::newRow("51 for updateNic") << "updateNic" << QVariantMap { { "code", 51 }, { "message", "Too often" } }
                                      << 1051 << "Too often";
    // Raised by the link's offset the code stays negative, which the engine reports as its own text.
    QTest::newRow("-32601") << "testAuth" << QVariantMap { { "code", -32601 }, { "message", "No such method" } } << 9
                            << "Server returned JSON-RPC error ";
    QTest::newRow("a text for a code") << "testAuth" << QVariantMap { { "code", "51" }, { "message", "Bad" } } << 9
                                       << "No valid JSON-RPC response received";
}

void tst_LegacyCabinetRequests::errorObjects()
{
    QFETCH(QString, method);
    QFETCH(QVariantMap, error);
    QFETCH(int, code);
    QFETCH(QString, message);

    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    m_service.fault(QStringLiteral("error"), { { "method", method }, { "error", error } });
    QSignalSpy errors(cabinet.get(), &Cabinet::error);
    unsigned int seenCode = 99;
    QString seenMessage;
    QVERIFY(finish(start(cabinet.get(), method), &seenCode, &seenMessage));
    QCOMPARE(int(seenCode), code);
    QVERIFY2(seenMessage.startsWith(message), qPrintable(seenMessage));
    QCOMPARE(cabinet->state(), int(Cabinet::Connected));
    QVERIFY(!cabinet->reconnectTimer().isActive());
    if (method == QLatin1String("updateNic")) {
        // Only a failed "updateNic" is the cabinet's own error, and it does not stop the link.
        QCOMPARE(errors.count(), 1);
        QCOMPARE(int(cabinet->lastError().code()), code);
        QCOMPARE(cabinet->lastError().message(), message);
    } else {
        QCOMPARE(errors.count(), 0);
    }
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
}

void tst_LegacyCabinetRequests::addDomainParameters()
{
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    QSignalSpy changes(cabinet.get(), &Cabinet::domainsChanged);
    unsigned int code = 99;
    QString message;

    QVERIFY(finish(
        cabinet->addDomain(101, CabinetDomain::Black, QStringLiteral("a.example"), QHostAddress()), &code, &message));
    QCOMPARE(lastMessages().value(0).toMap().value("params").toList(), QVariantList({ 101, "black", "a.example" }));
    QVERIFY(finish(cabinet->addDomain(101, CabinetDomain::Alias, QStringLiteral("b.example"),
                       QHostAddress(QStringLiteral("10.1.2.3"))),
        &code, &message));
    QCOMPARE(lastMessages().value(0).toMap().value("params").toList(),
        QVariantList({ 101, "alias", "b.example", "10.1.2.3" }));

    QCOMPARE(changes.count(), 2);
    const CabinetDomain added = cabinet->cachedDomains(101, CabinetDomain::Alias).last();
    QCOMPARE(added.domain, QStringLiteral("b.example"));
    QCOMPARE(added.ip, QHostAddress(QStringLiteral("10.1.2.3")));
    QVERIFY(added.id > 0);
    const QVariantMap model = m_service.account(QStringLiteral("ann"));
    QCOMPARE(model.value("lists").toMap().value("101-alias").toList().last().toMap().value("id").toUInt(), added.id);
}

void tst_LegacyCabinetRequests::notificationsChangeHeldData()
{
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    QSignalSpy changes(cabinet.get(), &Cabinet::domainsChanged);
    const quint32 whiteEntry = cabinet->cachedDomains(101, CabinetDomain::White).first().id;

    // The held data changes at once, before the account service has seen anything.
    cabinet->setFilterCat(101, 3, true);
    QVERIFY(cabinet->cachedUserFilter(101).contains(3));
    // An id the filter cannot hold is never filed under its low byte.
    cabinet->setFilterCat(101, 300, true);
    QVERIFY(!cabinet->cachedUserFilter(101).contains(44));
    CabinetSchedule week;
    QVERIFY(week.fromVariant(
        QVariantList(7, QVariantMap { { "is_profile_on", false }, { "time_from", "08:00" }, { "time_to", "20:00" } })));
    cabinet->setSchedule(101, week);
    QCOMPARE(cabinet->cachedSchedule(101), week);
    cabinet->removeDomain(101, CabinetDomain::White, whiteEntry);
    QCOMPARE(cabinet->cachedDomains(101, CabinetDomain::White).size(), 2);
    cabinet->clearDomains(101, CabinetDomain::Black);
    QVERIFY(cabinet->cachedDomains(101, CabinetDomain::Black).isEmpty());
    QCOMPARE(changes.count(), 2);
    QCOMPARE(changes.at(0), QVariantList({ 101u, int(CabinetDomain::White) }));
    QCOMPARE(changes.at(1), QVariantList({ 101u, int(CabinetDomain::Black) }));

    // All five go out together as notifications, and the account service applies them.
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    QTRY_COMPARE(CabinetTest::methodsOf(m_service.bodies().last()),
        QStringList({ "setFilterCat", "setFilterCat", "setSchedule", "removeDomain", "clearDomains" }));
    for (const QVariant &message : lastMessages())
        QVERIFY(!message.toMap().contains("id"));
    const QVariantMap model = m_service.account(QStringLiteral("ann"));
    QVERIFY(model.value("filters").toMap().value("101").toList().contains(3));
    QCOMPARE(model.value("schedules").toMap().value("101"), week.toVariant());
    QVERIFY(model.value("lists").toMap().value("101-black").toList().isEmpty());
    QCOMPARE(model.value("lists").toMap().value("101-white").toList().size(), 2);
}

void tst_LegacyCabinetRequests::notificationsForUnknownProfiles()
{
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    QSignalSpy changes(cabinet.get(), &Cabinet::domainsChanged);
    cabinet->setFilterCat(999, 3, true);
    cabinet->setSchedule(999, CabinetSchedule());
    cabinet->removeDomain(999, CabinetDomain::White, 1);
    cabinet->clearDomains(999, CabinetDomain::Alias);
    cabinet->setScheduleEnabled(999, true);
    QVERIFY(!cabinet->hasProfileData(999));
    QVERIFY(!cabinet->cachedProfiles().contains(999));
    QCOMPARE(changes.count(), 0);
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    QTRY_COMPARE(CabinetTest::methodsOf(m_service.bodies().last()),
        QStringList({ "setFilterCat", "setSchedule", "removeDomain", "clearDomains", "setScheduleEnabled" }));
}

void tst_LegacyCabinetRequests::profileFlags()
{
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    cabinet->setScheduleEnabled(102, true);
    cabinet->setWhiteListOnly(102, true);
    cabinet->setSafeSearchEnabled(102, true);
    const QSharedPointer<CabinetProfile> profile = cabinet->cachedProfiles().value(102);
    QVERIFY(profile->scheduleEnabled);
    QVERIFY(profile->whiteListOnly);
    QVERIFY(profile->safeSearchEnabled);
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    QTRY_COMPARE(m_service.account(QStringLiteral("ann")).value("profiles").toList().value(1).toMap(),
        QVariantMap({ { "id", 102 }, { "token", 714 }, { "name", "Profile 2" }, { "is_schedule_enabled", true },
            { "safe_search_enabled", true }, { "white_list_only", true } }));
}

void tst_LegacyCabinetRequests::removeProfileKeepsHiddenSelection()
{
    auto cabinet = syncedCabinet(3);
    QVERIFY(cabinet);
    m_service.patch(QStringLiteral("ann"),
        { { "profiles", QVariantMap { { "102", QVariantMap { { "is_schedule_enabled", true } } } } },
            { "activity", QVariantMap { { "102", QVariantList { false, 15 } } } } });
    cabinet->setScheduleEnabled(102, true);
    QVERIFY(cabinet->selectProfile(102));
    // The schedule's answer asks for the activity, which hides the selection behind the default profile.
    QTRY_COMPARE_WITH_TIMEOUT(cabinet->currentProfile()->id, 101u, 10000);
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    QCOMPARE(cabinet->selectedProfile()->id, 102u);

    QSignalSpy profiles(cabinet.get(), &Cabinet::profilesChanged);
    QSignalSpy selection(cabinet.get(), &Cabinet::selectedProfileChanged);
    cabinet->removeProfile(103);
    QCOMPARE(profiles.count(), 1);
    QCOMPARE(selection.count(), 0);
    QCOMPARE(cabinet->selectedProfile()->id, 102u);
    QCOMPARE(cabinet->currentProfile()->id, 101u);
    QVERIFY(!cabinet->cachedProfiles().contains(103));
    QVERIFY(!cabinet->hasProfileData(103));
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
}

void tst_LegacyCabinetRequests::removeCurrentProfileSelectsDefault()
{
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    QVERIFY(cabinet->selectProfile(102));
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    QSignalSpy current(cabinet.get(), &Cabinet::currentProfileChanged);
    QTest::ignoreMessage(QtDebugMsg, "No pofile whith this id:102");
    cabinet->removeProfile(102);
    QCOMPARE(cabinet->selectedProfile()->id, 101u);
    QCOMPARE(cabinet->currentProfile()->id, 101u);
    QCOMPARE(current.count(), 1);
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    QCOMPARE(lastMessages().value(0).toMap().value("method").toString(), QStringLiteral("removeProfile"));
}

void tst_LegacyCabinetRequests::updateIP()
{
    m_machine->setSetting(QStringLiteral("dd-hostname"), QStringLiteral("den-pc"));
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    QSignalSpy changed(cabinet.get(), &Cabinet::ipChanged);
    unsigned int code = 99;
    QString message;
    QVERIFY(finish(cabinet->updateIP(), &code, &message));
    QCOMPARE(code, 0u);
    QCOMPARE(lastMessages().value(0).toMap().value("params").toList(), QVariantList({ 101, "den-pc" }));
    QCOMPARE(cabinet->ip(), QHostAddress(QStringLiteral("127.0.0.1")));
    QCOMPARE(changed.count(), 1);
    // The same address again is no change.
    QVERIFY(finish(cabinet->updateIP(), &code, &message));
    QCOMPARE(changed.count(), 1);
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
}

void tst_LegacyCabinetRequests::updateIPWithoutSelectionSendsNothing()
{
    TestCabinet cabinet;
    QSignalSpy errors(&cabinet, &Cabinet::error);
    QTRY_COMPARE(errors.count(), 1);
    QVERIFY(CabinetTest::waitIdle(&cabinet));
    const int posts = m_service.log().size();
    QVERIFY(cabinet.selectedProfile().isNull());
    QCOMPARE(cabinet.updateIP(), nullptr);
    QVERIFY(CabinetTest::isIdle(&cabinet));
    QTest::qWait(100);
    QCOMPARE(m_service.log().size(), posts);
}

void tst_LegacyCabinetRequests::myIp_data()
{
    QTest::addColumn<QVariant>("reply");
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("errorText");

    QTest::newRow("an address") << QVariant() << QByteArray(SLOT(takeHostInfo(QHostInfo))) << "127.0.0.1" << QString();
    QTest::newRow("no address") << QVariant("home") << QByteArray(SLOT(takeHostInfo(QHostInfo))) << QString()
                                << "Invalid IP format";
    QTest::newRow("a slot of another type")
        << QVariant() << QByteArray(SLOT(takeNumber(int))) << QString() << QString();
    QTest::newRow("no such slot") << QVariant() << QByteArray(SLOT(missing(QHostInfo))) << QString() << QString();
}

void tst_LegacyCabinetRequests::myIp()
{
    QFETCH(QVariant, reply);
    QFETCH(QByteArray, slot);
    QFETCH(QString, address);
    QFETCH(QString, errorText);

    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    if (reply.isValid())
        m_service.fault(QStringLiteral("result"), { { "method", "myip" }, { "value", reply } });
    const bool delivered = slot.contains("takeHostInfo");
    if (!delivered)
        QTest::ignoreMessage(QtWarningMsg, QByteArray("failed to find slot " + slot).constData());
    HostInfoReceiver receiver;
    cabinet->myIp(&receiver, slot.constData());
    auto *request = cabinet->findChild<LegacyCabinetMyIpRequest *>();
    QVERIFY(request);
    QSignalSpy finished(request, &Request::finished);
    QVERIFY(finished.wait(10000));
    if (!delivered) {
        QVERIFY(receiver.received.isEmpty());
    } else {
        QCOMPARE(receiver.received.size(), 1);
        const QHostInfo info = receiver.received.first();
        QCOMPARE(info.lookupId(), -1);
        QCOMPARE(info.error(), errorText.isEmpty() ? QHostInfo::NoError : QHostInfo::UnknownError);
        if (!errorText.isEmpty())
            QCOMPARE(info.errorString(), errorText);
        QCOMPARE(info.addresses().isEmpty() ? QString() : info.addresses().first().toString(), address);
    }
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
}

void tst_LegacyCabinetRequests::invalidListType()
{
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    const int posts = m_service.log().size();
    unsigned int code = 99;
    QString message;
    QVERIFY(finish(cabinet->domains(101, CabinetDomain::Type(7)), &code, &message));
    QCOMPARE(code, 9u);
    QCOMPARE(message, QStringLiteral("Invalid list type"));
    cabinet->clearDomains(101, CabinetDomain::Type(-1));
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    QCOMPARE(m_service.log().size(), posts);
}

QTEST_GUILESS_MAIN(tst_LegacyCabinetRequests)
#include "tst_legacycabinetrequests.moc"
