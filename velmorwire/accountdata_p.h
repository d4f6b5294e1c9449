#ifndef VELMOR_ACCOUNTDATA_P_H
#define VELMOR_ACCOUNTDATA_P_H

// Helpers shared by the readers and writers of the account data types.

#include <QVariant>
#include <QVariantList>

namespace Velmor {
namespace Internal {

// Numbers of the account data arrive from outside. QVariant::toUInt wraps 5000000000 to 705032704, takes -1 as
// 4294967295 and rounds 5.7, all with ok set; these conversions refuse what does not fit instead.
// Accepted: integer and bool values in range, doubles with no fraction in range, and texts of ASCII digits
// (with a leading '-' for the signed form). On failure the result is 0 and *ok is false.
quint32 toUInt32(const QVariant &value, bool *ok = nullptr);
qint32 toInt32(const QVariant &value, bool *ok = nullptr);
// As toInt32, but a double with a fraction is rounded to the nearest integer as QVariant::toInt does.
qint32 toRoundedInt32(const QVariant &value, bool *ok = nullptr);

// A JSON null: an invalid variant or one holding nullptr (QVariant::isNull is also true for a null QString).
bool isJsonNull(const QVariant &value);

// Fills list from a QVariantList, each element read by readElement(element, &item). All or nothing: a value
// that is not a list, or any element that does not read, leaves the list empty and gives false.
template<typename List, typename ReadElement>
bool readList(const QVariant &value, List *list, ReadElement readElement)
{
    list->clear();
    if (value.typeId() != QMetaType::QVariantList)
        return false;
    const QVariantList elements = value.toList();
    list->reserve(elements.size());
    for (const QVariant &element : elements) {
        typename List::value_type item;
        if (!readElement(element, &item)) {
            list->clear();
            return false;
        }
        list->append(item);
    }
    return true;
}

// Each item's toVariant(), in order.
template<typename List>
QVariantList writeList(const List &list)
{
    QVariantList elements;
    elements.reserve(list.size());
    for (const auto &item : list)
        elements.append(item.toVariant());
    return elements;
}

// Registers T under its own name and a short alias on the first call; returns the type id every time.
template<typename T>
int registerMetaTypeAlias(const char *alias)
{
    static const int id = [alias] {
        const QMetaType type = QMetaType::fromType<T>();
        QMetaType::registerNormalizedTypedef(alias, type);
        return type.id();
    }();
    return id;
}

} // namespace Internal
} // namespace Velmor

#endif // VELMOR_ACCOUNTDATA_P_H
