#ifndef VELMOR_PLATFORM_ROUTELOCALADDRESS_H
#define VELMOR_PLATFORM_ROUTELOCALADDRESS_H

#include <QHostAddress>

namespace Velmor {
namespace Platform {

// Winsock's code for a destination no route reaches.
constexpr int WsaeNetUnreach = 10051;

// What connect() and getsockname() of an IPv4 datagram socket aimed at the Internet give on the simulated machine:
// the first IPv4 address of the adapter that carries the default route of machine.json (the route to 0.0.0.0 with
// the lowest metric, the first among equals; its adapter is the one whose own addresses, else whose gateways, hold
// the next hop), when that adapter is up. The computer's real routes would not match the simulated adapters.
// 0 with *local set, else WsaeNetUnreach.
int defaultRouteLocalAddress(QHostAddress *local);

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_ROUTELOCALADDRESS_H
