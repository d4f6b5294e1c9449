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

#endif // VELMOR_CONSOLE_PROFILEORDER_H
