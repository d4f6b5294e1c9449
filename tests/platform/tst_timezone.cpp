#include "platform/timezone.h"

#include <QtTest>

class tst_TimeZone : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanupTestCase();
    void bias_data();
    void bias();
};

void tst_TimeZone::cleanupTestCase()
{
    qunsetenv("TZ");
}

void tst_TimeZone::bias_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<int>("bias");

    // The "Etc" names count the other way round: Etc/GMT-3 is three hours east of UTC.
    QTest::newRow("three hours east") << QByteArray("Etc/GMT-3") << -180;
    QTest::newRow("five hours west") << QByteArray("Etc/GMT+5") << 300;
    QTest::newRow("UTC") << QByteArray("UTC") << 0;
    QTest::newRow("half hour") << QByteArray("Asia/Kolkata") << -330;
    // Zones with daylight saving give their standard offset in summer and in winter alike.
    QTest::newRow("daylight saving east") << QByteArray("Europe/Berlin") << -60;
    QTest::newRow("daylight saving west") << QByteArray("America/New_York") << 300;
    QTest::newRow("southern summer") << QByteArray("Australia/Sydney") << -600;
}

void tst_TimeZone::bias()
{
    QFETCH(QByteArray, zone);
    QFETCH(int, bias);
    QVERIFY2(QFile::exists(QLatin1String("/usr/share/zoneinfo/") + QLatin1String(zone)), "tzdata is missing");
    qputenv("TZ", zone);
    QCOMPARE(Velmor::Platform::timeZoneBias(), bias);
}

QTEST_GUILESS_MAIN(tst_TimeZone)
#include "tst_timezone.moc"
