#include "cabinetuserfilter.h"

#include "wirevalue_p.h"

#include <algorithm>

namespace Velmor {

CabinetUserFilter::CabinetUserFilter(const CabinetUserFilter &other) = default;

bool CabinetUserFilter::fromVariant(const QVariant &value)
{
    clear();
    if (value.typeId() != QMetaType::QVariantList)
        return false;
    const QVariantList list = value.toList();
    for (const QVariant &element : list) {
        bool ok = false;
        const quint32 id = Internal::toUInt32(element, &ok);
        if (!ok || id == 0 || id > 255) {
            clear();
            return false;
        }
        insert(quint8(id));
    }
    return true;
}

QVariant CabinetUserFilter::toVariant() const
{
    QList<quint8> ids(begin(), end());
    std::sort(ids.begin(), ids.end());
    QVariantList list;
    list.reserve(ids.size());
    for (const quint8 id : std::as_const(ids))
        list.append(int(id));
    return list;
}

} // namespace Velmor
