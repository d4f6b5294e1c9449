#ifndef VELMOR_CABINETCATEGORY_H
#define VELMOR_CABINETCATEGORY_H

#include "velmorwire_global.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>

namespace Velmor {

// One site category of the account service's catalogue.
class VELMORWIRE_EXPORT CabinetCategory
{
public:
    bool fromVariant(const QVariant &value);
    QVariant toVariant() const;

    bool operator==(const CabinetCategory &other) const;
    bool operator!=(const CabinetCategory &other) const { return !(*this == other); }

    quint32 id = 0;
    QString title;
    QString description;
};

// A titled group of categories, in the order received.
class VELMORWIRE_EXPORT CabinetCategoryGroup : public QList<CabinetCategory>
{
public:
    CabinetCategoryGroup() = default;
    CabinetCategoryGroup(const CabinetCategoryGroup &other);
    CabinetCategoryGroup &operator=(const CabinetCategoryGroup &other) = default;

    // On false the group holds no categories, but keeps the title it read.
    bool fromVariant(const QVariant &value);
    QVariant toVariant() const;

    // The categories only: a renamed heading is not a changed catalogue.
    bool operator==(const CabinetCategoryGroup &other) const;
    bool operator!=(const CabinetCategoryGroup &other) const { return !(*this == other); }

    QString title;
};

// The whole catalogue.
class VELMORWIRE_EXPORT CabinetCategories : public QList<CabinetCategoryGroup>
{
public:
    CabinetCategories() = default;
    CabinetCategories(const CabinetCategories &other);
    CabinetCategories &operator=(const CabinetCategories &other) = default;

    // On false the catalogue is empty.
    bool fromVariant(const QVariant &value);
    QVariant toVariant() const;
};

} // namespace Velmor

Q_DECLARE_METATYPE(Velmor::CabinetCategory)
Q_DECLARE_METATYPE(Velmor::CabinetCategoryGroup)
Q_DECLARE_METATYPE(Velmor::CabinetCategories)

#endif // VELMOR_CABINETCATEGORY_H
