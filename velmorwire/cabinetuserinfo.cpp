#include "cabinetuserinfo.h"

#include "wirevalue_p.h"

namespace Velmor {

CabinetUserInfo::CabinetUserInfo()
    : timeZone(0)
{ }

bool CabinetUserInfo::fromVariant(const QVariant &value)
{
    if (value.typeId() != QMetaType::QVariantMap)
        return false;
    const QVariantMap map = value.toMap();
    bool tzOk = false;
    // A zone such as +5:30 may come as 5.5; the type holds whole hours, and refusing the whole answer over it
    // would cost the plan and its features.
    timeZone = Internal::toRoundedInt32(map.value(QStringLiteral("tz")), &tzOk);
    const QVariant plan = map.value(QStringLiteral("plan"));
    const QVariantMap planMap = plan.typeId() == QMetaType::QVariantMap ? plan.toMap() : QVariantMap();
    planCode = planMap.value(QStringLiteral("code")).toString();
    planName = planMap.value(QStringLiteral("name")).toString();
    const QVariant featureValue = map.value(QStringLiteral("features"));
    features = featureValue.typeId() == QMetaType::QVariantMap ? featureValue.toMap() : QVariantMap();
    return tzOk && !planCode.isEmpty() && !planName.isEmpty() && !features.isEmpty();
}

QVariant CabinetUserInfo::toVariant() const
{
    QVariantMap plan;
    plan.insert(QStringLiteral("code"), planCode);
    plan.insert(QStringLiteral("name"), planName);
    QVariantMap map;
    map.insert(QStringLiteral("tz"), timeZone);
    map.insert(QStringLiteral("plan"), plan);
    map.insert(QStringLiteral("features"), features);
    return map;
}

bool CabinetUserInfo::operator==(const CabinetUserInfo &other) const
{
    return timeZone == other.timeZone && planCode == other.planCode && planName == other.planName
        && features == other.features;
}

int registerCabinetUserInfoMetaType()
{
    return Internal::registerMetaTypeAlias<CabinetUserInfo>("CabinetUserInfo");
}

} // namespace Velmor
