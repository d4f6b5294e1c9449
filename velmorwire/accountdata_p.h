#ifndef VELMOR_ACCOUNTDATA_P_H
#define VELMOR_ACCOUNTDATA_P_H

// Helpers shared by the readers and writers of the account data types.

#include <QVariant>
#include <QVariantList>

#include <utility>

namespace Velmor {
namespace Internal {

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
        list->append(std::move(item));
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

} // namespace Internal
} // namespace Velmor

#endif // VELMOR_ACCOUNTDATA_P_H
