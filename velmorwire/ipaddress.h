#ifndef VELMOR_IPADDRESS_H
#define VELMOR_IPADDRESS_H

#include "velmorwire_global.h"

#include <QHostAddress>
#include <QString>

namespace Velmor {

// Reads exactly four decimal parts of 0-255 joined by dots, as Qt 4 did. QHostAddress alone also takes
// "127.1", "10", octal and hex parts and surrounding blanks, which would let a typo reach a DNS setting.
// A part with a leading zero ("010") is refused: it once meant octal, and either reading would be a guess.
// On success stores the address in *address when it is given; on failure leaves *address untouched.
VELMORWIRE_EXPORT bool parseIPv4(const QString &text, QHostAddress *address = nullptr);

// An IPv4 address by parseIPv4, or an IPv6 address in plain hex-and-colon notation (an embedded dotted
// IPv4 tail allowed, no blanks, brackets or scope id). Gives a null address for anything else.
VELMORWIRE_EXPORT QHostAddress parseIPAddress(const QString &text);

} // namespace Velmor

#endif // VELMOR_IPADDRESS_H
