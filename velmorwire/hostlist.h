#ifndef VELMOR_HOSTLIST_H
#define VELMOR_HOSTLIST_H

#include "velmorwire_global.h"

#include <QHostAddress>
#include <QList>
#include <QMetaType>
#include <QStringList>
#include <QVariant>

namespace Velmor {

// An ordered list of IP addresses: a connection's DNS servers. Texts are read with the strict parser of
// ipaddress.h, so no null address enters the list.
class VELMORWIRE_EXPORT HostList : public QList<QHostAddress>
{
public:
    HostList() = default;
    HostList(const HostList &other);
    HostList &operator=(const HostList &other) = default;

    // Drops every text that is not an address (empty, a host name, a port, a loose IPv4 form).
    static HostList fromStringList(const QStringList &texts);
    QStringList toStringList() const;

    // A JSON array of address texts, IPv4 or IPv6. Accepts only a QVariantList; on false the list is empty.
    bool fromVariant(const QVariant &value);
    QVariant toVariant() const;
};

// Lets a JSON-RPC parameter that arrives as a list of address texts (QVariantList or QStringList) convert to a
// HostList with QVariant::convert, by the rule of fromVariant: the conversion fails when any item is not a text
// holding an address. Safe to call more than once.
VELMORWIRE_EXPORT void registerHostListConverter();

} // namespace Velmor

Q_DECLARE_METATYPE(Velmor::HostList)

#endif // VELMOR_HOSTLIST_H
