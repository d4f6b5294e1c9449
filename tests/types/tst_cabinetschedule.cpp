#include "velmorwire/cabinetschedule.h"

#include <QTest>

using namespace Velmor;

class tst_CabinetSchedule : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaultDay();
    void readDay_data();
    void readDay();
    void dayWithEmptyTimesAndNoneGiven();
    void dayEquality();
    void readSchedule_data();
    void readSchedule();
    void unreadableDayLeavesNoPartialWeek();
};

namespace {
QVariantMap day(const QVariant &on, const QVariant &from = QVariant(), const QVariant &to = QVariant())
{
    QVariantMap map;
    if (on.isValid())
        map.insert("is_profile_on", on);
    if (from.isValid())
        map.insert("time_from", from);
    if (to.isValid())
        map.insert("time_to", to);
    return map;
}
} // namespace

void tst_CabinetSchedule::defaultDay()
{
    const CabinetScheduleDay fresh;
    QVERIFY(fresh.isProfileOn);
    QCOMPARE(fresh.timeFrom, QStringLiteral("00:00"));
    QCOMPARE(fresh.timeTo, QStringLiteral("24:00"));
    const QVariantMap written = fresh.toVariant().toMap();
    QCOMPARE(written.keys(), (QStringList { "is_profile_on", "time_from", "time_to" }));
    QCOMPARE(written.value("is_profile_on").typeId(), QMetaType::Bool);
}

void tst_CabinetSchedule::readDay_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");

    QTest::newRow("only the flag") << QVariant(day(false)) << true << false << "00:00"
                                   << "24:00";
    QTest::newRow("full day") << QVariant(day(true, "07:30", "18:45")) << true << true << "07:30"
                              << "18:45";
    QTest::newRow("24:00 as start") << QVariant(day(true, "24:00", "12:00")) << true << true << "00:00"
                                    << "12:00";
    QTest::newRow("24:00 as end") << QVariant(day(true, "08:00", "24:00")) << true << true << "08:00"
                                  << "24:00";
    QTest::newRow("hour 25") << QVariant(day(true, "25:00", "25:00")) << true << true << "00:00"
                             << "24:00";
    QTest::newRow("minute 60") << QVariant(day(true, "10:60", "10:60")) << true << true << "00:00"
                               << "24:00";
    QTest::newRow("23:59") << QVariant(day(true, "23:59", "23:59")) << true << true << "23:59"
                           << "23:59";
    // Qt 4 read an hour without its leading zero; the text is kept as it came.
    QTest::newRow("hour without zero") << QVariant(day(true, "7:30", "9:05")) << true << true << "7:30"
                                       << "9:05";
    QTest::newRow("single-digit minute") << QVariant(day(true, "07:3", "09:5")) << true << true << "00:00"
                                         << "24:00";
    QTest::newRow("with seconds") << QVariant(day(true, "07:30:00")) << true << true << "00:00"
                                  << "24:00";
    QTest::newRow("blank around") << QVariant(day(true, " 07:30", "18:45 ")) << true << true << "00:00"
                                  << "24:00";
    QTest::newRow("no colon") << QVariant(day(true, "0730", "1845")) << true << true << "00:00"
                              << "24:00";
    QTest::newRow("sign") << QVariant(day(true, "+7:30", "-1:00")) << true << true << "00:00"
                          << "24:00";
    QTest::newRow("time a number") << QVariant(day(true, 730, 1845)) << true << true << "00:00"
                                   << "24:00";
    QTest::newRow("time a list") << QVariant(day(true, QVariantList { "07:30" })) << true << true << "00:00"
                                 << "24:00";
    QTest::newRow("flag a number") << QVariant(day(1)) << false << true << "00:00"
                                   << "24:00";
    QTest::newRow("flag a text") << QVariant(day("true")) << false << true << "00:00"
                                 << "24:00";
    QTest::newRow("flag missing") << QVariant(day(QVariant(), "07:30")) << false << true << "00:00"
                                  << "24:00";
    QTest::newRow("not a map") << QVariant(QVariantList { day(false) }) << false << true << "00:00"
                               << "24:00";
}

void tst_CabinetSchedule::readDay()
{
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    QFETCH(bool, on);
    QFETCH(QString, from);
    QFETCH(QString, to);

    CabinetScheduleDay read;
    QCOMPARE(read.fromVariant(value), accepted);
    QCOMPARE(read.isProfileOn, on);
    QCOMPARE(read.timeFrom, from);
    QCOMPARE(read.timeTo, to);
    if (accepted) {
        CabinetScheduleDay again;
        QVERIFY(again.fromVariant(read.toVariant()));
        QCOMPARE(again, read);
    }
}

void tst_CabinetSchedule::dayWithEmptyTimesAndNoneGiven()
{
    CabinetScheduleDay read;
    read.timeFrom.clear();
    read.timeTo.clear();
    QVERIFY(!read.fromVariant(day(true)));

    read.timeFrom.clear();
    QVERIFY(read.fromVariant(day(true, "06:00", "07:00")));
}

void tst_CabinetSchedule::dayEquality()
{
    CabinetScheduleDay a;
    CabinetScheduleDay b;
    QVERIFY(a == b);
    a.timeFrom = QStringLiteral("07:30");
    b.timeFrom = QStringLiteral("7:30");
    QVERIFY(a != b);
    b.timeFrom = a.timeFrom;
    b.isProfileOn = false;
    QVERIFY(a != b);
}

void tst_CabinetSchedule::readSchedule_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("days");

    const QVariant valid = day(true, "08:00", "20:00");
    auto week = [&](int count) { return QVariantList(count, valid); };
    QTest::newRow("seven days") << QVariant(week(7)) << true << 7;
    QTest::newRow("empty") << QVariant(QVariantList()) << true << 0;
    QTest::newRow("one day") << QVariant(week(1)) << false << 0;
    QTest::newRow("six days") << QVariant(week(6)) << false << 0;
    QTest::newRow("eight days") << QVariant(week(8)) << false << 0;
    QTest::newRow("a map") << QVariant(day(true)) << false << 0;
    QTest::newRow("a string list") << QVariant(QStringList(7, "x")) << false << 0;
    QVariantList strings(7, QVariant("08:00"));
    QTest::newRow("seven strings") << QVariant(strings) << false << 0;
}

void tst_CabinetSchedule::readSchedule()
{
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    QFETCH(int, days);

    CabinetSchedule schedule;
    schedule.append(CabinetScheduleDay());
    QCOMPARE(schedule.fromVariant(value), accepted);
    QCOMPARE(schedule.size(), days);
    if (accepted)
        QCOMPARE(schedule.toVariant(), value);
}

void tst_CabinetSchedule::unreadableDayLeavesNoPartialWeek()
{
    // Keeping Monday to Wednesday would let a later reader index a week of three days as if it were whole.
    QVariantList week(7, day(false, "09:00", "17:00"));
    week[3] = day(QVariant(), "09:00", "17:00");
    CabinetSchedule schedule;
    QVERIFY(!schedule.fromVariant(week));
    QVERIFY(schedule.isEmpty());
    QCOMPARE(schedule.toVariant(), QVariant(QVariantList()));
}

QTEST_APPLESS_MAIN(tst_CabinetSchedule)
#include "tst_cabinetschedule.moc"
