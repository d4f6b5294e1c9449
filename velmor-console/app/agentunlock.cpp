#include "agent.h"

#include "mainwindow/mainwidget.h"
#include "model/cabinet.h"
#include "model/serviceconnector.h"
#include "model/servicestatus.h"
#include "model/settingsunlock.h"
#include "unlocker.h"

#include <QCoreApplication>

bool Agent::isUnlockPending() const
{
    return m_settingsUnlock->isRequestPending();
}

void Agent::requestUnlock(bool fromOtherProcess, const QString &reason)
{
    m_settingsUnlock->setRequestPending(true);
    m_unlockFromOtherProcess = fromOtherProcess;
    m_unlockReason = reason;
    if (m_status->isConnectionComplete() || m_connector->connectionFailed())
        processUnlockRequest();
}

void Agent::processUnlockRequest()
{
    // The password is asked only where the settings are locked and the service can check it. The request
    // stays pending, so a later grant (a service error, an update in state 1) answers it again.
    if (!m_cabinet->isIdentified() || !m_settingsUnlock->isLocked()) {
        handleSuccessfulUnlockRequest();
        return;
    }
    m_settingsUnlock->setRequestPending(false);
    const QString prompt
        = m_unlockReason == QLatin1String("uninstall") ? tr("Enter your password to uninstall") : QString();
    connect(
        m_mainWidget, &MainWidget::settingsUnlocked, this, &Agent::handleSuccessfulUnlockRequest, Qt::UniqueConnection);
    connect(m_mainWidget, &MainWidget::settingsUnlockCanceled, this, &Agent::handleCanceledUnlockRequest,
        Qt::UniqueConnection);
    m_mainWidget->showUnlockPage(prompt);
}

void Agent::handleSuccessfulUnlockRequest()
{
    answerUnlockRequest(true);
}

void Agent::handleCanceledUnlockRequest()
{
    answerUnlockRequest(false);
}

void Agent::answerUnlockRequest(bool granted)
{
    if (!m_unlockFromOtherProcess) {
        QCoreApplication::exit(granted ? Unlocker::Granted : Unlocker::Canceled);
        return;
    }
    // Nothing is written once the asking copy has gone: the segment went with it.
    UnlockFlag::answer(granted ? UnlockFlag::Granted : UnlockFlag::Canceled);
}
