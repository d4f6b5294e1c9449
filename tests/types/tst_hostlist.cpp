#include "velmorwire/accountdatatypes.h"
#include "velmorwire/hostlist.h"

#include <QTest>

using namespace Velmor;

class tst_HostList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void fromStringList_data();
    void fromStringList();
    void fromVariant_data();
    void fromVariant();
    void roundTrip();
    void convert_data();
    void convert();
    void shortNameKnown();
};

void tst_HostList::initTestCase()
{
    registerAccountDataTypes();
    registerHostListConverter();
}

void tst_HostList::fromStringList_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("addresses");

    QTest::newRow("address, empty, host name")
        << QStringList { "8.8.8.8", "", "dns.example" } << QStringList { "8.8.8.8" };
    QTest::newRow("order kept") << QStringList { "9.9.9.9", "1.1.1.1", "2001:db8::53" }
                                << QStringList { "9.9.9.9", "1.1.1.1", "2001:db8::53" };
    QTest::newRow("loose forms dropped") << QStringList { "127.1", "10", "0x8.8.8.8", " 8.8.8.8", "010.0.0.1",
        "1.1.1.1" } << QStringList { "1.1.1.1" };
    QTest::newRow("with port") << QStringList { "8.8.8.8:53" } << QStringList();
    QTest::newRow("empty") << QStringList() << QStringList();
}

void tst_HostList::fromStringList()
{
    QFETCH(QStringList, texts);
    QFETCH(QStringList, addresses);
    const HostList hosts = HostList::fromStringList(texts);
    QCOMPARE(hosts.toStringList(), addresses);
    for (const QHostAddress &address : hosts)
        QVERIFY(!address.isNull());
}

void tst_HostList::fromVariant_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QStringList>("addresses");

    QTest::newRow("two addresses") << QVariant(QVariantList { "8.8.8.8", "2001:db8::1" }) << true
                                   << QStringList { "8.8.8.8", "2001:db8::1" };
    QTest::newRow("empty") << QVariant(QVariantList()) << true << QStringList();
    QTest::newRow("with empty and host name")
        << QVariant(QVariantList { "8.8.8.8", "", "dns.example" }) << false << QStringList();
    QTest::newRow("short form") << QVariant(QVariantList { "8.8.8.8", "127.1" }) << false << QStringList();
    QTest::newRow("number element") << QVariant(QVariantList { 134744072 }) << false << QStringList();
    QTest::newRow("null element") << QVariant(QVariantList { QVariant() }) << false << QStringList();
    QTest::newRow("string list") << QVariant(QStringList { "8.8.8.8" }) << false << QStringList();
    QTest::newRow("single string") << QVariant("8.8.8.8") << false << QStringList();
}

void tst_HostList::fromVariant()
{
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    QFETCH(QStringList, addresses);

    HostList hosts;
    hosts.append(QHostAddress(QStringLiteral("4.4.4.4")));
    QCOMPARE(hosts.fromVariant(value), accepted);
    QCOMPARE(hosts.toStringList(), addresses);
}

void tst_HostList::roundTrip()
{
    const HostList hosts = HostList::fromStringList({ "192.0.2.53", "::1", "198.51.100.7" });
    const QVariant written = hosts.toVariant();
    QCOMPARE(written.typeId(), QMetaType::QVariantList);
    QCOMPARE(written.toList().at(0).typeId(), QMetaType::QString);
    HostList read;
    QVERIFY(read.fromVariant(written));
    QCOMPARE(read, hosts);
}

void tst_HostList::convert_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<QStringList>("addresses");

    QTest::newRow("list of addresses") << QVariant(QVariantList { "192.0.2.1", "192.0.2.2" }) << true
                                       << QStringList { "192.0.2.1", "192.0.2.2" };
    QTest::newRow("empty list") << QVariant(QVariantList()) << true << QStringList();
    QTest::newRow("string list") << QVariant(QStringList { "192.0.2.1" }) << true << QStringList { "192.0.2.1" };
    QTest::newRow("short form") << QVariant(QVariantList { "192.0.2.1", "127.1" }) << false << QStringList();
    QTest::newRow("leading blank") << QVariant(QVariantList { " 192.0.2.1" }) << false << QStringList();
    QTest::newRow("octal part") << QVariant(QStringList { "0300.0.2.1" }) << false << QStringList();
    QTest::newRow("host name") << QVariant(QStringList { "dns.example" }) << false << QStringList();
    QTest::newRow("empty text") << QVariant(QVariantList { "" }) << false << QStringList();
    QTest::newRow("IPv6") << QVariant(QVariantList { "2001:db8::1", "192.0.2.1" }) << true
                          << QStringList { "2001:db8::1", "192.0.2.1" };
    QTest::newRow("IPv6 string list") << QVariant(QStringList { "::1" }) << true << QStringList { "::1" };
    QTest::newRow("IPv6 with a scope") << QVariant(QVariantList { "fe80::1%eth0" }) << false << QStringList();
    QTest::newRow("number item") << QVariant(QVariantList { 3221225985LL }) << false << QStringList();
    QTest::newRow("nested list") << QVariant(QVariantList { QVariantList { "192.0.2.1" } }) << false << QStringList();
    QTest::newRow("null item") << QVariant(QVariantList { QVariant() }) << false << QStringList();
}

void tst_HostList::convert()
{
    QFETCH(QVariant, value);
    QFETCH(bool, converts);
    QFETCH(QStringList, addresses);

    const QMetaType target = QMetaType::fromType<HostList>();
    QVERIFY(value.canConvert(target));

    QVariant converted = value;
    QCOMPARE(converted.convert(target), converts);
    QCOMPARE(converted.metaType(), target);
    if (converts)
        QCOMPARE(converted.value<HostList>().toStringList(), addresses);

    HostList direct;
    direct.append(QHostAddress(QStringLiteral("4.4.4.4")));
    QCOMPARE(QMetaType::convert(value.metaType(), value.constData(), target, &direct), converts);
    if (converts)
        QCOMPARE(direct.toStringList(), addresses);
}

void tst_HostList::shortNameKnown()
{
    QCOMPARE(QMetaType::fromName("HostList"), QMetaType::fromType<HostList>());
    QCOMPARE(QMetaType::fromName("Velmor::HostList"), QMetaType::fromType<HostList>());
}

QTEST_APPLESS_MAIN(tst_HostList)
#include "tst_hostlist.moc"
