#ifndef VELMOR_CONSOLE_PROFILEORDER_H
#define VELMOR_CONSOLE_PROFILEORDER_H

#include <QList>
#include <QSharedPointer>

namespace Velmor {
class CabinetProfile;
class CabinetProfiles;
} // namespace Velmor

// The profiles as lists show them: default profiles first, the others by name, compared code unit by code unit.
QList<QSharedPointer<Velmor::CabinetProfile>> sortedProfiles(const Velmor::CabinetProfiles &profiles);

class QFontMetrics;
class QString;

// A profile's name as boxes and labels show it: a name longer than about that many characters of the font ends in
// "…", so that it neither widens the window nor is cut inside a letter; the whole name goes in a tooltip.
QString shownProfileName(const QString &name, const QFontMetrics &metrics, int characters);

class QComboBox;

// The same for a profile box, which is no wider than its maximum: the name, with the suffix after it, fits the box's
// text field.
QString shownProfileName(const QString &name, const QComboBox *box, const QString &suffix = QString());

#endif // VELMOR_CONSOLE_PROFILEORDER_H
