#include "consoletest.h"
#include "fakeservice.h"

#include "model/cabinet.h"
#include "model/requesthandler.h"
#include "model/servicestatus.h"

#include "velmorwire/json.h"

#include <QSignalSpy>

class tst_RequestHandler : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void slotsInServiceOrder();
    void notifications_data();
    void notifications();
    void identificationCompletesOnce();
    void unreadableIdentificationErrorLeavesConnecting();

private:
    // Pushes one notification, then a marker, and returns once the marker has arrived: everything the first
    // one caused has happened by then.
    void pushAndSettle(const QString &method, const QVariantList &params);

    std::unique_ptr<ConsoleTest::Model> m_model;
};

void tst_RequestHandler::init()
{
    m_model = std::make_unique<ConsoleTest::Model>(ConsoleTest::script(QStringLiteral("protected")));
    QTRY_COMPARE(m_model->status.state(), int(ServiceStatus::Protected));
}

void tst_RequestHandler::cleanup()
{
    m_model.reset();
}

void tst_RequestHandler::pushAndSettle(const QString &method, const QVariantList &params)
{
    QSignalSpy marker(&m_model->status, &ServiceStatus::serviceSettingsChanged);
    m_model->service->push(method, params);
    m_model->service->push(QStringLiteral("setSettings"), { QVariantMap { { QStringLiteral("marker"), true } } });
    QTRY_VERIFY(!marker.isEmpty());
}

// The link finds a slot by name and parameter count, in the order the meta-object declares them.
void tst_RequestHandler::slotsInServiceOrder()
{
    const QStringList expected = { "setSettings(QVariantMap)", "setSystemInfo(QVariant)", "setCategories(QVariant)",
        "setIdentification(quint32,QVariant)", "setIdentificationError(quint32,QVariant)",
        "setCredentials(QString,QString)", "setUserInfo(QVariantMap)", "setProfiles(QVariantList,quint32)",
        "setSelectedProfile(quint32)", "setProfileScheduleActivity(quint32,bool)", "setNetworks(QVariantMap)",
        "setSettingsLocked(bool)", "setGlobalFiltering(bool)", "setNetworkProtection(QString,bool)",
        "setUserFilter(quint32,QVariantList)", "setDomains(quint32,int,QVariantList)" };
    const QMetaObject &meta = RequestHandler::staticMetaObject;
    QStringList found;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
        found.append(QString::fromLatin1(meta.method(i).methodSignature())
                         .replace(QLatin1String("uint"), QLatin1String("quint32")));
    QCOMPARE(found, expected);
}

void tst_RequestHandler::notifications_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("params");
    QTest::addColumn<QString>("receiver");
    QTest::addColumn<QByteArray>("signal");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("check");

    const QByteArray none;
    QTest::newRow("setSystemInfo") << "setSystemInfo"
                                   << "[{\"features\":[],\"services\":{\"main\":\"192.0.2.9\"}}]"
                                   << "cabinet" << QByteArray(SIGNAL(systemInfoChanged())) << 1 << "systemInfo";
    QTest::newRow("setSystemInfo malformed") << "setSystemInfo"
                                             << "[{\"features\":5}]"
                                             << "cabinet" << QByteArray(SIGNAL(systemInfoChanged())) << 0 << QString();
    QTest::newRow("setCategories") << "setCategories"
                                   << "[[{\"items\":[{\"id\":9,\"title\":\"Games\"}],\"title\":\"Fun\"}]]"
                                   << "cabinet" << QByteArray(SIGNAL(categoriesUpdated())) << 1 << "categories";
    QTest::newRow("setCategories malformed") << "setCategories"
                                             << "[7]"
                                             << "cabinet" << QByteArray(SIGNAL(categoriesUpdated())) << 0 << QString();
    QTest::newRow("setIdentification by ip")
        << "setIdentification"
        << "[0,\"192.0.2.7\"]"
        << "cabinet" << QByteArray(SIGNAL(identificationStateChanged())) << 1 << "byIp";
    QTest::newRow("setIdentification by token")
        << "setIdentification"
        << "[1,1]"
        << "cabinet" << QByteArray(SIGNAL(identificationStateChanged())) << 1 << "byToken";
    QTest::newRow("setIdentificationError") << "setIdentificationError"
                                            << "[1,{\"code\":31,\"message\":\"down\"}]"
                                            << "cabinet" << QByteArray(SIGNAL(error())) << 1 << "identificationError";
    QTest::newRow("setCredentials") << "setCredentials"
                                    << "[\"someone\",\"pw\"]"
                                    << "cabinet" << QByteArray(SIGNAL(credentialsUpdated(QString, QString))) << 1
                                    << "credentials";
    QTest::newRow("setUserInfo") << "setUserInfo"
                                 << "[{\"features\":{},\"plan\":{\"code\":\"PRO\",\"name\":\"Pro\"},\"tz\":3}]"
                                 << "cabinet" << QByteArray(SIGNAL(userInfoChanged())) << 1 << "userInfo";
    QTest::newRow("setUserInfo malformed passes on")
        << "setUserInfo"
        << "[{\"tz\":3}]"
        << "cabinet" << QByteArray(SIGNAL(userInfoChanged())) << 1 << QString();
    QTest::newRow("setProfiles")
        << "setProfiles"
        << "[[{\"default\":true,\"id\":5,\"is_schedule_enabled\":false,\"name\":\"Only\",\"token\":55}],5]"
        << "cabinet" << QByteArray(SIGNAL(profilesChanged())) << 1 << "profiles";
    QTest::newRow("setProfiles malformed passes on")
        << "setProfiles"
        << "[[{\"id\":5}],5]"
        << "cabinet" << QByteArray(SIGNAL(profilesChanged())) << 1 << QString();
    QTest::newRow("setSelectedProfile") << "setSelectedProfile"
                                        << "[1]"
                                        << "cabinet" << QByteArray(SIGNAL(profilesChanged())) << 1 << "selected";
    QTest::newRow("setProfileScheduleActivity")
        << "setProfileScheduleActivity"
        << "[2,false]"
        << "cabinet" << QByteArray(SIGNAL(identificationStateChanged())) << 1 << "activity";
    QTest::newRow("setNetworks") << "setNetworks"
                                 << "[{\"defaultRouteId\":\"\",\"networks\":[]}]"
                                 << "status" << QByteArray(SIGNAL(networksUpdated())) << 1 << "noNetworks";
    QTest::newRow("setSettingsLocked") << "setSettingsLocked"
                                       << "[true]"
                                       << "status" << QByteArray(SIGNAL(settingsLockUpdated(bool))) << 1 << QString();
    QTest::newRow("setGlobalFiltering repeated")
        << "setGlobalFiltering"
        << "[true]"
        << "status" << QByteArray(SIGNAL(globalFilteringChanged())) << 1 << "noStateChange";
    QTest::newRow("setGlobalFiltering off")
        << "setGlobalFiltering"
        << "[false]"
        << "status" << QByteArray(SIGNAL(globalFilteringChanged())) << 1 << "filteringOff";
    QTest::newRow("setNetworkProtection")
        << "setNetworkProtection"
        << "[\"wlan0\",true]"
        << "status" << QByteArray(SIGNAL(protectionUpdated(QString, bool))) << 1 << "wlanProtected";
    QTest::newRow("setNetworkProtection unknown")
        << "setNetworkProtection"
        << "[\"nope\",true]"
        << "status" << QByteArray(SIGNAL(protectionUpdated(QString, bool))) << 0 << QString();
    QTest::newRow("setUserFilter") << "setUserFilter"
                                   << "[2,[3,4]]"
                                   << "cabinet" << QByteArray(SIGNAL(userFilterUpdated(quint32))) << 1 << "userFilter";
    QTest::newRow("setUserFilter malformed")
        << "setUserFilter"
        << "[2,[0]]"
        << "cabinet" << QByteArray(SIGNAL(userFilterUpdated(quint32))) << 0 << QString();
    QTest::newRow("setDomains") << "setDomains"
                                << "[2,1,[{\"domain\":\"x.example\",\"id\":4}]]"
                                << "cabinet" << QByteArray(SIGNAL(blackListUpdated(quint32))) << 1 << "blackList";
    QTest::newRow("setDomains type 3") << "setDomains"
                                       << "[2,3,[]]"
                                       << "cabinet" << QByteArray(SIGNAL(whiteListUpdated(quint32))) << 0 << QString();
    QTest::newRow("setDomains malformed")
        << "setDomains"
        << "[2,2,[{\"domain\":\"x\",\"id\":4}]]"
        << "cabinet" << QByteArray(SIGNAL(aliasListUpdated(quint32))) << 0 << QString();
    QTest::newRow("wrong parameter type refused")
        << "setSelectedProfile"
        << "[\"1\"]"
        << "cabinet" << QByteArray(SIGNAL(profilesChanged())) << 0 << QString();
    Q_UNUSED(none);
}

void tst_RequestHandler::notifications()
{
    QFETCH(QString, method);
    QFETCH(QString, params);
    QFETCH(QString, receiver);
    QFETCH(QByteArray, signal);
    QFETCH(int, count);
    QFETCH(QString, check);

    Cabinet *cabinet = &m_model->cabinet;
    QObject *target = receiver == QLatin1String("status") ? static_cast<QObject *>(&m_model->status) : cabinet;
    QSignalSpy spy(target, signal.constData());
    QSignalSpy states(&m_model->status, &ServiceStatus::stateChanged);
    pushAndSettle(method, Velmor::Json::parse(params).toList());
    QCOMPARE(int(spy.size()), count);

    if (check == QLatin1String("systemInfo")) {
        QCOMPARE(cabinet->systemInfo().services.value(QStringLiteral("main")).toString(), QStringLiteral("192.0.2.9"));
    } else if (check == QLatin1String("categories")) {
        QCOMPARE(cabinet->cachedCategories().first().title, QStringLiteral("Fun"));
    } else if (check == QLatin1String("byIp")) {
        QVERIFY(cabinet->isIdentified());
        QVERIFY(!cabinet->isTokenMode());
        QCOMPARE(cabinet->ipAddress(), QStringLiteral("192.0.2.7"));
    } else if (check == QLatin1String("byToken")) {
        QVERIFY(cabinet->isTokenMode());
        QCOMPARE(cabinet->selectedProfileId(), 1u);
    } else if (check == QLatin1String("identificationError")) {
        QVERIFY(!cabinet->isIdentified());
        QCOMPARE(cabinet->lastError().code(), 31u);
        QCOMPARE(m_model->status.state(), int(ServiceStatus::IdentificationFailed));
    } else if (check == QLatin1String("credentials")) {
        QCOMPARE(spy.first().at(0).toString(), QStringLiteral("someone"));
        QCOMPARE(spy.first().at(1).toString(), QStringLiteral("pw"));
    } else if (check == QLatin1String("userInfo")) {
        QCOMPARE(cabinet->userInfo().planCode, QStringLiteral("PRO"));
    } else if (check == QLatin1String("profiles")) {
        QCOMPARE(cabinet->profiles().keys(), QList<quint32> { 5 });
        QCOMPARE(cabinet->selectedProfileId(), 5u);
    } else if (check == QLatin1String("selected")) {
        QCOMPARE(cabinet->selectedProfileId(), 1u);
    } else if (check == QLatin1String("activity")) {
        QCOMPARE(cabinet->currentProfileName(), QStringLiteral("Home"));
    } else if (check == QLatin1String("noNetworks")) {
        QCOMPARE(m_model->status.state(), int(ServiceStatus::NoNetworks));
    } else if (check == QLatin1String("noStateChange")) {
        QCOMPARE(states.size(), 0);
    } else if (check == QLatin1String("filteringOff")) {
        QCOMPARE(m_model->status.state(), int(ServiceStatus::FilteringOff));
        QVERIFY(!m_model->status.isGlobalFilteringEnabled());
    } else if (check == QLatin1String("wlanProtected")) {
        QVERIFY(m_model->status.networks().networks.at(1).isProtected);
        QCOMPARE(spy.first().at(0).toString(), QStringLiteral("wlan0"));
    } else if (check == QLatin1String("userFilter")) {
        QVERIFY(cabinet->cachedUserFilter(2).contains(4));
    } else if (check == QLatin1String("blackList")) {
        QCOMPARE(cabinet->cachedDomains(2, 1).first().domain, QStringLiteral("x.example"));
    }
}

void tst_RequestHandler::identificationCompletesOnce()
{
    QSignalSpy completed(&m_model->status, &ServiceStatus::connectionComplete);
    QSignalSpy identification(&m_model->cabinet, &Cabinet::identificationStateChanged);
    pushAndSettle(QStringLiteral("setIdentification"), { 0, QStringLiteral("192.0.2.1") });
    QCOMPARE(identification.size(), 1);
    QCOMPARE(completed.size(), 0);
}

// A connection whose identification error carries a map that does not parse still completes: the status
// leaves "Connecting to service..".
void tst_RequestHandler::unreadableIdentificationErrorLeavesConnecting()
{
    m_model.reset();
    QVariantMap script = ConsoleTest::withPush(
        ConsoleTest::script(QStringLiteral("protected")), QStringLiteral("setIdentification"), QVariant());
    QVariantList push = script.value(QStringLiteral("push")).toList();
    push.append(QVariant(
        QVariantList { QStringLiteral("setIdentificationError"), QVariantList { 1, QStringLiteral("garbage") } }));
    script.insert(QStringLiteral("push"), push);
    m_model = std::make_unique<ConsoleTest::Model>(script);
    QSignalSpy completed(&m_model->status, &ServiceStatus::connectionComplete);
    QTRY_COMPARE(completed.size(), 1);
    QCOMPARE(m_model->status.state(), int(ServiceStatus::IdentificationFailed));
    QCOMPARE(m_model->status.stateText(), QStringLiteral("Identification failed!"));
}

CONSOLE_TEST_MAIN(tst_RequestHandler)
#include "tst_requesthandler.moc"
