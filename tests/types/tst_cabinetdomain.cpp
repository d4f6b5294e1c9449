#include "velmorwire/cabinetdomain.h"

#include <QTest>

#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>

using namespace Velmor;

namespace {

// What the objects made with new hold now, in usable bytes: an account's lists hold tens of thousands of entries,
// and whatever each entry allocates for itself is multiplied by as many.
std::atomic<qint64> objectBytes { 0 };

} // namespace

void *operator new(std::size_t size)
{
    void *block = std::malloc(size ? size : 1);
    if (!block)
        throw std::bad_alloc();
    objectBytes += qint64(malloc_usable_size(block));
    return block;
}

void operator delete(void *block) noexcept
{
    if (!block)
        return;
    objectBytes -= qint64(malloc_usable_size(block));
    std::free(block);
}

void operator delete(void *block, std::size_t) noexcept
{
    operator delete(block);
}

class tst_CabinetDomain : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void listTypeFromString_data();
    void listTypeFromString();
    void listTypeToString();
    void readEntry_data();
    void readEntry();
    void rejectedEntryKeepsWhatItRead();
    void writeEntry_data();
    void writeEntry();
    void readList_data();
    void readList();
    void heldListOwnsNothingOfTheAnswer_data();
    void heldListOwnsNothingOfTheAnswer();
    void listEquality_data();
    void listEquality();
    void removeDomain();
    void findDomain();
};

void tst_CabinetDomain::listTypeFromString_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type");
    QTest::newRow("white") << "white" << 0;
    QTest::newRow("black") << "black" << 1;
    QTest::newRow("alias") << "alias" << 2;
    QTest::newRow("capital B") << "Black" << 0;
    QTest::newRow("leading blank") << " black" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("null") << QString() << 0;
    QTest::newRow("other") << "grey" << 0;
}

void tst_CabinetDomain::listTypeFromString()
{
    QFETCH(QString, name);
    QFETCH(int, type);
    QCOMPARE(int(CabinetDomain::listTypeFromString(name)), type);
}

void tst_CabinetDomain::listTypeToString()
{
    QCOMPARE(CabinetDomain::listTypeToString(CabinetDomain::White), "white");
    QCOMPARE(CabinetDomain::listTypeToString(CabinetDomain::Black), "black");
    QCOMPARE(CabinetDomain::listTypeToString(CabinetDomain::Alias), "alias");
    QCOMPARE(CabinetDomain::listTypeToString(CabinetDomain::Type(3)), nullptr);
    QVERIFY(QString::fromLatin1(CabinetDomain::listTypeToString(CabinetDomain::Type(3))).isNull());
}

void tst_CabinetDomain::readEntry_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<uint>("id");
    QTest::addColumn<QString>("ip");

    const QVariantMap plain { { "id", 4 }, { "domain", "example.org" } };
    QVariantMap withIp = plain;
    withIp.insert("ip", "10.1.2.3");
    QVariantMap badIp = plain;
    badIp.insert("ip", "not an address");
    QVariantMap looseIp = plain;
    looseIp.insert("ip", "127.1");
    QVariantMap ipv6 = plain;
    ipv6.insert("ip", "2001:db8::7");

    QTest::newRow("white without ip") << QVariant(plain) << 0 << true << 4u << "";
    QTest::newRow("black without ip") << QVariant(plain) << 1 << true << 4u << "";
    QTest::newRow("alias without ip") << QVariant(plain) << 2 << false << 4u << "";
    QTest::newRow("alias with ip") << QVariant(withIp) << 2 << true << 4u << "10.1.2.3";
    QTest::newRow("alias with IPv6") << QVariant(ipv6) << 2 << true << 4u << "2001:db8::7";
    QTest::newRow("alias with bad ip") << QVariant(badIp) << 2 << false << 4u << "";
    QTest::newRow("alias with short IPv4 form") << QVariant(looseIp) << 2 << false << 4u << "";
    QTest::newRow("white keeps its ip") << QVariant(withIp) << 0 << true << 4u << "10.1.2.3";
    QTest::newRow("white with bad ip") << QVariant(badIp) << 0 << true << 4u << "";
    QTest::newRow("id as text") << QVariant(QVariantMap { { "id", "7" }, { "domain", "a.example" } }) << 0 << true << 7u
                                << "";
    QTest::newRow("id as whole double") << QVariant(QVariantMap { { "id", 7.0 }, { "domain", "a.example" } }) << 0
                                        << true << 7u << "";
    QTest::newRow("id zero") << QVariant(QVariantMap { { "id", 0 }, { "domain", "a.example" } }) << 0 << false << 0u
                             << "";
    QTest::newRow("id missing") << QVariant(QVariantMap { { "domain", "a.example" } }) << 0 << false << 0u << "";
    QTest::newRow("id not numeric") << QVariant(QVariantMap { { "id", "seven" }, { "domain", "a.example" } }) << 0
                                    << false << 0u << "";
    // QVariant::toUInt would wrap these to 705032704 and 4294967295; a wrong id would delete the wrong entry.
    QTest::newRow("id beyond 32 bits") << QVariant(QVariantMap { { "id", 5000000000LL }, { "domain", "a.example" } })
                                       << 0 << false << 0u << "";
    QTest::newRow("id negative") << QVariant(QVariantMap { { "id", -1 }, { "domain", "a.example" } }) << 0 << false
                                 << 0u << "";
    QTest::newRow("id with fraction") << QVariant(QVariantMap { { "id", 5.7 }, { "domain", "a.example" } }) << 0
                                      << false << 0u << "";
    QTest::newRow("domain empty") << QVariant(QVariantMap { { "id", 3 }, { "domain", "" } }) << 0 << false << 3u << "";
    QTest::newRow("domain missing") << QVariant(QVariantMap { { "id", 3 } }) << 1 << false << 3u << "";
    QTest::newRow("list") << QVariant(QVariantList { plain }) << 0 << false << 0u << "";
    QTest::newRow("string") << QVariant("example.org") << 0 << false << 0u << "";
    QTest::newRow("invalid") << QVariant() << 0 << false << 0u << "";
}

void tst_CabinetDomain::readEntry()
{
    QFETCH(QVariant, value);
    QFETCH(int, type);
    QFETCH(bool, accepted);
    QFETCH(uint, id);
    QFETCH(QString, ip);

    CabinetDomain entry;
    QCOMPARE(entry.fromVariant(value, CabinetDomain::Type(type)), accepted);
    QCOMPARE(entry.id, id);
    QCOMPARE(entry.ip.isNull() ? QString() : entry.ip.toString(), ip);
    if (accepted) {
        QCOMPARE(entry.domain, value.toMap().value("domain").toString());
        CabinetDomain again;
        QVERIFY(again.fromVariant(entry.toVariant(), CabinetDomain::Type(type)));
        QCOMPARE(again.toVariant(), entry.toVariant());
    }
}

void tst_CabinetDomain::rejectedEntryKeepsWhatItRead()
{
    CabinetDomain entry;
    QVERIFY(!entry.fromVariant(QVariantMap { { "id", 9 }, { "domain", "x.example" } }, CabinetDomain::Alias));
    QCOMPARE(entry.id, 9u);
    QCOMPARE(entry.domain, QStringLiteral("x.example"));

    CabinetDomain untouched;
    untouched.id = 5;
    QVERIFY(!untouched.fromVariant(QVariantList(), CabinetDomain::White));
    QCOMPARE(untouched.id, 5u);
}

void tst_CabinetDomain::writeEntry_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QStringList>("keys");
    QTest::newRow("no address") << QString() << QStringList { "domain", "id" };
    QTest::newRow("alias") << "192.0.2.1" << QStringList { "domain", "id", "ip" };
}

void tst_CabinetDomain::writeEntry()
{
    QFETCH(QString, ip);
    QFETCH(QStringList, keys);

    CabinetDomain entry;
    entry.id = 4000000000u;
    entry.domain = QStringLiteral("Mixed.Case.example");
    entry.ip = QHostAddress(ip);
    const QVariant written = entry.toVariant();
    QCOMPARE(written.typeId(), QMetaType::QVariantMap);
    const QVariantMap map = written.toMap();
    QCOMPARE(map.keys(), keys);
    QCOMPARE(map.value("id").typeId(), QMetaType::UInt);
    QCOMPARE(map.value("id").toUInt(), 4000000000u);
    QCOMPARE(map.value("domain").toString(), entry.domain);
    if (!ip.isEmpty())
        QCOMPARE(map.value("ip").toString(), ip);
}

void tst_CabinetDomain::readList_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QList<uint>>("ids");

    auto entry = [](int id) {
        return QVariant(QVariantMap { { "id", id }, { "domain", QString("d%1.example").arg(id) } });
    };
    QTest::newRow("empty array") << QVariant(QVariantList()) << true << QList<uint>();
    QTest::newRow("three entries") << QVariant(QVariantList { entry(1), entry(2), entry(3) }) << true
                                   << QList<uint> { 1, 2, 3 };
    QTest::newRow("duplicates kept") << QVariant(QVariantList { entry(2), entry(2) }) << true << QList<uint> { 2, 2 };
    QTest::newRow("third invalid") << QVariant(QVariantList { entry(1), entry(2), entry(0), entry(4) }) << false
                                   << QList<uint>();
    QTest::newRow("map") << QVariant(entry(1)) << false << QList<uint>();
    QTest::newRow("string list") << QVariant(QStringList { "a" }) << false << QList<uint>();
}

void tst_CabinetDomain::readList()
{
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    QFETCH(QList<uint>, ids);

    CabinetDomains list;
    list.append(CabinetDomain());
    list.last().id = 99;
    QCOMPARE(list.fromVariant(value, CabinetDomain::White), accepted);
    QList<uint> read;
    for (const CabinetDomain &entry : list)
        read.append(entry.id);
    QCOMPARE(read, ids);
    if (accepted)
        QCOMPARE(list.toVariant(), value);
}

void tst_CabinetDomain::heldListOwnsNothingOfTheAnswer_data()
{
    QTest::addColumn<QVariant>("ip");
    QTest::newRow("no address") << QVariant();
    QTest::newRow("empty address") << QVariant(QString());
    QTest::newRow("unreadable address") << QVariant(QStringLiteral("not-an-address"));
}

// Entries without an address hold no address object, and no entry keeps the parsed answer's text alive.
void tst_CabinetDomain::heldListOwnsNothingOfTheAnswer()
{
    QFETCH(QVariant, ip);
    const int count = 2000;
    QVariantList answer;
    for (int i = 1; i <= count; ++i) {
        QVariantMap entry { { "id", i }, { "domain", QStringLiteral("site-%1.example").arg(i) } };
        if (ip.isValid())
            entry.insert("ip", ip);
        answer.append(entry);
    }
    const QVariant value(answer);
    const qint64 before = objectBytes;
    CabinetDomains list;
    QVERIFY(list.fromVariant(value, CabinetDomain::White));
    QCOMPARE(list.size(), count);
    QVERIFY(list.last().ip.isNull());
    // Less than a byte per entry: a null QHostAddress alone allocates its private part.
    QVERIFY2(objectBytes - before < count, qPrintable(QString::number(objectBytes - before)));
    const QString parsed = answer.last().toMap().value("domain").toString();
    QCOMPARE(list.last().domain, parsed);
    QVERIFY(list.last().domain.constData() != parsed.constData());
}

void tst_CabinetDomain::listEquality_data()
{
    QTest::addColumn<QStringList>("left"); // "id:domain"
    QTest::addColumn<QStringList>("right");
    QTest::addColumn<bool>("equal");
    QTest::newRow("same id, other name") << QStringList { "1:a.example" } << QStringList { "1:b.example" } << true;
    QTest::newRow("same ids, other order") << QStringList { "1:a", "2:b" } << QStringList { "2:b", "1:a" } << false;
    QTest::newRow("different length") << QStringList { "1:a" } << QStringList { "1:a", "1:a" } << false;
    QTest::newRow("both empty") << QStringList() << QStringList() << true;
}

void tst_CabinetDomain::listEquality()
{
    QFETCH(QStringList, left);
    QFETCH(QStringList, right);
    QFETCH(bool, equal);

    auto make = [](const QStringList &items) {
        CabinetDomains list;
        for (const QString &item : items) {
            CabinetDomain entry;
            entry.id = item.section(':', 0, 0).toUInt();
            entry.domain = item.section(':', 1);
            list.append(entry);
        }
        return list;
    };
    QCOMPARE(make(left) == make(right), equal);
    QCOMPARE(make(left) != make(right), !equal);
}

void tst_CabinetDomain::removeDomain()
{
    CabinetDomains list;
    QVERIFY(!list.removeDomain(1));

    for (const char *name : { "a", "b", "c" }) {
        CabinetDomain entry;
        entry.id = QByteArray(name) == "b" ? 2 : 1;
        entry.domain = QString::fromLatin1(name);
        list.append(entry);
    }
    QVERIFY(list.removeDomain(1));
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0).domain, QStringLiteral("b"));
    QCOMPARE(list.at(1).domain, QStringLiteral("c"));
    QVERIFY(!list.removeDomain(7));
    QCOMPARE(list.size(), 2);
}

void tst_CabinetDomain::findDomain()
{
    CabinetDomains list;
    QVERIFY(
        list.fromVariant(QVariantList { QVariantMap { { "id", 1 }, { "domain", "Ads.example" }, { "ip", "10.0.0.1" } },
                             QVariantMap { { "id", 2 }, { "domain", "ads.example" } } },
            CabinetDomain::Alias)
        == false);

    QVERIFY(
        list.fromVariant(QVariantList { QVariantMap { { "id", 1 }, { "domain", "Ads.example" }, { "ip", "10.0.0.1" } },
                             QVariantMap { { "id", 2 }, { "domain", "ads.example" }, { "ip", "10.0.0.2" } } },
            CabinetDomain::Alias));
    QCOMPARE(list.findDomain("ads.example").id, 2u);
    QCOMPARE(list.findDomain("Ads.example").ip, QHostAddress(QStringLiteral("10.0.0.1")));
    const CabinetDomain missing = list.findDomain("ADS.EXAMPLE");
    QCOMPARE(missing.id, 0u);
    QVERIFY(missing.domain.isNull());
    QVERIFY(missing.ip.isNull());
}

QTEST_APPLESS_MAIN(tst_CabinetDomain)
#include "tst_cabinetdomain.moc"
