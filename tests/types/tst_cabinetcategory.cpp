#include "velmorwire/cabinetcategory.h"
#include "velmorwire/cabinetuserfilter.h"

#include <QTest>

using namespace Velmor;

class tst_CabinetCategory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readCategory_data();
    void readCategory();
    void writeCategory();
    void readGroup_data();
    void readGroup();
    void readCatalogue_data();
    void readCatalogue();
    void equality();
    void readUserFilter_data();
    void readUserFilter();
    void writeUserFilter();
};

namespace {
QVariantMap category(const QVariant &id, const QString &title, const QString &description = QString())
{
    QVariantMap map { { "id", id }, { "title", title } };
    if (!description.isNull())
        map.insert("description", description);
    return map;
}
} // namespace

void tst_CabinetCategory::readCategory_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("without description") << QVariant(category(5, "Games")) << true;
    QTest::newRow("with description") << QVariant(category(5, "Games", "Online games")) << true;
    QTest::newRow("empty description") << QVariant(category(5, "Games", "")) << true;
    QTest::newRow("id as text") << QVariant(category("12", "News")) << true;
    QTest::newRow("id zero") << QVariant(category(0, "Games")) << false;
    QTest::newRow("id missing") << QVariant(QVariantMap { { "title", "Games" } }) << false;
    QTest::newRow("id a map") << QVariant(category(QVariantMap { { "a", 1 } }, "Games")) << false;
    QTest::newRow("id beyond 32 bits") << QVariant(category(4294967296LL, "Games")) << false;
    QTest::newRow("title empty") << QVariant(category(5, "")) << false;
    QTest::newRow("title missing") << QVariant(QVariantMap { { "id", 5 } }) << false;
    QTest::newRow("not a map") << QVariant(QVariantList { category(5, "Games") }) << false;
}

void tst_CabinetCategory::readCategory()
{
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    CabinetCategory read;
    QCOMPARE(read.fromVariant(value), accepted);
    if (accepted) {
        CabinetCategory again;
        QVERIFY(again.fromVariant(read.toVariant()));
        QCOMPARE(again, read);
    }
}

void tst_CabinetCategory::writeCategory()
{
    CabinetCategory plain;
    QVERIFY(plain.fromVariant(category(5, "Games")));
    QCOMPARE(plain.toVariant().toMap().keys(), (QStringList { "id", "title" }));
    QCOMPARE(plain.toVariant().toMap().value("id").typeId(), QMetaType::UInt);

    CabinetCategory described;
    QVERIFY(described.fromVariant(category(5, "Games", "Online games")));
    QCOMPARE(described.toVariant().toMap().keys(), (QStringList { "description", "id", "title" }));
}

void tst_CabinetCategory::readGroup_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("title");

    const QVariantList items { category(1, "A"), category(2, "B") };
    QTest::newRow("two items") << QVariant(QVariantMap { { "title", "Leisure" }, { "items", items } }) << true << 2
                               << "Leisure";
    QTest::newRow("empty items") << QVariant(QVariantMap { { "title", "Leisure" }, { "items", QVariantList() } })
                                 << true << 0 << "Leisure";
    QTest::newRow("duplicate ids") << QVariant(
        QVariantMap { { "title", "T" }, { "items", QVariantList { items[0], items[0] } } })
                                   << true << 2 << "T";
    QTest::newRow("empty title") << QVariant(QVariantMap { { "title", "" }, { "items", items } }) << false << 0 << "";
    QTest::newRow("missing title") << QVariant(QVariantMap { { "items", items } }) << false << 0 << "";
    QTest::newRow("items a map") << QVariant(QVariantMap { { "title", "T" }, { "items", category(1, "A") } }) << false
                                 << 0 << "T";
    QTest::newRow("items missing") << QVariant(QVariantMap { { "title", "T" } }) << false << 0 << "T";
    QTest::newRow("bad second item") << QVariant(
        QVariantMap { { "title", "T" }, { "items", QVariantList { items[0], category(0, "Z") } } })
                                     << false << 0 << "T";
    QTest::newRow("a string") << QVariant("Leisure") << false << 0 << "";
    QTest::newRow("a number") << QVariant(7) << false << 0 << "";
}

void tst_CabinetCategory::readGroup()
{
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    QFETCH(int, count);
    QFETCH(QString, title);

    CabinetCategoryGroup group;
    group.append(CabinetCategory());
    QCOMPARE(group.fromVariant(value), accepted);
    QCOMPARE(group.size(), count);
    QCOMPARE(group.title, title);
    if (accepted) {
        const QVariantMap written = group.toVariant().toMap();
        QCOMPARE(written.keys(), (QStringList { "items", "title" }));
        QCOMPARE(written.value("items").typeId(), QMetaType::QVariantList);
        QCOMPARE(written.value("items").toList().size(), count);
    }
}

void tst_CabinetCategory::readCatalogue_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("groups");

    const QVariantMap group { { "title", "G" }, { "items", QVariantList { category(1, "A") } } };
    QTest::newRow("empty") << QVariant(QVariantList()) << true << 0;
    QTest::newRow("two groups") << QVariant(QVariantList { group, group }) << true << 2;
    QTest::newRow("string element") << QVariant(QVariantList { group, "G" }) << false << 0;
    QTest::newRow("a map") << QVariant(group) << false << 0;
}

void tst_CabinetCategory::readCatalogue()
{
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    QFETCH(int, groups);

    CabinetCategories catalogue;
    catalogue.append(CabinetCategoryGroup());
    QCOMPARE(catalogue.fromVariant(value), accepted);
    QCOMPARE(catalogue.size(), groups);
    if (accepted)
        QCOMPARE(catalogue.toVariant(), value);
}

void tst_CabinetCategory::equality()
{
    CabinetCategory a;
    QVERIFY(a.fromVariant(category(1, "A", "first")));
    CabinetCategory b = a;
    QCOMPARE(a, b);
    b.description = QStringLiteral("other");
    QVERIFY(a != b);

    CabinetCategoryGroup left;
    left.title = QStringLiteral("One");
    left.append(a);
    CabinetCategoryGroup right = left;
    right.title = QStringLiteral("Two");
    QVERIFY(left == right);
    right.append(a);
    QVERIFY(left != right);
}

void tst_CabinetCategory::readUserFilter_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QList<int>>("ids");

    QTest::newRow("repeated id") << QVariant(QVariantList { 3, 3, 7 }) << true << QList<int> { 3, 7 };
    QTest::newRow("empty") << QVariant(QVariantList()) << true << QList<int>();
    QTest::newRow("bounds") << QVariant(QVariantList { 1, 255 }) << true << QList<int> { 1, 255 };
    QTest::newRow("text element") << QVariant(QVariantList { "12" }) << true << QList<int> { 12 };
    QTest::newRow("zero") << QVariant(QVariantList { 0 }) << false << QList<int>();
    QTest::newRow("256") << QVariant(QVariantList { 256 }) << false << QList<int>();
    QTest::newRow("minus one") << QVariant(QVariantList { -1 }) << false << QList<int>();
    // 4294967297 wraps to 1 through QVariant::toUInt.
    QTest::newRow("wraps to 1") << QVariant(QVariantList { 4294967297LL }) << false << QList<int>();
    QTest::newRow("fraction") << QVariant(QVariantList { 3.5 }) << false << QList<int>();
    QTest::newRow("map element") << QVariant(QVariantList { 5, QVariantMap { { "id", 5 } } }) << false << QList<int>();
    QTest::newRow("null element") << QVariant(QVariantList { 5, QVariant() }) << false << QList<int>();
    QTest::newRow("not a list") << QVariant(5) << false << QList<int>();
}

void tst_CabinetCategory::readUserFilter()
{
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    QFETCH(QList<int>, ids);

    CabinetUserFilter filter;
    filter.insert(99);
    QCOMPARE(filter.fromVariant(value), accepted);
    QList<int> read;
    for (const quint8 id : std::as_const(filter))
        read.append(id);
    std::sort(read.begin(), read.end());
    QCOMPARE(read, ids);
}

void tst_CabinetCategory::writeUserFilter()
{
    CabinetUserFilter filter;
    for (const quint8 id : { 200, 3, 255, 17, 1 })
        filter.insert(id);
    QCOMPARE(filter.toVariant(), QVariant(QVariantList { 1, 3, 17, 200, 255 }));
    QCOMPARE(filter.toVariant().toList().at(3).typeId(), QMetaType::Int);

    CabinetUserFilter again;
    QVERIFY(again.fromVariant(filter.toVariant()));
    QCOMPARE(again, filter);
}

QTEST_APPLESS_MAIN(tst_CabinetCategory)
#include "tst_cabinetcategory.moc"
