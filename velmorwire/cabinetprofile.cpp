#include "cabinetprofile.h"

#include "wirevalue_p.h"

#include <QVariantList>
#include <QVariantMap>

#include <algorithm>

namespace Velmor {

namespace {

// "default" and "white_list_only" are either absent or a JSON boolean.
bool readOptionalFlag(const QVariantMap &map, const QString &key, bool *flag)
{
    const auto it = map.constFind(key);
    if (it == map.constEnd()) {
        *flag = false;
        return true;
    }
    if (it->typeId() != QMetaType::Bool)
        return false;
    *flag = it->toBool();
    return true;
}

} // namespace

CabinetProfile::CabinetProfile(quint32 id, quint32 token, const QString &name, bool isDefault)
    : id(id)
    , token(token)
    , name(name)
    , isDefault(isDefault)
    , scheduleEnabled(false)
    , whiteListOnly(false)
    , safeSearchEnabled(false)
{ }

bool CabinetProfile::fromVariant(const QVariant &value)
{
    if (value.typeId() != QMetaType::QVariantMap)
        return false;
    const QVariantMap map = value.toMap();
    bool idOk = false;
    id = Internal::toUInt32(map.value(QStringLiteral("id")), &idOk);
    name = map.value(QStringLiteral("name")).toString();
    bool tokenOk = false;
    token = Internal::toUInt32(map.value(QStringLiteral("token")), &tokenOk);
    if (!map.contains(QStringLiteral("is_schedule_enabled")))
        return false;
    scheduleEnabled = map.value(QStringLiteral("is_schedule_enabled")).toBool();
    safeSearchEnabled = map.value(QStringLiteral("safe_search_enabled")).toBool();
    if (!readOptionalFlag(map, QStringLiteral("default"), &isDefault))
        return false;
    if (!readOptionalFlag(map, QStringLiteral("white_list_only"), &whiteListOnly))
        return false;
    return idOk && tokenOk && !name.isEmpty();
}

QVariant CabinetProfile::toVariant() const
{
    QVariantMap map;
    map.insert(QStringLiteral("id"), QVariant::fromValue<uint>(id));
    map.insert(QStringLiteral("token"), QVariant::fromValue<uint>(token));
    map.insert(QStringLiteral("name"), name);
    map.insert(QStringLiteral("is_schedule_enabled"), scheduleEnabled);
    map.insert(QStringLiteral("safe_search_enabled"), safeSearchEnabled);
    if (isDefault)
        map.insert(QStringLiteral("default"), true);
    if (whiteListOnly)
        map.insert(QStringLiteral("white_list_only"), true);
    return map;
}

CabinetProfiles::CabinetProfiles(const CabinetProfiles &other) = default;

bool CabinetProfiles::fromVariant(const QVariant &value)
{
    clear();
    if (value.typeId() != QMetaType::QVariantList)
        return false;
    const QVariantList list = value.toList();
    // Counted as read: a later profile with the same id may replace the default one, and the list still
    // named a default.
    bool namedDefault = false;
    for (const QVariant &element : list) {
        QSharedPointer<CabinetProfile> profile(new CabinetProfile);
        if (!profile->fromVariant(element))
            return false;
        namedDefault = namedDefault || profile->isDefault;
        insert(profile->id, profile);
    }
    return namedDefault;
}

QVariant CabinetProfiles::toVariant() const
{
    QList<quint32> ids = keys();
    std::sort(ids.begin(), ids.end());
    QVariantList list;
    list.reserve(ids.size());
    for (const quint32 id : std::as_const(ids)) {
        if (const QSharedPointer<CabinetProfile> profile = value(id))
            list.append(profile->toVariant());
    }
    return list;
}

QSharedPointer<CabinetProfile> CabinetProfiles::defaultProfile() const
{
    QSharedPointer<CabinetProfile> found;
    quint32 foundId = 0;
    for (auto it = constBegin(); it != constEnd(); ++it) {
        if (it.value() && it.value()->isDefault && (!found || it.key() < foundId)) {
            found = it.value();
            foundId = it.key();
        }
    }
    return found;
}

bool CabinetProfileActivity::fromVariant(const QVariant &value)
{
    if (value.typeId() != QMetaType::QVariantList)
        return false;
    const QVariantList list = value.toList();
    if (list.size() < 2 || list.at(0).typeId() != QMetaType::Bool)
        return false;
    bool ok = false;
    // A fraction is rounded, as QVariant::toInt does: 12.5 minutes is still an interval to wait, not a malformed
    // answer.
    minutes = Internal::toRoundedInt32(list.at(1), &ok);
    if (!ok || minutes < 10)
        return false;
    active = list.at(0).toBool();
    return true;
}

QVariant CabinetProfileActivity::toVariant() const
{
    return QVariantList { active, minutes };
}

int registerCabinetProfilesMetaType()
{
    return Internal::registerMetaTypeAlias<CabinetProfiles>("CabinetProfiles");
}

} // namespace Velmor
