#include "hostlist.h"

#include "accountdata_p.h"
#include "ipaddress.h"

#include <functional>
#include <mutex>

namespace Velmor {

HostList::HostList(const HostList &other) = default;

HostList HostList::fromStringList(const QStringList &texts)
{
    HostList hosts;
    for (const QString &text : texts) {
        const QHostAddress address = parseIPAddress(text);
        if (!address.isNull())
            hosts.append(address);
    }
    return hosts;
}

QStringList HostList::toStringList() const
{
    QStringList texts;
    texts.reserve(size());
    for (const QHostAddress &address : *this)
        texts.append(address.toString());
    return texts;
}

bool HostList::fromVariant(const QVariant &value)
{
    return Internal::readList(value, this, [](const QVariant &element, QHostAddress *address) {
        *address = parseIPAddress(element.toString());
        return !address->isNull();
    });
}

QVariant HostList::toVariant() const
{
    return QVariant(toStringList()).toList();
}

namespace {

bool addIPv4(const QString &text, HostList *hosts)
{
    QHostAddress address;
    if (!parseIPv4(text, &address))
        return false;
    hosts->append(address);
    return true;
}

bool convertVariantList(const void *from, void *to)
{
    const QVariantList &list = *static_cast<const QVariantList *>(from);
    HostList hosts;
    for (const QVariant &item : list) {
        if (item.typeId() != QMetaType::QString || !addIPv4(item.toString(), &hosts))
            return false;
    }
    *static_cast<HostList *>(to) = hosts;
    return true;
}

bool convertStringList(const void *from, void *to)
{
    const QStringList &list = *static_cast<const QStringList *>(from);
    HostList hosts;
    for (const QString &text : list) {
        if (!addIPv4(text, &hosts))
            return false;
    }
    *static_cast<HostList *>(to) = hosts;
    return true;
}

} // namespace

void registerHostListConverter()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Internal::registerMetaTypeAlias<HostList>("HostList");
        const QMetaType hostList = QMetaType::fromType<HostList>();
        // The functor form of registerConverter always reports success; a dispatcher must be able to refuse
        // a list with a bad address, so the converters go into the table as functions that can fail.
        QMetaType::registerConverterFunction(convertVariantList, QMetaType::fromType<QVariantList>(), hostList);
        QMetaType::registerConverterFunction(convertStringList, QMetaType::fromType<QStringList>(), hostList);
    });
}

} // namespace Velmor
