#include "network.h"

#include "wirevalue_p.h"

#include <QStringList>
#include <QVariantMap>

namespace Velmor {

Network::Network()
    : isProtected(false)
{ }

Network::Network(const QString &id, const QString &name, bool isProtected)
    : id(id)
    , name(name)
    , isProtected(isProtected)
{ }

bool Network::fromVariant(const QVariant &value)
{
    if (value.typeId() != QMetaType::QVariantMap)
        return false;
    const QVariantMap map = value.toMap();
    id = map.value(QStringLiteral("id")).toString();
    name = map.value(QStringLiteral("name")).toString();
    isProtected = map.value(QStringLiteral("protected")).toBool();
    return !id.isEmpty() && !name.isEmpty();
}

QVariant Network::toVariant() const
{
    QVariantMap map;
    map.insert(QStringLiteral("id"), id);
    map.insert(QStringLiteral("name"), name);
    map.insert(QStringLiteral("protected"), isProtected);
    return map;
}

QString Network::toString() const
{
    return QStringLiteral("id: %1 name: %2 protected: %3")
        .arg(id, name, isProtected ? QStringLiteral("yes") : QStringLiteral("no"));
}

bool NetworksInfo::fromVariant(const QVariant &value)
{
    if (value.typeId() != QMetaType::QVariantMap)
        return false;
    const QVariantMap map = value.toMap();
    const QVariant routeId = map.value(QStringLiteral("defaultRouteId"));
    if (!Internal::isJsonNull(routeId) && routeId.typeId() != QMetaType::QString)
        return false;
    const QVariant list = map.value(QStringLiteral("networks"));
    if (list.typeId() != QMetaType::QVariantList)
        return false;

    defaultRouteId = Internal::isJsonNull(routeId) ? QString() : routeId.toString();
    bool routeFound = defaultRouteId.isEmpty();
    networks.clear();
    const QVariantList elements = list.toList();
    for (const QVariant &element : elements) {
        Network network;
        if (!network.fromVariant(element))
            return false;
        networks.append(network);
        routeFound = routeFound || network.id == defaultRouteId;
    }
    return routeFound;
}

QVariant NetworksInfo::toVariant() const
{
    QVariantList list;
    list.reserve(networks.size());
    for (const Network &network : networks)
        list.append(network.toVariant());
    QVariantMap map;
    map.insert(QStringLiteral("defaultRouteId"), defaultRouteId);
    map.insert(QStringLiteral("networks"), list);
    return map;
}

QString NetworksInfo::toString() const
{
    QStringList items;
    items.reserve(networks.size());
    for (const Network &network : networks)
        items.append(QLatin1Char('<') + network.toString() + QLatin1Char('>'));
    return QStringLiteral("NetworksInfo: active: %1 networks: %2 ")
        .arg(defaultRouteId, items.join(QStringLiteral(", ")));
}

bool NetworksInfo::setNetworkProtection(const QString &id, bool on)
{
    for (Network &network : networks) {
        if (network.id == id) {
            network.isProtected = on;
            return true;
        }
    }
    return false;
}

} // namespace Velmor
