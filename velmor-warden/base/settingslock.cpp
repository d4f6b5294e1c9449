#include "settingslock.h"

#include "velmorwire/error.h"

namespace Velmor {

SettingsLock::SettingsLock(bool locked, QObject *parent)
    : QObject(parent)
    , m_locked(locked)
{ }

SettingsLock::~SettingsLock() = default;

Error SettingsLock::refusal()
{
    return Error(Error::GeneralFailure, QStringLiteral("Settings are locked"));
}

void SettingsLock::unlock(const QVariant &result)
{
    Q_UNUSED(result);
    m_locked = false;
}

} // namespace Velmor
