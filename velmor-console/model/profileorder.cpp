#include "profileorder.h"

#include "velmorwire/cabinetprofile.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QString>
#include <QStyle>
#include <QStyleOptionComboBox>

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

QString shownProfileName(const QString &name, const QComboBox *box, const QString &suffix)
{
    QStyleOptionComboBox option;
    option.initFrom(box);
    // A box that may grow is measured at the width it has, at least its minimum.
    option.rect.setWidth(
        box->maximumWidth() < QWIDGETSIZE_MAX ? box->maximumWidth() : qMax(box->width(), box->minimumWidth()));
    const int room
        = box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box).width() - 4
        - box->fontMetrics().horizontalAdvance(suffix);
    // A few letters of the name stay whatever the suffix takes.
    return box->fontMetrics().elidedText(name, Qt::ElideRight, qMax(room, 8 * box->fontMetrics().averageCharWidth()))
        + suffix;
}
