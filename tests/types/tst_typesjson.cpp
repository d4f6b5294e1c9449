#include "typereaders.h"

#include "velmorwire/json.h"

#include <QTest>

using namespace Velmor;

// The JSON texts of the account data types, byte for byte as both links and the disk cache carry them.
class tst_TypesJson : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writtenByConstruction();
    void readAndWrittenBack_data();
    void readAndWrittenBack();
    void profileListSameTextWhateverTheHashOrder();
};

void tst_TypesJson::writtenByConstruction()
{
    QCOMPARE(Json::stringify(CabinetScheduleDay().toVariant()),
        QStringLiteral(R"({"is_profile_on":true,"time_from":"00:00","time_to":"24:00"})"));
    QCOMPARE(Json::stringify(CabinetSchedule().toVariant()), QStringLiteral("[]"));

    CabinetDomain alias;
    alias.id = 12;
    alias.domain = QStringLiteral("ads.example");
    alias.ip = QHostAddress(QStringLiteral("10.0.0.1"));
    QCOMPARE(Json::stringify(alias.toVariant()), QStringLiteral(R"({"domain":"ads.example","id":12,"ip":"10.0.0.1"})"));
    alias.ip.clear();
    QCOMPARE(Json::stringify(alias.toVariant()), QStringLiteral(R"({"domain":"ads.example","id":12})"));

    CabinetProfile profile(1, 4294967295u, QStringLiteral("Home"), false);
    profile.safeSearchEnabled = true;
    QCOMPARE(Json::stringify(profile.toVariant()),
        QStringLiteral(R"({"id":1,"is_schedule_enabled":false,"name":"Home","safe_search_enabled":true,)"
                       R"("token":4294967295})"));
    profile.isDefault = true;
    profile.whiteListOnly = true;
    QCOMPARE(Json::stringify(profile.toVariant()),
        QStringLiteral(R"({"default":true,"id":1,"is_schedule_enabled":false,"name":"Home",)"
                       R"("safe_search_enabled":true,"token":4294967295,"white_list_only":true})"));

    QCOMPARE(Json::stringify(NetworksInfo().toVariant()), QStringLiteral(R"({"defaultRouteId":null,"networks":[]})"));
    QCOMPARE(Json::stringify(CabinetSystemInfo().toVariant()),
        QStringLiteral(R"({"features":[],"services":{"public_dns":[]}})"));
    QCOMPARE(Json::stringify(CabinetCategoryGroup().toVariant()), QStringLiteral(R"({"items":[],"title":null})"));

    CabinetUserFilter filter;
    for (const quint8 id : { 200, 3, 1 })
        filter.insert(id);
    QCOMPARE(Json::stringify(filter.toVariant()), QStringLiteral("[1,3,200]"));
}

void tst_TypesJson::readAndWrittenBack_data()
{
    QTest::addColumn<QByteArray>("reader");
    QTest::addColumn<QString>("text");

    QTest::newRow("alias entry") << QByteArray("CabinetDomain/alias")
                                 << R"({"domain":"ads.example","id":12,"ip":"10.0.0.1"})";
    QTest::newRow("white list") << QByteArray("CabinetDomains/white")
                                << R"([{"domain":"a.example","id":1},{"domain":"b.example","id":2}])";
    QTest::newRow("catalogue") << QByteArray("CabinetCategories")
                               << R"([{"items":[{"description":"Papers \/ TV","id":2,"title":"News"},)"
                                  R"({"id":3,"title":"Sport"}],"title":"Media"},{"items":[],"title":"Empty"}])";
    QTest::newRow("schedule") << QByteArray("CabinetSchedule")
                              << R"([{"is_profile_on":true,"time_from":"08:00","time_to":"24:00"},)"
                                 R"({"is_profile_on":false,"time_from":"00:00","time_to":"24:00"},)"
                                 R"({"is_profile_on":true,"time_from":"07:30","time_to":"21:15"},)"
                                 R"({"is_profile_on":true,"time_from":"00:00","time_to":"24:00"},)"
                                 R"({"is_profile_on":true,"time_from":"00:00","time_to":"24:00"},)"
                                 R"({"is_profile_on":true,"time_from":"10:00","time_to":"23:59"},)"
                                 R"({"is_profile_on":false,"time_from":"00:00","time_to":"24:00"}])";
    QTest::newRow("profile list") << QByteArray("CabinetProfiles")
                                  << R"([{"id":3,"is_schedule_enabled":true,"name":"Kids",)"
                                     R"("safe_search_enabled":true,"token":77,"white_list_only":true},)"
                                     R"({"default":true,"id":8,"is_schedule_enabled":false,"name":"Home",)"
                                     R"("safe_search_enabled":false,"token":78}])";
    QTest::newRow("activity") << QByteArray("CabinetProfileActivity") << "[true,45]";
    QTest::newRow("networks") << QByteArray("NetworksInfo")
                              << R"({"defaultRouteId":"{B}","networks":[{"id":"{A}","name":"Wi-Fi","protected":false},)"
                                 R"({"id":"{B}","name":"LAN","protected":true}]})";
    QTest::newRow("host list") << QByteArray("HostList") << R"(["192.0.2.1","2001:db8::1"])";
    QTest::newRow("user info") << QByteArray("CabinetUserInfo")
                               << R"({"features":{"agent_ip_mode":true,"max_profiles":5},)"
                                  R"("plan":{"code":"FREE","name":"Free"},"tz":-3})";
    QTest::newRow("system info") << QByteArray("CabinetSystemInfo")
                                 << R"({"features":["safe_search"],)"
                                    R"("services":{"main":"192.0.2.54","public_dns":["192.0.2.53","192.0.2.55"]}})";
}

void tst_TypesJson::readAndWrittenBack()
{
    QFETCH(QByteArray, reader);
    QFETCH(QString, text);

    for (const Velmor::Test::TypeReader &candidate : Velmor::Test::typeReaders()) {
        if (reader != candidate.name)
            continue;
        QVariant written;
        QVERIFY(candidate.read(Json::parse(text), &written));
        QCOMPARE(Json::stringify(written), text);
        return;
    }
    QFAIL("no such reader");
}

void tst_TypesJson::profileListSameTextWhateverTheHashOrder()
{
    // Insertion order changes a QHash's iteration order; the text must follow the ids alone.
    QList<int> ids;
    for (int id = 1; id <= 40; ++id)
        ids.append(id * 7919 % 1000);
    auto listFor = [](const QList<int> &order) {
        QVariantList list;
        for (int id : order)
            list.append(QVariantMap { { "id", id }, { "token", id }, { "name", "P" }, { "is_schedule_enabled", false },
                { "default", id == order.first() } });
        return list;
    };
    CabinetProfiles forward;
    QVERIFY(forward.fromVariant(listFor(ids)));
    std::reverse(ids.begin(), ids.end());
    CabinetProfiles backward;
    QVERIFY(backward.fromVariant(listFor(ids)));
    backward.value(ids.first())->isDefault = false;
    backward.value(ids.last())->isDefault = true;
    QCOMPARE(Json::stringify(backward.toVariant()), Json::stringify(forward.toVariant()));
}

QTEST_APPLESS_MAIN(tst_TypesJson)
#include "tst_typesjson.moc"
