#include "cabinetcategory.h"

#include "accountdata_p.h"
#include "wirevalue_p.h"

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
    return Internal::readList(map.value(QStringLiteral("items")), this,
        [](const QVariant &element, CabinetCategory *category) { return category->fromVariant(element); });
}

QVariant CabinetCategoryGroup::toVariant() const
{
    QVariantMap map;
    map.insert(QStringLiteral("title"), title);
    map.insert(QStringLiteral("items"), Internal::writeList(*this));
    return map;
}

bool CabinetCategoryGroup::operator==(const CabinetCategoryGroup &other) const
{
    return static_cast<const QList<CabinetCategory> &>(*this) == static_cast<const QList<CabinetCategory> &>(other);
}

CabinetCategories::CabinetCategories(const CabinetCategories &other) = default;

bool CabinetCategories::fromVariant(const QVariant &value)
{
    return Internal::readList(
        value, this, [](const QVariant &element, CabinetCategoryGroup *group) { return group->fromVariant(element); });
}

QVariant CabinetCategories::toVariant() const
{
    return Internal::writeList(*this);
}

} // namespace Velmor
