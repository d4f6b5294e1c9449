#include "cabinetsysteminfo.h"

#include "ipaddress.h"

#include <QStringList>
#include <QVariantMap>

namespace Velmor {

bool CabinetSystemInfo::fromVariant(const QVariant &value)
{
    if (value.typeId() != QMetaType::QVariantMap)
        return false;
    const QVariantMap map = value.toMap();
    const QVariant featureValue = map.value(QStringLiteral("features"));
    const QVariant serviceValue = map.value(QStringLiteral("services"));
    // toVariant writes the features as a QStringList; take that too, so a value reads back without a
    // detour through JSON text.
    const bool featuresAreList
        = featureValue.typeId() == QMetaType::QVariantList || featureValue.typeId() == QMetaType::QStringList;
    if (!featuresAreList || serviceValue.typeId() != QMetaType::QVariantMap)
        return false;

    const QVariantList featureList = featureValue.toList();
    for (const QVariant &feature : featureList) {
        if (feature.toString() == QLatin1String("safe_search"))
            safeSearch = true;
    }
    const QVariantMap serviceMap = serviceValue.toMap();
    for (auto it = serviceMap.constBegin(); it != serviceMap.constEnd(); ++it) {
        if (it.key() == QLatin1String("public_dns")) {
            const QVariantList addresses
                = it->typeId() == QMetaType::QVariantList ? it->toList() : QVariantList { *it };
            for (const QVariant &address : addresses)
                publicDns.append(parseIPAddress(address.toString()));
        } else {
            services.insert(it.key(), parseIPAddress(it->toString()));
        }
    }
    return true;
}

QVariant CabinetSystemInfo::toVariant() const
{
    QVariantMap serviceMap;
    for (auto it = services.constBegin(); it != services.constEnd(); ++it)
        serviceMap.insert(it.key(), it->toString());
    QVariantList addresses;
    addresses.reserve(publicDns.size());
    for (const QHostAddress &address : publicDns)
        addresses.append(address.toString());
    serviceMap.insert(QStringLiteral("public_dns"), addresses);

    QVariantMap map;
    map.insert(QStringLiteral("features"), safeSearch ? QStringList { QStringLiteral("safe_search") } : QStringList());
    map.insert(QStringLiteral("services"), serviceMap);
    return map;
}

} // namespace Velmor
