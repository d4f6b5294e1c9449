#ifndef VELMOR_CABINETSYSTEMINFO_H
#define VELMOR_CABINETSYSTEMINFO_H

#include "velmorwire_global.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>

namespace Velmor {

// What the account service says about itself: whether it offers safe search, and its resolvers.
class VELMORWIRE_EXPORT CabinetSystemInfo
{
public:
    // Adds to what the value holds (read into a fresh one). Addresses that do not parse are kept as null
    // addresses; only a value whose "features" is not a list or whose "services" is not a map is refused.
    bool fromVariant(const QVariant &value);
    QVariant toVariant() const;

    bool safeSearch = false;
    QHash<QString, QHostAddress> services;
    QList<QHostAddress> publicDns;
};

} // namespace Velmor

Q_DECLARE_METATYPE(Velmor::CabinetSystemInfo)

#endif // VELMOR_CABINETSYSTEMINFO_H
