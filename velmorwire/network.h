#ifndef VELMOR_NETWORK_H
#define VELMOR_NETWORK_H

#include "velmorwire_global.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>

namespace Velmor {

// One network connection as the service sees it.
class VELMORWIRE_EXPORT Network
{
public:
    Network();
    Network(const QString &id, const QString &name, bool isProtected);

    // Fields are overwritten as they are read; false when the id or the name is empty.
    bool fromVariant(const QVariant &value);
    QVariant toVariant() const;
    // For logs: "id: %1 name: %2 protected: yes|no".
    QString toString() const;

    QString id;
    QString name;
    bool isProtected;
};

// The network connections, in the sender's order, and the id of the one carrying the default route.
class VELMORWIRE_EXPORT NetworksInfo
{
public:
    // False, unchanged, for a value of the wrong shape. False after reading when a malformed network stops the
    // list (the ones before it kept) or when a non-empty default-route id names no listed network.
    bool fromVariant(const QVariant &value);
    QVariant toVariant() const;
    QString toString() const;

    // Sets the flag of the first network with this id; false when there is none.
    bool setNetworkProtection(const QString &id, bool on);

    QList<Network> networks;
    QString defaultRouteId;
};

} // namespace Velmor

Q_DECLARE_METATYPE(Velmor::Network)
Q_DECLARE_METATYPE(Velmor::NetworksInfo)

#endif // VELMOR_NETWORK_H
