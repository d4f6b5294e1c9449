#include "velmorwire/accountdatatypes.h"
#include "velmorwire/cabinetprofile.h"

#include <QTest>

using namespace Velmor;

class tst_CabinetProfile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void constructor();
    void readProfile_data();
    void readProfile();
    void writeProfile_data();
    void writeProfile();
    void readProfileList_data();
    void readProfileList();
    void replacedDefault();
    void malformedElementKeepsEarlierProfiles();
    void profileListWrittenInIdOrder();
    void defaultProfile();
    void setEqualityIsByObject();
    void readActivity_data();
    void readActivity();
    void writeActivity();
    void metaType();
};

namespace {
QVariantMap profile(int id, const QString &name = QStringLiteral("Kids"), bool isDefault = false)
{
    QVariantMap map { { "id", id }, { "token", 1000 + id }, { "name", name }, { "is_schedule_enabled", false } };
    if (isDefault)
        map.insert("default", true);
    return map;
}

QVariantMap with(QVariantMap map, const QString &key, const QVariant &value)
{
    if (value.isValid())
        map.insert(key, value);
    else
        map.remove(key);
    return map;
}
} // namespace

void tst_CabinetProfile::constructor()
{
    const CabinetProfile made(3, 77, QStringLiteral("Work"), true);
    QCOMPARE(made.id, 3u);
    QCOMPARE(made.token, 77u);
    QCOMPARE(made.name, QStringLiteral("Work"));
    QVERIFY(made.isDefault);
    QVERIFY(!made.scheduleEnabled);
    QVERIFY(!made.whiteListOnly);
    QVERIFY(!made.safeSearchEnabled);
}

void tst_CabinetProfile::readProfile_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("flags"); // after a successful read: d(efault) s(chedule) w(hite list) x (safe search)

    const QVariantMap base = profile(5);
    QTest::newRow("minimal") << QVariant(base) << true << "";
    QTest::newRow("all flags") << QVariant(
        with(with(with(with(base, "default", true), "white_list_only", true), "safe_search_enabled", true),
            "is_schedule_enabled", true))
                               << true << "dswx";
    QTest::newRow("schedule flag missing") << QVariant(with(base, "is_schedule_enabled", QVariant())) << false << "";
    QTest::newRow("schedule flag null") << QVariant(with(base, "is_schedule_enabled", QVariant::fromValue(nullptr)))
                                        << true << "";
    QTest::newRow("schedule flag number") << QVariant(with(base, "is_schedule_enabled", 2)) << true << "s";
    QTest::newRow("default a text") << QVariant(with(base, "default", "yes")) << false << "";
    QTest::newRow("default a number") << QVariant(with(base, "default", 1)) << false << "";
    QTest::newRow("default false") << QVariant(with(base, "default", false)) << true << "";
    QTest::newRow("white list a text") << QVariant(with(base, "white_list_only", "true")) << false << "";
    QTest::newRow("id as text") << QVariant(with(base, "id", "17")) << true << "";
    QTest::newRow("id not numeric") << QVariant(with(base, "id", "x17")) << false << "";
    QTest::newRow("id missing") << QVariant(with(base, "id", QVariant())) << false << "";
    QTest::newRow("id negative") << QVariant(with(base, "id", -1)) << false << "";
    QTest::newRow("id beyond 32 bits") << QVariant(with(base, "id", 4294967296LL)) << false << "";
    QTest::newRow("id a list") << QVariant(with(base, "id", QVariantList { 5 })) << false << "";
    QTest::newRow("token missing") << QVariant(with(base, "token", QVariant())) << false << "";
    QTest::newRow("token null") << QVariant(with(base, "token", QVariant::fromValue(nullptr))) << false << "";
    QTest::newRow("token largest") << QVariant(with(base, "token", 4294967295LL)) << true << "";
    QTest::newRow("name empty") << QVariant(with(base, "name", "")) << false << "";
    QTest::newRow("name missing") << QVariant(with(base, "name", QVariant())) << false << "";
    QTest::newRow("unknown keys") << QVariant(with(with(base, "colour", "red"), "extra", QVariantList())) << true << "";
    QTest::newRow("a list") << QVariant(QVariantList { base }) << false << "";
    QVariantHash hash;
    for (auto it = base.cbegin(); it != base.cend(); ++it)
        hash.insert(it.key(), it.value());
    QTest::newRow("a hash") << QVariant(hash) << false << "";
}

void tst_CabinetProfile::readProfile()
{
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    QFETCH(QString, flags);

    CabinetProfile read;
    QCOMPARE(read.fromVariant(value), accepted);
    if (!accepted)
        return;
    QCOMPARE(read.isDefault, flags.contains('d'));
    QCOMPARE(read.scheduleEnabled, flags.contains('s'));
    QCOMPARE(read.whiteListOnly, flags.contains('w'));
    QCOMPARE(read.safeSearchEnabled, flags.contains('x'));
    CabinetProfile again;
    QVERIFY(again.fromVariant(read.toVariant()));
    QCOMPARE(again.toVariant(), read.toVariant());
}

void tst_CabinetProfile::writeProfile_data()
{
    QTest::addColumn<bool>("isDefault");
    QTest::addColumn<bool>("whiteListOnly");
    QTest::addColumn<QStringList>("keys");
    QTest::newRow("plain") << false << false
                           << QStringList { "id", "is_schedule_enabled", "name", "safe_search_enabled", "token" };
    QTest::newRow("default and white list only") << true << true
                                                 << QStringList { "default", "id", "is_schedule_enabled", "name",
                                                        "safe_search_enabled", "token", "white_list_only" };
}

void tst_CabinetProfile::writeProfile()
{
    QFETCH(bool, isDefault);
    QFETCH(bool, whiteListOnly);
    QFETCH(QStringList, keys);

    CabinetProfile written(1, 4294967295u, QStringLiteral("All"), isDefault);
    written.whiteListOnly = whiteListOnly;
    const QVariantMap map = written.toVariant().toMap();
    QCOMPARE(map.keys(), keys);
    QCOMPARE(map.value("token").typeId(), QMetaType::UInt);
    QCOMPARE(map.value("token").toUInt(), 4294967295u);
    CabinetProfile read;
    QVERIFY(read.fromVariant(map));
    QCOMPARE(read.token, 4294967295u);
}

void tst_CabinetProfile::readProfileList_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("count");

    QTest::newRow("two with a default") << QVariant(QVariantList { profile(1, "A", true), profile(2, "B") }) << true
                                        << 2;
    QTest::newRow("empty list") << QVariant(QVariantList()) << false << 0;
    QTest::newRow("no default") << QVariant(QVariantList { profile(1), profile(2) }) << false << 2;
    QTest::newRow("an object") << QVariant(profile(1, "A", true)) << false << 0;
    QTest::newRow("second without name") << QVariant(
        QVariantList { profile(1, "A", true), with(profile(2), "name", QVariant()), profile(3) })
                                         << false << 1;
}

void tst_CabinetProfile::readProfileList()
{
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    QFETCH(int, count);

    CabinetProfiles profiles;
    profiles.insert(42, QSharedPointer<CabinetProfile>::create(42, 1, QStringLiteral("old"), true));
    QCOMPARE(profiles.fromVariant(value), accepted);
    QCOMPARE(profiles.size(), count);
    QVERIFY(!profiles.contains(42));
}

void tst_CabinetProfile::replacedDefault()
{
    CabinetProfiles profiles;
    QVERIFY(profiles.fromVariant(QVariantList { profile(1, "First", true), profile(1, "Second") }));
    QCOMPARE(profiles.size(), 1);
    QCOMPARE(profiles.value(1)->name, QStringLiteral("Second"));
    QVERIFY(profiles.defaultProfile().isNull());
}

void tst_CabinetProfile::malformedElementKeepsEarlierProfiles()
{
    CabinetProfiles profiles;
    QVERIFY(!profiles.fromVariant(QVariantList { profile(1, "A", true), with(profile(2), "name", QVariant()) }));
    QCOMPARE(profiles.keys(), QList<quint32> { 1 });
}

void tst_CabinetProfile::profileListWrittenInIdOrder()
{
    // The hash's own order changes from process to process; the text must not.
    QVariantList list;
    for (int id : { 907, 3, 4000000, 15, 1, 250, 64 })
        list.append(profile(id, QString("P%1").arg(id), id == 15));
    CabinetProfiles profiles;
    QVERIFY(profiles.fromVariant(list));

    QList<uint> ids;
    for (const QVariant &element : profiles.toVariant().toList())
        ids.append(element.toMap().value("id").toUInt());
    QCOMPARE(ids, (QList<uint> { 1, 3, 15, 64, 250, 907, 4000000 }));

    CabinetProfiles again;
    QVERIFY(again.fromVariant(profiles.toVariant()));
    QCOMPARE(again.toVariant(), profiles.toVariant());
}

void tst_CabinetProfile::defaultProfile()
{
    CabinetProfiles profiles;
    QVERIFY(profiles.defaultProfile().isNull());

    QVERIFY(
        profiles.fromVariant(QVariantList { profile(9, "Nine", true), profile(4, "Four"), profile(7, "Seven", true) }));
    QCOMPARE(profiles.defaultProfile()->id, 7u);
    QCOMPARE(profiles.defaultProfile(), profiles.value(7));

    // A profile outlives the set it was read into.
    QSharedPointer<CabinetProfile> kept = profiles.defaultProfile();
    profiles = CabinetProfiles();
    QCOMPARE(kept->name, QStringLiteral("Seven"));
}

void tst_CabinetProfile::setEqualityIsByObject()
{
    const QVariantList list { profile(1, "A", true) };
    CabinetProfiles a;
    CabinetProfiles b;
    QVERIFY(a == b);
    QVERIFY(a.fromVariant(list));
    QVERIFY(b.fromVariant(list));
    QVERIFY(a != b);
    const CabinetProfiles copy = a;
    QVERIFY(copy == a);
}

void tst_CabinetProfile::readActivity_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("active");
    QTest::addColumn<int>("minutes");

    QTest::newRow("ten minutes") << QVariant(QVariantList { true, 10 }) << true << true << 10;
    QTest::newRow("nine minutes") << QVariant(QVariantList { true, 9 }) << false << false << 9;
    QTest::newRow("negative") << QVariant(QVariantList { true, -1 }) << false << false << -1;
    QTest::newRow("flag a number") << QVariant(QVariantList { 1, 30 }) << false << false << 0;
    QTest::newRow("one element") << QVariant(QVariantList { false }) << false << false << 0;
    QTest::newRow("text minutes and extra") << QVariant(QVariantList { false, "15", "x" }) << true << false << 15;
    QTest::newRow("minutes not numeric") << QVariant(QVariantList { true, "soon" }) << false << false << 0;
    QTest::newRow("minutes beyond 32 bits") << QVariant(QVariantList { true, 4294967306LL }) << false << false << 0;
    QTest::newRow("minutes with fraction rounded") << QVariant(QVariantList { true, 10.5 }) << true << true << 11;
    QTest::newRow("fraction rounded below ten") << QVariant(QVariantList { true, 9.4 }) << false << false << 9;
    QTest::newRow("fraction rounded up to ten") << QVariant(QVariantList { false, 9.5 }) << true << false << 10;
    QTest::newRow("whole double") << QVariant(QVariantList { true, 45.0 }) << true << true << 45;
    QTest::newRow("a map") << QVariant(QVariantMap { { "active", true }, { "minutes", 45 } }) << false << false << 0;
}

void tst_CabinetProfile::readActivity()
{
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    QFETCH(bool, active);
    QFETCH(int, minutes);

    CabinetProfileActivity activity;
    QCOMPARE(activity.fromVariant(value), accepted);
    QCOMPARE(activity.minutes, minutes);
    if (accepted)
        QCOMPARE(activity.active, active);
}

void tst_CabinetProfile::writeActivity()
{
    CabinetProfileActivity activity;
    activity.active = true;
    activity.minutes = 45;
    const QVariant written = activity.toVariant();
    QCOMPARE(written, QVariant(QVariantList { true, 45 }));
    QCOMPARE(written.toList().at(0).typeId(), QMetaType::Bool);
    QCOMPARE(written.toList().at(1).typeId(), QMetaType::Int);
}

void tst_CabinetProfile::metaType()
{
    const int id = registerCabinetProfilesMetaType();
    QCOMPARE(registerCabinetProfilesMetaType(), id);
    registerAccountDataTypes();
    QCOMPARE(QMetaType::fromName("CabinetProfiles").id(), id);
    QCOMPARE(QMetaType::fromName("Velmor::CabinetProfiles").id(), id);
}

QTEST_APPLESS_MAIN(tst_CabinetProfile)
#include "tst_cabinetprofile.moc"
