#include "velmorwire/accountdatatypes.h"
#include "velmorwire/cabinetsysteminfo.h"
#include "velmorwire/cabinetuserinfo.h"

#include <QTest>

using namespace Velmor;

class tst_CabinetInfo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readUserInfo_data();
    void readUserInfo();
    void rejectedUserInfoKeepsWhatItRead();
    void userInfoEquality();
    void userInfoMetaType();
    void readSystemInfo_data();
    void readSystemInfo();
    void systemInfoAddsToWhatItHolds();
    void writeSystemInfo();
};

namespace {
QVariantMap userInfo(const QVariant &tz = 3, const QVariant &features = QVariantMap { { "agent_ip_mode", true } })
{
    QVariantMap map { { "plan", QVariantMap { { "code", "FREE" }, { "name", "Free" } } } };
    if (tz.isValid())
        map.insert("tz", tz);
    if (features.isValid())
        map.insert("features", features);
    return map;
}
} // namespace

void tst_CabinetInfo::readUserInfo_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("timeZone");

    QTest::newRow("complete") << QVariant(userInfo()) << true << 3;
    QTest::newRow("negative zone") << QVariant(userInfo(-5)) << true << -5;
    QTest::newRow("zone as text") << QVariant(userInfo("5")) << true << 5;
    QTest::newRow("half-hour zone rounds") << QVariant(userInfo(5.5)) << true << 6;
    QTest::newRow("zone not a number") << QVariant(userInfo("UTC+3")) << false << 0;
    QTest::newRow("zone missing") << QVariant(userInfo(QVariant())) << false << 0;
    QTest::newRow("zone beyond 32 bits") << QVariant(userInfo(4294967299LL)) << false << 0;
    QTest::newRow("no features") << QVariant(userInfo(3, QVariant())) << false << 3;
    QTest::newRow("empty features") << QVariant(userInfo(3, QVariantMap())) << false << 3;
    QTest::newRow("features a list") << QVariant(userInfo(3, QVariantList { "agent_ip_mode" })) << false << 3;
    QVariantMap noPlan = userInfo();
    noPlan.remove("plan");
    QTest::newRow("no plan") << QVariant(noPlan) << false << 3;
    QVariantMap planText = userInfo();
    planText.insert("plan", "FREE");
    QTest::newRow("plan a text") << QVariant(planText) << false << 3;
    QVariantMap noName = userInfo();
    noName.insert("plan", QVariantMap { { "code", "PRO" } });
    QTest::newRow("plan without name") << QVariant(noName) << false << 3;
    QTest::newRow("a list") << QVariant(QVariantList { userInfo() }) << false << 0;
}

void tst_CabinetInfo::readUserInfo()
{
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    QFETCH(int, timeZone);

    CabinetUserInfo info;
    QCOMPARE(info.fromVariant(value), accepted);
    QCOMPARE(info.timeZone, timeZone);
    if (accepted) {
        QCOMPARE(info.planCode, QStringLiteral("FREE"));
        CabinetUserInfo again;
        QVERIFY(again.fromVariant(info.toVariant()));
        QCOMPARE(again, info);
        QCOMPARE(info.toVariant().toMap().keys(), (QStringList { "features", "plan", "tz" }));
    }
}

void tst_CabinetInfo::rejectedUserInfoKeepsWhatItRead()
{
    CabinetUserInfo info;
    QVERIFY(!info.fromVariant(userInfo(2, QVariantMap())));
    QCOMPARE(info.timeZone, 2);
    QCOMPARE(info.planCode, QStringLiteral("FREE"));
    QCOMPARE(info.planName, QStringLiteral("Free"));
}

void tst_CabinetInfo::userInfoEquality()
{
    CabinetUserInfo a;
    QVERIFY(a.fromVariant(userInfo(3, QVariantMap { { "white_list_size", 100 }, { "agent_ip_mode", true } })));
    CabinetUserInfo b = a;
    QVERIFY(a == b);
    b.features.insert("white_list_size", 200);
    QVERIFY(a != b);
    b = a;
    b.planName = QStringLiteral("Free plan");
    QVERIFY(a != b);
    QVERIFY(CabinetUserInfo() == CabinetUserInfo());
}

void tst_CabinetInfo::userInfoMetaType()
{
    const int id = registerCabinetUserInfoMetaType();
    QCOMPARE(registerCabinetUserInfoMetaType(), id);
    registerAccountDataTypes();
    QCOMPARE(QMetaType::fromName("CabinetUserInfo").id(), id);
    QCOMPARE(QMetaType::fromName("Velmor::CabinetUserInfo").id(), id);
}

void tst_CabinetInfo::readSystemInfo_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("safeSearch");
    QTest::addColumn<QStringList>("publicDns");
    QTest::addColumn<QStringList>("services"); // "name=address", sorted

    QTest::newRow("empty") << QVariant(QVariantMap { { "features", QVariantList() }, { "services", QVariantMap() } })
                           << true << false << QStringList() << QStringList();
    QTest::newRow("safe search among others") << QVariant(
        QVariantMap { { "features", QVariantList { "beta", "safe_search" } }, { "services", QVariantMap() } })
                                              << true << true << QStringList() << QStringList();
    QTest::newRow("one public address as text") << QVariant(
        QVariantMap { { "features", QVariantList() }, { "services", QVariantMap { { "public_dns", "192.0.2.10" } } } })
                                                << true << false << QStringList { "192.0.2.10" } << QStringList();
    QTest::newRow("public list and a named service") << QVariant(QVariantMap { { "features", QVariantList() },
        { "services",
            QVariantMap {
                { "public_dns", QVariantList { "192.0.2.10", "192.0.2.11" } }, { "resolver", "198.51.100.1" } } } })
                                                     << true << false << QStringList { "192.0.2.10", "192.0.2.11" }
                                                     << QStringList { "resolver=198.51.100.1" };
    QTest::newRow("unparsable kept as null") << QVariant(QVariantMap { { "features", QVariantList() },
        { "services", QVariantMap { { "public_dns", QVariantList { "127.1" } }, { "resolver", "x" } } } })
                                             << true << false << QStringList { "" } << QStringList { "resolver=" };
    QTest::newRow("features a text") << QVariant(
        QVariantMap { { "features", "safe_search" }, { "services", QVariantMap() } })
                                     << false << false << QStringList() << QStringList();
    QTest::newRow("features missing") << QVariant(QVariantMap { { "services", QVariantMap() } }) << false << false
                                      << QStringList() << QStringList();
    QTest::newRow("services a list") << QVariant(
        QVariantMap { { "features", QVariantList() }, { "services", QVariantList() } })
                                     << false << false << QStringList() << QStringList();
    QTest::newRow("a list") << QVariant(QVariantList()) << false << false << QStringList() << QStringList();
}

void tst_CabinetInfo::readSystemInfo()
{
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    QFETCH(bool, safeSearch);
    QFETCH(QStringList, publicDns);
    QFETCH(QStringList, services);

    CabinetSystemInfo info;
    QCOMPARE(info.fromVariant(value), accepted);
    QCOMPARE(info.safeSearch, safeSearch);
    QStringList publicTexts;
    for (const QHostAddress &address : std::as_const(info.publicDns))
        publicTexts.append(address.toString());
    QCOMPARE(publicTexts, publicDns);
    QStringList serviceTexts;
    for (auto it = info.services.cbegin(); it != info.services.cend(); ++it)
        serviceTexts.append(it.key() + '=' + it.value().toString());
    serviceTexts.sort();
    QCOMPARE(serviceTexts, services);

    if (accepted) {
        CabinetSystemInfo again;
        QVERIFY(again.fromVariant(info.toVariant()));
        QCOMPARE(again.toVariant(), info.toVariant());
    }
}

void tst_CabinetInfo::systemInfoAddsToWhatItHolds()
{
    CabinetSystemInfo info;
    info.safeSearch = true;
    info.publicDns.append(QHostAddress(QStringLiteral("192.0.2.1")));
    info.services.insert(QStringLiteral("resolver"), QHostAddress(QStringLiteral("192.0.2.2")));
    QVERIFY(info.fromVariant(QVariantMap { { "features", QVariantList() },
        { "services", QVariantMap { { "public_dns", "192.0.2.3" }, { "resolver", "192.0.2.4" } } } }));
    QVERIFY(info.safeSearch);
    QCOMPARE(info.publicDns.size(), 2);
    QCOMPARE(info.services.value("resolver"), QHostAddress(QStringLiteral("192.0.2.4")));
}

void tst_CabinetInfo::writeSystemInfo()
{
    CabinetSystemInfo info;
    QVariantMap map = info.toVariant().toMap();
    QCOMPARE(map.keys(), (QStringList { "features", "services" }));
    QCOMPARE(map.value("features").toStringList(), QStringList());
    QCOMPARE(map.value("services").toMap(), (QVariantMap { { "public_dns", QVariantList() } }));

    info.safeSearch = true;
    info.services.insert(QStringLiteral("resolver"), QHostAddress(QStringLiteral("198.51.100.1")));
    map = info.toVariant().toMap();
    QCOMPARE(map.value("features").toStringList(), QStringList { "safe_search" });
    QCOMPARE(map.value("services").toMap().value("resolver").toString(), QStringLiteral("198.51.100.1"));
}

QTEST_APPLESS_MAIN(tst_CabinetInfo)
#include "tst_cabinetinfo.moc"
