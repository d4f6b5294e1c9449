#include "routelocaladdress.h"

#include "iphelper.h"
#include "machinenetwork.h"
#include "registry.h"

#include <QtEndian>

namespace Velmor {
namespace Platform {

namespace {

QList<QHostAddress> gatewaysOf(const QString &adapterId)
{
    QList<QHostAddress> gateways;
    const QString key = IpHelper::interfaceKey(adapterId);
    for (const char *name : { "DefaultGateway", "DhcpDefaultGateway" }) {
        Registry::Value value;
        if (Registry::queryValue(key, QLatin1String(name), &value) != ErrorSuccess)
            continue;
        const QStringList texts = value.type == Registry::MultiString ? value.texts : QStringList(value.text);
        for (const QString &text : texts) {
            quint32 address = 0;
            if (parseIPv4NetworkOrder(text.trimmed(), &address))
                gateways.append(QHostAddress(qFromBigEndian(address)));
        }
    }
    return gateways;
}

QHostAddress firstIPv4(const MachineAdapter &adapter)
{
    for (const QString &text : adapter.addresses) {
        quint32 address = 0;
        if (parseIPv4NetworkOrder(text, &address))
            return QHostAddress(qFromBigEndian(address));
    }
    return QHostAddress();
}

bool holds(const MachineAdapter &adapter, const QHostAddress &address)
{
    for (const QString &text : adapter.addresses) {
        if (QHostAddress(text) == address)
            return true;
    }
    return false;
}

} // namespace

int defaultRouteLocalAddress(QHostAddress *local)
{
    MachineNetwork machine;
    if (loadMachineNetwork(&machine) != ErrorSuccess)
        return WsaeNetUnreach;
    const MachineRoute *best = nullptr;
    for (const MachineRoute &route : std::as_const(machine.routes)) {
        if (route.destination == 0 && (!best || route.metric < best->metric))
            best = &route;
    }
    if (!best)
        return WsaeNetUnreach;
    const QHostAddress nextHop(qFromBigEndian(best->nextHop));
    const MachineAdapter *carrier = nullptr;
    // A point-to-point adapter's next hop is its own address.
    for (const MachineAdapter &adapter : std::as_const(machine.adapters)) {
        if (adapter.type != IpHelper::TypeSoftwareLoopback && holds(adapter, nextHop)) {
            carrier = &adapter;
            break;
        }
    }
    for (int i = 0; !carrier && i < machine.adapters.size(); ++i) {
        const MachineAdapter &adapter = machine.adapters.at(i);
        if (adapter.type != IpHelper::TypeSoftwareLoopback && gatewaysOf(adapter.id).contains(nextHop))
            carrier = &adapter;
    }
    if (!carrier || !carrier->up)
        return WsaeNetUnreach;
    const QHostAddress address = firstIPv4(*carrier);
    if (address.isNull())
        return WsaeNetUnreach;
    *local = address;
    return 0;
}

} // namespace Platform
} // namespace Velmor
