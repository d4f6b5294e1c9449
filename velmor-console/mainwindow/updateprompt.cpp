#include "updateprompt.h"

#include "updatedialog.h"

#include "model/appupdater.h"

#include <QNetworkReply>

UpdatePrompt::UpdatePrompt(AppUpdater *updater, QWidget *dialogParent)
    : QObject(updater)
    , m_updater(updater)
    , m_dialogParent(dialogParent)
{
    connect(updater, &AppUpdater::offerFound, this, &UpdatePrompt::updater_offerFound);
}

UpdatePrompt::~UpdatePrompt()
{
    delete m_dialog;
}

UpdateDialog *UpdatePrompt::dialog() const
{
    return m_dialog;
}

void UpdatePrompt::updater_offerFound(QNetworkReply *runningDownload)
{
    // The dialog of a running download keeps its offer, its buttons and its progress; hidden, it comes back.
    if (runningDownload && m_dialog) {
        m_dialog->show();
        return;
    }
    delete m_dialog;
    m_dialog = new UpdateDialog(m_updater, m_dialogParent);
    connect(m_dialog, &UpdateDialog::downloadAccepted, m_updater, &AppUpdater::download);
    connect(m_dialog, &UpdateDialog::cancelDownload, m_updater, &AppUpdater::cancelDownload);
    m_dialog->show();
    if (runningDownload)
        m_dialog->followDownload(runningDownload);
}
