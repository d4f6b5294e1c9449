#ifndef VELMOR_HOSTLISTTEXT_H
#define VELMOR_HOSTLISTTEXT_H

#include "velmorwire/hostlist.h"

#include <QChar>
#include <QString>

namespace Velmor {
namespace Private {

// A DNS server value ("NameServer", "DhcpNameServer", "originalDns", "fallback-dns"): the parts between commas and
// blanks, whichever the writer used, that are IPv4 dotted quads; the values feed the IPv4 "NameServer", so
// anything else is dropped.
HostList parseServerList(const QString &text);

QString formatServerList(const HostList &servers, QChar separator);

} // namespace Private
} // namespace Velmor

#endif // VELMOR_HOSTLISTTEXT_H
