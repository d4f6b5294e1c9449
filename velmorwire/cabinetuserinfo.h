#ifndef VELMOR_CABINETUSERINFO_H
#define VELMOR_CABINETUSERINFO_H

#include "velmorwire_global.h"

#include <QMetaType>
#include <QString>
#include <QVariant>
#include <QVariantMap>

namespace Velmor {

// What the account service says about the user: time zone, plan and the features the plan grants.
class VELMORWIRE_EXPORT CabinetUserInfo
{
public:
    CabinetUserInfo();

    // Every field is assigned before the result is decided; false without "tz", a plan code or name, or features.
    bool fromVariant(const QVariant &value);
    QVariant toVariant() const;

    bool operator==(const CabinetUserInfo &other) const;
    bool operator!=(const CabinetUserInfo &other) const { return !(*this == other); }

    int timeZone; // whole hours east of UTC
    QString planCode;
    QString planName;
    QVariantMap features;
};

// Registers "Velmor::CabinetUserInfo" with the alias "CabinetUserInfo"; returns the type id.
VELMORWIRE_EXPORT int registerCabinetUserInfoMetaType();

} // namespace Velmor

Q_DECLARE_METATYPE(Velmor::CabinetUserInfo)

#endif // VELMOR_CABINETUSERINFO_H
