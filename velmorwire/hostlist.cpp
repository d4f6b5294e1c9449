#include "hostlist.h"

#include "accountdata_p.h"
#include "ipaddress.h"
#include "wirevalue_p.h"

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

namespace {

// The one rule for an address that arrives in a list: a text holding an IPv4 or an IPv6 address.
bool readAddress(const QVariant &item, QHostAddress *address)
{
    if (item.typeId() != QMetaType::QString)
        return false;
    *address = parseIPAddress(item.toString());
    return !address->isNull();
}

bool convertVariantList(const void *from, void *to)
{
    return static_cast<HostList *>(to)->fromVariant(*static_cast<const QVariantList *>(from));
}

bool convertStringList(const void *from, void *to)
{
    const QStringList &texts = *static_cast<const QStringList *>(from);
    return static_cast<HostList *>(to)->fromVariant(QVariantList(texts.cbegin(), texts.cend()));
}

} // namespace

bool HostList::fromVariant(const QVariant &value)
{
    return Internal::readList(value, this, readAddress);
}

QVariant HostList::toVariant() const
{
    return QVariant(toStringList()).toList();
}

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
