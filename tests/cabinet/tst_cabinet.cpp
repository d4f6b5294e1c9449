#include "cabinettest.h"

#include "cabinet/jsoncache.h"
#include "cabinet/protecteddata.h"
#include "velmorwire/json.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Velmor;
using CabinetTest::Machine;
using CabinetTest::TestCabinet;

namespace {

// Distinctive, so that a search of the machine root finds nothing else.
const QString user = QStringLiteral("ann.velmor-test@example.org");
const QString password = QStringLiteral("Sup3r-s3cret-pa55");

} // namespace

class tst_Cabinet : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void credentialsAreStoredProtected();
    void sameCredentials_data();
    void sameCredentials();
    void emptyUserIgnoresPassword();
    void unreadableCredentials();
    void agentName_data();
    void agentName();
    void firstTurnWithoutCredentials();
    void setStateAgainLeavesTimerAlone();
    void clearKeepsServiceData();
    void heldDataAnswersQuestions();
    void sameProfileListCountsAsChange();
    void reconnectionFetchesSelectedProfileAgain();
    void selectedProfileVanishes();
    void removingLastProfileLeavesNoSelection();
    void scheduleHidesSelection_data();
    void scheduleHidesSelection();
    void activityIntervalIsClamped();
    void twoLoadsInOneTurnFetchOnce();
    void listAnswersComparedByIds();
    void equalUserFilterEmitsNothing();
    void profileDataWritesOnlyValidParts();
    void restartRestoresCachedData_data();
    void restartRestoresCachedData();
    void noSecretsInClear();

private:
    std::unique_ptr<TestCabinet> syncedCabinet();
    static QStringList methodsSince(AccountService &service, int post);

    AccountService m_service;
    std::unique_ptr<Machine> m_machine;
};

void tst_Cabinet::initTestCase()
{
    QVERIFY(m_service.start());
}

void tst_Cabinet::init()
{
    m_service.reset();
    m_service.addAccount(user, password, 2, 3);
    m_machine.reset(new Machine(m_service));
    QVERIFY(m_machine->isValid());
}

void tst_Cabinet::cleanup()
{
    m_machine.reset();
}

std::unique_ptr<TestCabinet> tst_Cabinet::syncedCabinet()
{
    return CabinetTest::syncedCabinet(*m_machine, user, password);
}

QStringList tst_Cabinet::methodsSince(AccountService &service, int post)
{
    QStringList methods;
    const QStringList bodies = service.bodies();
    for (int i = post; i < bodies.size(); ++i)
        methods += CabinetTest::methodsOf(bodies.at(i));
    return methods;
}

void tst_Cabinet::credentialsAreStoredProtected()
{
    TestCabinet cabinet;
    QVERIFY(CabinetTest::waitIdle(&cabinet));
    QSignalSpy updated(&cabinet, &Cabinet::credentialsUpdated);
    QVERIFY(cabinet.setCredentials(user, password));
    QCOMPARE(updated.count(), 1);

    const QByteArray storedUser = m_machine->setting(QStringLiteral("user")).toByteArray();
    const QByteArray storedPassword = m_machine->setting(QStringLiteral("password")).toByteArray();
    QVERIFY(storedUser.startsWith("VDP1"));
    QVERIFY(!storedUser.contains(user.toUtf8()));
    QVERIFY(!storedPassword.contains(password.toUtf8()));
    QCOMPARE(unprotectData(storedUser, true), user.toUtf8());
    QCOMPARE(unprotectData(storedPassword, false), password.toUtf8());
    QTRY_COMPARE_WITH_TIMEOUT(cabinet.state(), int(Cabinet::Connected), 15000);
    QVERIFY(CabinetTest::waitIdle(&cabinet));

    TestCabinet restarted;
    QCOMPARE(restarted.user(), user);
    QCOMPARE(restarted.password(), password);
    QVERIFY(CabinetTest::waitIdle(&restarted));
}

void tst_Cabinet::sameCredentials_data()
{
    QTest::addColumn<bool>("connected");
    QTest::newRow("while connected") << true;
    QTest::newRow("while disconnected") << false;
}

void tst_Cabinet::sameCredentials()
{
    QFETCH(bool, connected);

    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    QVERIFY(cabinet->selectProfile(102));
    m_service.patch(
        user, { { "profiles", QVariantMap { { "102", QVariantMap { { "is_schedule_enabled", true } } } } } });
    cabinet->setScheduleEnabled(102, true);
    cabinet->profileScheduleActivity(102);
    QTRY_VERIFY_WITH_TIMEOUT(cabinet->activityTimer().isActive(), 10000);
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    if (!connected)
        cabinet->setState(Cabinet::Disconnected);

    QFile store(m_machine->path(QStringLiteral("settings/Velmor/Service.ini")));
    QVERIFY(store.open(QIODevice::ReadOnly));
    const QByteArray before = store.readAll();
    store.close();
    QSignalSpy updated(cabinet.get(), &Cabinet::credentialsUpdated);
    QCOMPARE(cabinet->setCredentials(user, password), !connected);
    // The activity timer stops either way.
    QVERIFY(!cabinet->activityTimer().isActive());
    QCOMPARE(updated.count(), connected ? 0 : 1);
    QVERIFY(store.open(QIODevice::ReadOnly));
    QCOMPARE(store.readAll() == before, connected);
    if (connected)
        QCOMPARE(cabinet->selectedProfile()->id, 102u);
    else
        QTRY_COMPARE_WITH_TIMEOUT(cabinet->state(), int(Cabinet::Connected), 15000);
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
}

void tst_Cabinet::emptyUserIgnoresPassword()
{
    m_machine->setSetting(QStringLiteral("user"), QString());
    m_machine->setSetting(
        QStringLiteral("password"), protectData(password.toUtf8(), QStringLiteral("Velmor password")));
    TestCabinet cabinet;
    QCOMPARE(cabinet.user(), QString());
    QCOMPARE(cabinet.password(), QString());
    QList<unsigned int> reported;
    connect(&cabinet, &Cabinet::error, this, [&] { reported.append(cabinet.lastError().code()); });
    QTRY_COMPARE(reported, QList<unsigned int> { 30u });
    QVERIFY(CabinetTest::waitIdle(&cabinet));
}

void tst_Cabinet::unreadableCredentials()
{
    m_machine->setSetting(QStringLiteral("user"), QByteArray("VDP1 not a blob"));
    m_machine->setSetting(
        QStringLiteral("password"), protectData(password.toUtf8(), QStringLiteral("Velmor password")));
    QTest::ignoreMessage(QtCriticalMsg, "Decryption error! (The data is invalid.)");
    TestCabinet cabinet;
    QVERIFY(cabinet.user().isEmpty());
    QCOMPARE(cabinet.password(), password);
    QList<unsigned int> reported;
    connect(&cabinet, &Cabinet::error, this, [&] { reported.append(cabinet.lastError().code()); });
    QTRY_COMPARE(reported, QList<unsigned int> { 30u });
    QVERIFY(CabinetTest::waitIdle(&cabinet));
}

void tst_Cabinet::agentName_data()
{
    QTest::addColumn<QVariant>("setting");
    QTest::addColumn<QString>("name");

    QTest::newRow("absent") << QVariant() << "VelmorAgent";
    QTest::newRow("empty") << QVariant(QString("")) << "VelmorAgent";
    QTest::newRow("set") << QVariant(QString("den-pc")) << "den-pc";
    QTest::newRow("with a comma") << QVariant(QStringList { "den", "pc" }) << "den,pc";
}

void tst_Cabinet::agentName()
{
    QFETCH(QVariant, setting);
    QFETCH(QString, name);

    if (setting.isValid())
        m_machine->setSetting(QStringLiteral("dd-hostname"), setting);
    TestCabinet cabinet;
    QCOMPARE(cabinet.agentName(), name);
    QVERIFY(CabinetTest::waitIdle(&cabinet));
}

void tst_Cabinet::firstTurnWithoutCredentials()
{
    TestCabinet cabinet;
    QSignalSpy errors(&cabinet, &Cabinet::error);
    QSignalSpy systemInfo(&cabinet, &Cabinet::systemInfoChanged);
    // The next POST clears the held error again; its receivers read it when it is reported.
    QList<Error> reported;
    connect(&cabinet, &Cabinet::error, this, [&] { reported.append(cabinet.lastError()); });
    QTest::ignoreMessage(QtDebugMsg, "No pofile whith this id:0");
    QTRY_COMPARE(errors.count(), 1);
    QCOMPARE(reported.first().code(), 30u);
    QVERIFY(reported.first().message().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(systemInfo.count(), 1, 10000);
    QVERIFY(CabinetTest::waitIdle(&cabinet));
    QCOMPARE(m_service.bodies(),
        QStringList {
            R"([{"id":1,"jsonrpc":"2.0","method":"systemInfo"},{"id":2,"jsonrpc":"2.0","method":"categories"}])" });
    QVERIFY(!cabinet.reconnectTimer().isActive());
    QVERIFY(cabinet.cachedProfiles().isEmpty());
}

void tst_Cabinet::setStateAgainLeavesTimerAlone()
{
    TestCabinet cabinet;
    QVERIFY(CabinetTest::waitIdle(&cabinet));
    QSignalSpy states(&cabinet, &Cabinet::stateChanged);
    cabinet.setError(Error(31, QStringLiteral("down")));
    QCOMPARE(cabinet.reconnectTimer().interval(), 30000);
    cabinet.setState(Cabinet::Connected);
    QVERIFY(!cabinet.reconnectTimer().isActive());
    QCOMPARE(cabinet.reconnectDelay(), quint16(30));
    const int changes = states.count();
    cabinet.setError(Error(31, QStringLiteral("down")));
    cabinet.setState(Cabinet::Disconnected);
    QCOMPARE(states.count(), changes + 1);
    // A timer started while connected is not the state's business when the state does not change.
    cabinet.setState(Cabinet::Connected);
    cabinet.setError(Error(31, QStringLiteral("down")));
    QVERIFY(cabinet.reconnectTimer().isActive());
    cabinet.setState(Cabinet::Disconnected);
    QVERIFY(cabinet.reconnectTimer().isActive());
    QCOMPARE(cabinet.reconnectDelay(), quint16(60));
}

void tst_Cabinet::clearKeepsServiceData()
{
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    QSignalSpy profiles(cabinet.get(), &Cabinet::profilesChanged);
    QSignalSpy current(cabinet.get(), &Cabinet::currentProfileChanged);
    QSignalSpy info(cabinet.get(), &Cabinet::userInfoChanged);
    cabinet->clear();
    QVERIFY(cabinet->cachedProfiles().isEmpty());
    QVERIFY(cabinet->selectedProfile().isNull());
    QVERIFY(cabinet->currentProfile().isNull());
    QVERIFY(!cabinet->hasProfileData(101));
    QVERIFY(cabinet->cachedUserInfo() == CabinetUserInfo());
    QVERIFY(cabinet->cachedSystemInfo().safeSearch);
    QCOMPARE(cabinet->cachedCategories().size(), 2);
    QCOMPARE(cabinet->user(), user);
    QCOMPARE(profiles.count() + current.count() + info.count(), 0);
}

void tst_Cabinet::heldDataAnswersQuestions()
{
    {
        TestCabinet empty;
        QVERIFY(empty.aliasAddress(QStringLiteral("site-101-alias-1.example")).isNull());
        QVERIFY(!empty.isBlacklisted(QStringLiteral("site-101-black-0.example")));
        QVERIFY(!empty.filteredCategories(CabinetUserFilter()));
        QVERIFY(CabinetTest::waitIdle(&empty));
    }
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    QCOMPARE(cabinet->selectedProfile()->id, 101u);
    QCOMPARE(cabinet->currentProfile()->id, 101u);
    QCOMPARE(
        cabinet->aliasAddress(QStringLiteral("site-101-alias-1.example")), QHostAddress(QStringLiteral("10.0.0.2")));
    QVERIFY(cabinet->aliasAddress(QStringLiteral("site-102-alias-1.example")).isNull());
    QVERIFY(cabinet->isBlacklisted(QStringLiteral("site-101-black-0.example")));
    QVERIFY(!cabinet->isBlacklisted(QStringLiteral("site-101-white-0.example")));
    QVERIFY(cabinet->isWhitelisted(QStringLiteral("site-101-white-2.example")));
    CabinetUserFilter social;
    social.insert(7);
    QVERIFY(cabinet->filteredCategories(social));
    CabinetUserFilter other;
    other.insert(200);
    QVERIFY(!cabinet->filteredCategories(other));
    QCOMPARE(cabinet->cachedUserInfo().planCode, QStringLiteral("PRO"));
    QCOMPARE(cabinet->cachedSchedule(102).size(), 7);
}

void tst_Cabinet::sameProfileListCountsAsChange()
{
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    QSignalSpy profiles(cabinet.get(), &Cabinet::profilesChanged);
    QSignalSpy selection(cabinet.get(), &Cabinet::selectedProfileChanged);
    const int post = m_service.log().size();
    cabinet->connectToServer();
    QTRY_COMPARE_WITH_TIMEOUT(profiles.count(), 1, 10000);
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    QCOMPARE(selection.count(), 0);
    const QStringList methods = methodsSince(m_service, post);
    QCOMPARE(methods.count(QStringLiteral("userFilter")), 2);
    QCOMPARE(methods.count(QStringLiteral("domains")), 6);
}

void tst_Cabinet::reconnectionFetchesSelectedProfileAgain()
{
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    m_service.patch(user, { { "filters", QVariantMap { { "101", QVariantList { 9 } } } } });
    QSignalSpy filters(cabinet.get(), &Cabinet::userFilterChanged);
    cabinet->connectToServer();
    QTRY_COMPARE_WITH_TIMEOUT(filters.count(), 1, 10000);
    QCOMPARE(filters.first().first().toUInt(), 101u);
    QVERIFY(cabinet->cachedUserFilter(101).contains(9));
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
}

void tst_Cabinet::selectedProfileVanishes()
{
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    QVERIFY(cabinet->selectProfile(102));
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    m_service.patch(user, { { "profiles", QVariantMap { { "102", QVariant() } } } });
    QSignalSpy selection(cabinet.get(), &Cabinet::selectedProfileChanged);
    QTest::ignoreMessage(QtDebugMsg, "No pofile whith this id:102");
    cabinet->connectToServer();
    QTRY_COMPARE_WITH_TIMEOUT(selection.count(), 1, 10000);
    QCOMPARE(cabinet->selectedProfile()->id, 101u);
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    JsonCache store(QStringLiteral("cabinet"));
    store.setKey(user, password);
    QCOMPARE(store.get("profile").toUInt(), 101u);
    QCOMPARE(store.get("profiles").toList().size(), 1);
}

void tst_Cabinet::removingLastProfileLeavesNoSelection()
{
    m_service.addAccount(user, password, 1, 1);
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    QSignalSpy selection(cabinet.get(), &Cabinet::selectedProfileChanged);
    QTest::ignoreMessage(QtDebugMsg, "No pofile whith this id:101");
    cabinet->removeProfile(101);
    QCOMPARE(selection.count(), 1);
    QVERIFY(cabinet->selectedProfile().isNull());
    QVERIFY(cabinet->currentProfile().isNull());
    JsonCache store(QStringLiteral("cabinet"));
    store.setKey(user, password);
    QCOMPARE(store.get("profile"), QVariant(0));
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
}

void tst_Cabinet::scheduleHidesSelection_data()
{
    QTest::addColumn<quint32>("selected");
    QTest::addColumn<bool>("scheduleEnabled");
    QTest::addColumn<quint32>("current");
    QTest::addColumn<int>("currentChanges");
    QTest::addColumn<int>("activityRequests");

    QTest::newRow("hidden behind the default") << 102u << true << 101u << 2 << 1;
    QTest::newRow("the default itself") << 101u << true << 101u << 0 << 1;
    QTest::newRow("no schedule, no activity request") << 102u << false << 102u << 1 << 0;
}

void tst_Cabinet::scheduleHidesSelection()
{
    QFETCH(quint32, selected);
    QFETCH(bool, scheduleEnabled);
    QFETCH(quint32, current);
    QFETCH(int, currentChanges);
    QFETCH(int, activityRequests);

    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    const QString id = QString::number(selected);
    m_service.patch(user, { { "activity", QVariantMap { { id, QVariantList { false, 15 } } } } });
    QSignalSpy currentChanged(cabinet.get(), &Cabinet::currentProfileChanged);
    QSignalSpy activity(cabinet.get(), &Cabinet::profileActivityChanged);
    const int post = m_service.log().size();
    cabinet->setScheduleEnabled(selected, scheduleEnabled);
    cabinet->selectProfile(selected);
    // The schedule's answer for the selected profile asks whether the profile applies now.
    cabinet->loadProfileData(selected);
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    QCOMPARE(cabinet->selectedProfile()->id, selected);
    QCOMPARE(cabinet->currentProfile()->id, current);
    QCOMPARE(currentChanged.count(), currentChanges);
    QCOMPARE(activity.count(), activityRequests);
    QCOMPARE(methodsSince(m_service, post).count(QStringLiteral("profileScheduleActivity")), activityRequests);
    QCOMPARE(cabinet->activityTimer().isActive(), activityRequests > 0);
    if (activityRequests > 0)
        QCOMPARE(cabinet->activityTimer().interval(), 15 * 60000);
}

void tst_Cabinet::activityIntervalIsClamped()
{
    m_service.patch(user,
        { { "profiles", QVariantMap { { "101", QVariantMap { { "is_schedule_enabled", true } } } } },
            { "activity", QVariantMap { { "101", QVariantList { true, 100000000 } } } } });
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    QVERIFY(cabinet->activityTimer().isActive());
    QCOMPARE(cabinet->activityTimer().interval(), 35791 * 60000);
}

void tst_Cabinet::twoLoadsInOneTurnFetchOnce()
{
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    const int post = m_service.log().size();
    cabinet->loadProfileData(102);
    cabinet->loadProfileData(102);
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    QCOMPARE(methodsSince(m_service, post), QStringList({ "userFilter", "domains", "domains", "domains", "schedule" }));
    // Released after they finished, which the record's guarded pointers see.
    const Cabinet::ProfileData *record = cabinet->profileData(102);
    QVERIFY(record->filterRequest.request.isNull());
    QVERIFY(record->aliasRequest.request.isNull());
    QVERIFY(record->scheduleRequest.request.isNull());
}

void tst_Cabinet::listAnswersComparedByIds()
{
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    QVariantList alias = m_service.account(user).value("lists").toMap().value("101-alias").toList();
    QVariantMap first = alias.first().toMap();
    first.insert("ip", "10.9.9.9");
    alias[0] = first;
    m_service.patch(user, { { "lists", QVariantMap { { "101-alias", alias } } } });

    QSignalSpy changes(cabinet.get(), &Cabinet::domainsChanged);
    cabinet->connectToServer();
    QVERIFY(QTest::qWaitFor([&] { return cabinet->state() == Cabinet::Connected; }, 10000));
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    QCOMPARE(changes.count(), 0);
    QVERIFY(cabinet->aliasAddress(first.value("domain").toString()) != QHostAddress(QStringLiteral("10.9.9.9")));

    first.insert("id", 5);
    alias[0] = first;
    m_service.patch(user, { { "lists", QVariantMap { { "101-alias", alias } } } });
    cabinet->connectToServer();
    QTRY_COMPARE_WITH_TIMEOUT(changes.count(), 1, 10000);
    QCOMPARE(changes.first(), QVariantList({ 101u, int(CabinetDomain::Alias) }));
    QCOMPARE(cabinet->aliasAddress(first.value("domain").toString()), QHostAddress(QStringLiteral("10.9.9.9")));
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
}

void tst_Cabinet::equalUserFilterEmitsNothing()
{
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    QSignalSpy filters(cabinet.get(), &Cabinet::userFilterChanged);
    cabinet->userFilter(101);
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    QCOMPARE(filters.count(), 0);
}

void tst_Cabinet::profileDataWritesOnlyValidParts()
{
    JsonCache store(QStringLiteral("cabinet"));
    store.setKey(user, password);
    Cabinet::ProfileData record(5, &store);
    record.setFilterCategory(3, true);
    QVERIFY(record.userFilter.contains(3));
    QVERIFY(!store.get("filter-5").isValid());
    record.addDomain(CabinetDomain::White, CabinetDomain());
    QVERIFY(!store.get("domains-5-white").isValid());

    CabinetUserFilter received;
    received.insert(4);
    QVERIFY(record.setUserFilter(received));
    QCOMPARE(store.get("filter-5"), QVariant(QVariantList { 4 }));
    QVERIFY(!record.setUserFilter(received));
    record.setFilterCategory(0, true);
    record.setFilterCategory(256, true);
    QCOMPARE(record.userFilter, received);

    Cabinet::ProfileData loaded(5, &store);
    loaded.load();
    QCOMPARE(loaded.validLists, int(Cabinet::ProfileData::UserFilterValid));
    QCOMPARE(loaded.userFilter, received);
}

void tst_Cabinet::restartRestoresCachedData_data()
{
    QTest::addColumn<QString>("restartUser");
    QTest::addColumn<bool>("restored");

    QTest::newRow("same credentials") << user << true;
    QTest::newRow("other credentials") << QStringLiteral("bob") << false;
}

void tst_Cabinet::restartRestoresCachedData()
{
    QFETCH(QString, restartUser);
    QFETCH(bool, restored);

    {
        auto cabinet = syncedCabinet();
        QVERIFY(cabinet);
        QVERIFY(cabinet->selectProfile(102));
        QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    }
    // Nothing answers now: whatever the restarted client holds comes from its cache.
    m_service.setRefusing(true);
    m_machine->storeCredentials(restartUser, password);
    TestCabinet cabinet;
    QCOMPARE(cabinet.cachedProfiles().size(), restored ? 2 : 0);
    QCOMPARE(cabinet.cachedUserInfo().planCode, restored ? QStringLiteral("PRO") : QString());
    QCOMPARE(cabinet.hasProfileData(102), restored);
    QCOMPARE(cabinet.cachedDomains(102, CabinetDomain::Alias).size(), restored ? 3 : 0);
    QCOMPARE(cabinet.cachedUserFilter(101).size(), restored ? 2 : 0);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^cabinet request failed: ")));
    if (!restored)
        QTest::ignoreMessage(QtDebugMsg, "No pofile whith this id:0");
    QSignalSpy errors(&cabinet, &Cabinet::error);
    QTRY_VERIFY_WITH_TIMEOUT(errors.count() > 0, 10000);
    QCOMPARE(cabinet.selectedProfile().isNull(), !restored);
    if (restored)
        QCOMPARE(cabinet.selectedProfile()->id, 102u);
    QVERIFY(CabinetTest::waitIdle(&cabinet));
    m_service.setRefusing(false);
}

void tst_Cabinet::noSecretsInClear()
{
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    QVERIFY(cabinet->selectProfile(102));
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    const QString script
        = qEnvironmentVariable("VELMOR_SOURCE_DIR") + QStringLiteral("/tests/cabinet/check_no_secrets.py");
    QProcess check;
    check.setProcessChannelMode(QProcess::MergedChannels);
    check.start(QStringLiteral("/usr/bin/python3"),
        { script, m_machine->path(), m_machine->path(QStringLiteral("appdata/Velmor/velmor-warden/cabinet")), user,
            password });
    QVERIFY(check.waitForFinished(30000));
    const QByteArray output = check.readAll();
    QVERIFY2(check.exitCode() == 0, output.constData());
    QVERIFY2(output.contains("findings") && !output.startsWith("0 cache items"), output.constData());
}

QTEST_GUILESS_MAIN(tst_Cabinet)
#include "tst_cabinet.moc"
