#include "profileorder.h"

#include "velmorwire/cabinetprofile.h"

#include <QFontMetrics>
#include <QString>

#include <algorithm>

QList<QSharedPointer<Velmor::CabinetProfile>> sortedProfiles(const Velmor::CabinetProfiles &profiles)
{
    QList<QSharedPointer<Velmor::CabinetProfile>> list = profiles.values();
    std::sort(list.begin(), list.end(),
        [](const QSharedPointer<Velmor::CabinetProfile> &a, const QSharedPointer<Velmor::CabinetProfile> &b) {
            if (a->isDefault != b->isDefault)
                return a->isDefault;
            // Two default profiles are equivalent: the comparison must stay a strict weak order.
            return !a->isDefault && a->name < b->name;
        });
    return list;
}

QString shownProfileName(const QString &name, const QFontMetrics &metrics, int characters)
{
    return metrics.elidedText(name, Qt::ElideRight, metrics.averageCharWidth() * characters);
}
