#include "model/profileorder.h"

#include "velmorwire/cabinetprofile.h"

#include <QTest>

class tst_ProfileOrder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void order_data();
    void order();
    void tableUnchanged();
};

namespace {

// Profiles named by the list, ids from 1; names starting with '*' are flagged default (the '*' dropped).
Velmor::CabinetProfiles profilesOf(const QStringList &names)
{
    Velmor::CabinetProfiles profiles;
    quint32 id = 0;
    for (const QString &name : names) {
        const bool isDefault = name.startsWith(QLatin1Char('*'));
        ++id;
        profiles.insert(
            id, QSharedPointer<Velmor::CabinetProfile>::create(id, id, isDefault ? name.mid(1) : name, isDefault));
    }
    return profiles;
}

QStringList namesOf(const QList<QSharedPointer<Velmor::CabinetProfile>> &list)
{
    QStringList names;
    for (const auto &profile : list)
        names.append(profile->name);
    return names;
}

} // namespace

void tst_ProfileOrder::order_data()
{
    QTest::addColumn<QStringList>("profiles");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("upper case before lower") << QStringList { "b", "B", "a" } << QStringList { "B", "a", "b" };
    QTest::newRow("default first") << QStringList { "*b", "B", "a" } << QStringList { "b", "B", "a" };
    QTest::newRow("default last by name") << QStringList { "a", "c", "*z" } << QStringList { "z", "a", "c" };
    QTest::newRow("code units, not locale") << QStringList { "\u00e9", "z", "E" } << QStringList { "E", "z", "\u00e9" };
    QTest::newRow("empty") << QStringList() << QStringList();
    QTest::newRow("equal names") << QStringList { "x", "x", "*y" } << QStringList { "y", "x", "x" };
}

void tst_ProfileOrder::order()
{
    QFETCH(QStringList, profiles);
    QFETCH(QStringList, expected);
    QCOMPARE(namesOf(sortedProfiles(profilesOf(profiles))), expected);
}

void tst_ProfileOrder::tableUnchanged()
{
    const Velmor::CabinetProfiles profiles = profilesOf({ "*one", "two", "three" });
    const QList<quint32> before = profiles.keys();
    const auto sorted = sortedProfiles(profiles);
    QCOMPARE(profiles.keys(), before);
    QCOMPARE(sorted.size(), 3);
    // The same shared objects: a flag set through the list is seen in the table.
    QVERIFY(sorted.first() == profiles.value(1));
}

QTEST_GUILESS_MAIN(tst_ProfileOrder)
#include "tst_profileorder.moc"
