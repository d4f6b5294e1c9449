#ifndef VELMOR_ACCOUNTDATATYPES_H
#define VELMOR_ACCOUNTDATATYPES_H

#include "velmorwire_global.h"

namespace Velmor {

// Makes the account data types known by their short names ("CabinetProfiles", "CabinetUserInfo", "HostList")
// and registers the conversion of address lists to HostList. Each program calls it once at start, before any
// connection or JSON-RPC dispatch names these types; calling it again does nothing.
VELMORWIRE_EXPORT void registerAccountDataTypes();

} // namespace Velmor

#endif // VELMOR_ACCOUNTDATATYPES_H
