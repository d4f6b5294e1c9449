#ifndef VELMOR_CABINETPROFILE_H
#define VELMOR_CABINETPROFILE_H

#include "velmorwire_global.h"

#include <QHash>
#include <QMetaType>
#include <QSharedPointer>
#include <QString>
#include <QVariant>

namespace Velmor {

// One filtering profile of the account.
class VELMORWIRE_EXPORT CabinetProfile
{
public:
    CabinetProfile(quint32 id = 0, quint32 token = 0, const QString &name = QString(), bool isDefault = false);

    // Fields are overwritten as they are read: after false the profile is not to be used.
    bool fromVariant(const QVariant &value);
    QVariant toVariant() const;

    quint32 id;
    quint32 token;
    QString name;
    bool isDefault;
    bool scheduleEnabled;
    bool whiteListOnly;
    bool safeSearchEnabled;
};

// Every profile of the account by id. Equality is the hash's: the same ids mapped to the very same profile
// objects, so two sets read separately differ unless both are empty.
class VELMORWIRE_EXPORT CabinetProfiles : public QHash<quint32, QSharedPointer<CabinetProfile>>
{
public:
    CabinetProfiles() = default;
    CabinetProfiles(const CabinetProfiles &other);
    CabinetProfiles &operator=(const CabinetProfiles &other) = default;

    // Replaces the whole set. False for a malformed element (the profiles before it stay) or a list in which
    // no element is the default.
    bool fromVariant(const QVariant &value);
    // Ordered by id, so the same set is the same text in every process.
    QVariant toVariant() const;

    // The flagged profile with the lowest id, or null.
    QSharedPointer<CabinetProfile> defaultProfile() const;
};

// Whether a profile applies now by its weekly schedule, and in how many minutes (at least 10) to ask again.
class VELMORWIRE_EXPORT CabinetProfileActivity
{
public:
    bool fromVariant(const QVariant &value);
    QVariant toVariant() const;

    bool active = false;
    qint32 minutes = 0;
};

// Registers "Velmor::CabinetProfiles" with the alias "CabinetProfiles"; returns the type id.
VELMORWIRE_EXPORT int registerCabinetProfilesMetaType();

} // namespace Velmor

Q_DECLARE_METATYPE(Velmor::CabinetProfiles)
Q_DECLARE_METATYPE(Velmor::CabinetProfileActivity)

#endif // VELMOR_CABINETPROFILE_H
