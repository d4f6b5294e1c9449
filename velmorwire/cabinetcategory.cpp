#include "cabinetcategory.h"

#include "variantnumber_p.h"

#include <QVariantMap>

namespace Velmor {

bool CabinetCategory::fromVariant(const QVariant &value)
{
    if (value.typeId() != QMetaType::QVariantMap)
        return false;
    const QVariantMap map = value.toMap();
    id = Internal::toUInt32(map.value(QStringLiteral("id")));
    title = map.value(QStringLiteral("title")).toString();
    description = map.value(QStringLiteral("description")).toString();
    return id != 0 && !title.isEmpty();
}

QVariant CabinetCategory::toVariant() const
{
    QVariantMap map;
    map.insert(QStringLiteral("id"), QVariant::fromValue<uint>(id));
    map.insert(QStringLiteral("title"), title);
    if (!description.isEmpty())
        map.insert(QStringLiteral("description"), description);
    return map;
}

bool CabinetCategory::operator==(const CabinetCategory &other) const
{
    return id == other.id && title == other.title && description == other.description;
}

CabinetCategoryGroup::CabinetCategoryGroup(const CabinetCategoryGroup &other) = default;

bool CabinetCategoryGroup::fromVariant(const QVariant &value)
{
    clear();
    // Anything but a map reads as an empty one and so fails on its missing title.
    const QVariantMap map = value.typeId() == QMetaType::QVariantMap ? value.toMap() : QVariantMap();
    title = map.value(QStringLiteral("title")).toString();
    if (title.isEmpty())
        return false;
    const QVariant items = map.value(QStringLiteral("items"));
    if (items.typeId() != QMetaType::QVariantList)
        return false;
    const QVariantList list = items.toList();
    reserve(list.size());
    for (const QVariant &element : list) {
        CabinetCategory category;
        if (!category.fromVariant(element)) {
            clear();
            return false;
        }
        append(category);
    }
    return true;
}

QVariant CabinetCategoryGroup::toVariant() const
{
    QVariantList items;
    items.reserve(size());
    for (const CabinetCategory &category : *this)
        items.append(category.toVariant());
    QVariantMap map;
    map.insert(QStringLiteral("title"), title);
    map.insert(QStringLiteral("items"), items);
    return map;
}

bool CabinetCategoryGroup::operator==(const CabinetCategoryGroup &other) const
{
    return static_cast<const QList<CabinetCategory> &>(*this) == static_cast<const QList<CabinetCategory> &>(other);
}

CabinetCategories::CabinetCategories(const CabinetCategories &other) = default;

bool CabinetCategories::fromVariant(const QVariant &value)
{
    clear();
    if (value.typeId() != QMetaType::QVariantList)
        return false;
    const QVariantList list = value.toList();
    reserve(list.size());
    for (const QVariant &element : list) {
        CabinetCategoryGroup group;
        if (!group.fromVariant(element)) {
            clear();
            return false;
        }
        append(group);
    }
    return true;
}

QVariant CabinetCategories::toVariant() const
{
    QVariantList list;
    list.reserve(size());
    for (const CabinetCategoryGroup &group : *this)
        list.append(group.toVariant());
    return list;
}

} // namespace Velmor
