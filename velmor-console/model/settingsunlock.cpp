#include "settingsunlock.h"

#include "cabinet.h"
#include "servicestatus.h"

SettingsUnlock::SettingsUnlock(ServiceStatus *status, Cabinet *cabinet, QObject *parent)
    : QObject(parent)
    , m_status(status)
    , m_cabinet(cabinet)
    , m_mode(SignIn)
    , m_return(ToSettings)
    , m_requestPending(false)
    , m_pendingFilteringMinutes(-1)
    , m_pendingProfileId(0)
{ }

bool SettingsUnlock::turnOffFiltering(int minutes)
{
    if (!isLocked()) {
        m_status->setGlobalFiltering(false, minutes);
        return true;
    }
    m_return = ToStatus;
    m_pendingFilteringMinutes = minutes;
    Q_EMIT unlockNeeded();
    return false;
}

bool SettingsUnlock::selectProfile(quint32 profileId)
{
    m_pendingProfileId = profileId;
    if (!isLocked()) {
        takePendingProfile();
        return true;
    }
    m_return = ToStatus;
    Q_EMIT unlockNeeded();
    return false;
}

SettingsUnlock::Return SettingsUnlock::unlocked()
{
    const Return target = m_return;
    m_return = ToSettings;
    if (m_pendingFilteringMinutes != -1) {
        m_status->setGlobalFiltering(false, m_pendingFilteringMinutes);
        m_pendingFilteringMinutes = -1;
    }
    takePendingProfile();
    return target;
}

void SettingsUnlock::cancel()
{
    m_pendingFilteringMinutes = -1;
    m_pendingProfileId = 0;
}

void SettingsUnlock::takePendingProfile()
{
    if (m_pendingProfileId == 0)
        return;
    const quint32 profileId = m_pendingProfileId;
    m_pendingProfileId = 0;
    Q_EMIT profileTaken(profileId);
    m_cabinet->setProfile(profileId);
}
