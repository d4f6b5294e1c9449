#include "typereaders.h"

#include <QTest>

using namespace Velmor;
using Velmor::Test::TypeReader;

// Every reader refuses values of the wrong shape and values that lack a required key, and none of them can be
// brought down by a wrong type anywhere in the tree.
class tst_TypesMalformed : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wrongShape_data();
    void wrongShape();
    void missingKey_data();
    void missingKey();
    void wrongTypeAtEveryLevel();
};

namespace {

struct Sample
{
    const char *reader;
    QVariant value;
    QStringList requiredKeys; // keys of the top-level map (or, for lists, of the first element) without which it fails
};

QVariantMap profileMap(bool isDefault)
{
    QVariantMap map { { "id", 1 }, { "token", 11 }, { "name", "Home" }, { "is_schedule_enabled", true } };
    if (isDefault)
        map.insert("default", true);
    return map;
}

QList<Sample> samples()
{
    const QVariantMap domain { { "id", 1 }, { "domain", "a.example" }, { "ip", "192.0.2.1" } };
    const QVariantMap category { { "id", 2 }, { "title", "News" }, { "description", "Papers" } };
    const QVariantMap group { { "title", "Media" }, { "items", QVariantList { category } } };
    const QVariantMap day { { "is_profile_on", true }, { "time_from", "08:00" }, { "time_to", "24:00" } };
    const QVariantMap network { { "id", "{A}" }, { "name", "LAN" }, { "protected", true } };
    return {
        { "CabinetDomain/white", domain, { "id", "domain" } },
        { "CabinetDomain/black", domain, { "id", "domain" } },
        { "CabinetDomain/alias", domain, { "id", "domain", "ip" } },
        { "CabinetDomains/white", QVariantList { domain, domain }, { "id", "domain" } },
        { "CabinetDomains/alias", QVariantList { domain }, { "id", "domain", "ip" } },
        { "CabinetCategory", category, { "id", "title" } },
        { "CabinetCategoryGroup", group, { "title", "items" } },
        { "CabinetCategories", QVariantList { group }, { "title", "items" } },
        { "CabinetUserFilter", QVariantList { 1, 2, 255 }, {} },
        { "CabinetScheduleDay", day, { "is_profile_on" } },
        { "CabinetSchedule", QVariantList(7, day), { "is_profile_on" } },
        { "CabinetProfile", profileMap(false), { "id", "token", "name", "is_schedule_enabled" } },
        { "CabinetProfiles", QVariantList { profileMap(true) },
            { "id", "token", "name", "is_schedule_enabled", "default" } },
        { "CabinetProfileActivity", QVariantList { true, 30 }, {} },
        { "Network", network, { "id", "name" } },
        { "NetworksInfo", QVariantMap { { "defaultRouteId", "{A}" }, { "networks", QVariantList { network } } },
            { "networks" } },
        { "HostList", QVariantList { "192.0.2.1", "2001:db8::1" }, {} },
        { "CabinetUserInfo",
            QVariantMap { { "tz", 3 }, { "plan", QVariantMap { { "code", "PRO" }, { "name", "Pro" } } },
                { "features", QVariantMap { { "max_profiles", 5 }, { "agent_ip_mode", true } } } },
            { "tz", "plan", "features" } },
        { "CabinetSystemInfo",
            QVariantMap { { "features", QVariantList { "safe_search" } },
                { "services",
                    QVariantMap { { "public_dns", QVariantList { "192.0.2.53" } }, { "main", "192.0.2.54" } } } },
            { "features", "services" } },
    };
}

const TypeReader *findReader(const QByteArray &name)
{
    for (const TypeReader &reader : Velmor::Test::typeReaders()) {
        if (name == reader.name)
            return &reader;
    }
    return nullptr;
}

QVariant withoutKey(const QVariant &value, const QString &key)
{
    if (value.typeId() == QMetaType::QVariantMap) {
        QVariantMap map = value.toMap();
        map.remove(key);
        return map;
    }
    QVariantList list = value.toList();
    QVariantMap first = list.first().toMap();
    first.remove(key);
    list.first() = first;
    return list;
}

// Values of every type the JSON reader produces, and a few it does not.
QList<QVariant> wrongValues()
{
    return { QVariant(), QVariant::fromValue(nullptr), QVariant(true), QVariant(0), QVariant(-1),
        QVariant(4294967296LL), QVariant(1e300), QVariant(0.5), QVariant(QString()), QVariant("x"),
        QVariant(QVariantList()), QVariant(QVariantList { QVariantMap { { "x", QVariantList { QVariant() } } } }),
        QVariant(QVariantMap()), QVariant(QVariantMap { { "id", QVariantList() } }),
        QVariant(QStringList { "1.2.3.4" }), QVariant(QVariantHash { { "id", 1 } }), QVariant(QByteArray("1.2.3.4")) };
}

// Every variant obtained from value by replacing one node with one wrong value, or dropping one map key.
void mutate(const QVariant &value, const std::function<void(const QVariant &)> &visit)
{
    for (const QVariant &wrong : wrongValues())
        visit(wrong);
    if (value.typeId() == QMetaType::QVariantMap) {
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            QVariantMap dropped = map;
            dropped.remove(it.key());
            visit(dropped);
            mutate(it.value(), [&](const QVariant &child) {
                QVariantMap changed = map;
                changed.insert(it.key(), child);
                visit(changed);
            });
        }
    } else if (value.typeId() == QMetaType::QVariantList) {
        const QVariantList list = value.toList();
        for (qsizetype i = 0; i < list.size(); ++i) {
            mutate(list.at(i), [&](const QVariant &child) {
                QVariantList changed = list;
                changed[i] = child;
                visit(changed);
            });
        }
    }
}

} // namespace

void tst_TypesMalformed::wrongShape_data()
{
    QTest::addColumn<QByteArray>("reader");
    QTest::addColumn<QVariant>("value");

    const QList<QVariant> scalars { QVariant(), QVariant::fromValue(nullptr), QVariant(true), QVariant(1),
        QVariant(2.5), QVariant("text"), QVariant(QByteArray("x")) };
    for (const TypeReader &reader : Velmor::Test::typeReaders()) {
        for (const QVariant &scalar : scalars)
            QTest::addRow("%s <- %s", reader.name, scalar.metaType().name() ? scalar.metaType().name() : "invalid")
                << QByteArray(reader.name) << scalar;
    }
    // Each reader takes exactly one container shape; the other one, and the forms the JSON reader never gives
    // (a hash, a string list), are refused.
    for (const Sample &sample : samples()) {
        const bool takesList = sample.value.typeId() == QMetaType::QVariantList;
        const QVariant other = takesList ? QVariant(QVariantMap { { "0", sample.value.toList().value(0) } })
                                         : QVariant(QVariantList { sample.value });
        QTest::addRow("%s <- other container", sample.reader) << QByteArray(sample.reader) << other;
        if (takesList) {
            QTest::addRow("%s <- string list", sample.reader)
                << QByteArray(sample.reader) << QVariant(QStringList { "1", "2" });
        } else {
            QVariantHash hash;
            const QVariantMap map = sample.value.toMap();
            for (auto it = map.cbegin(); it != map.cend(); ++it)
                hash.insert(it.key(), it.value());
            QTest::addRow("%s <- hash", sample.reader) << QByteArray(sample.reader) << QVariant(hash);
        }
    }
}

void tst_TypesMalformed::wrongShape()
{
    QFETCH(QByteArray, reader);
    QFETCH(QVariant, value);
    const TypeReader *read = findReader(reader);
    QVERIFY(read);
    QVariant written;
    QVERIFY(!read->read(value, &written));
}

void tst_TypesMalformed::missingKey_data()
{
    QTest::addColumn<QByteArray>("reader");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");

    for (const Sample &sample : samples()) {
        QTest::addRow("%s: complete", sample.reader) << QByteArray(sample.reader) << sample.value << true;
        for (const QString &key : sample.requiredKeys)
            QTest::addRow("%s: no %s", sample.reader, qPrintable(key))
                << QByteArray(sample.reader) << withoutKey(sample.value, key) << false;
    }
    QTest::newRow("CabinetProfileActivity: no minutes")
        << QByteArray("CabinetProfileActivity") << QVariant(QVariantList { true }) << false;
    QTest::newRow("CabinetProfileActivity: nothing")
        << QByteArray("CabinetProfileActivity") << QVariant(QVariantList()) << false;
}

void tst_TypesMalformed::missingKey()
{
    QFETCH(QByteArray, reader);
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    const TypeReader *read = findReader(reader);
    QVERIFY(read);
    QVariant written;
    QCOMPARE(read->read(value, &written), accepted);
}

void tst_TypesMalformed::wrongTypeAtEveryLevel()
{
    int tried = 0;
    int accepted = 0;
    for (const Sample &sample : samples()) {
        mutate(sample.value, [&](const QVariant &mutated) {
            for (const TypeReader &reader : Velmor::Test::typeReaders()) {
                ++tried;
                QVariant written;
                if (!reader.read(mutated, &written))
                    continue;
                ++accepted;
                if (!written.isValid())
                    continue;
                // What a reader accepted, it writes in a form it reads back to the same form.
                QVariant rewritten;
                if (!reader.read(written, &rewritten) || rewritten != written) {
                    QFAIL(qPrintable(QStringLiteral("%1 does not read back its own output for a mutation of %2")
                                         .arg(QLatin1String(reader.name), QLatin1String(sample.reader))));
                }
            }
        });
    }
    // Both outcomes must occur, or the sweep tested nothing.
    QVERIFY(accepted > 0);
    QVERIFY(accepted < tried);
}

QTEST_APPLESS_MAIN(tst_TypesMalformed)
#include "tst_typesmalformed.moc"
