// Which profile is edited and which one is in use.
#include "filterdlg.h"

#include "easylistedit.h"
#include "ui_filterdlg.h"

#include "model/cabinet.h"
#include "model/profileorder.h"

#include <QSignalBlocker>
#include <QTimer>

void FilterDlg::cabinet_profilesChanged()
{
    bool found = false;
    {
        const QSignalBlocker blocker(ui->cmbProfile);
        ui->cmbProfile->clear();
        // Display order, so the first row is the default profile whatever the hash's order in this process.
        const QList<QSharedPointer<Velmor::CabinetProfile>> profiles = sortedProfiles(m_cabinet->profiles());
        for (const QSharedPointer<Velmor::CabinetProfile> &profile : profiles) {
            // A long name gives up its end, never the mark of the profile in use.
            const QString used
                = profile->id == m_cabinet->selectedProfileId() ? QStringLiteral(" (%1)").arg(tr("used")) : QString();
            const QString text = shownProfileName(QLatin1Char(' ') + profile->name, ui->cmbProfile, used);
            ui->cmbProfile->addItem(QIcon(), text, profile->id);
            ui->cmbProfile->setItemData(ui->cmbProfile->count() - 1, profile->name, Qt::ToolTipRole);
            if (profile->id == m_profileId) {
                ui->cmbProfile->setCurrentIndex(ui->cmbProfile->count() - 1);
                found = true;
            }
        }
    }

    if (m_profilesEditor) {
        m_profilesList->clear(false);
        fillProfilesEditor();
    }

    if (found) {
        updateProfileOptions();
        return;
    }
    setEditedProfile(ui->cmbProfile->count() > 0 ? ui->cmbProfile->itemData(0).toUInt() : 0);
    updateProfileOptions();
    updateTabs();
    reload();
}

void FilterDlg::on_cmbProfile_currentIndexChanged(int index)
{
    setEditedProfile(index >= 0 ? ui->cmbProfile->itemData(index).toUInt() : 0);
    updateProfileOptions();
    updateTabs();
    reload();
}

void FilterDlg::setEditedProfile(quint32 id)
{
    // Pending schedule edits belong to the profile they were made on: they go out under its id now, or are
    // dropped with it when it has left the account.
    if (m_saveTimer->isActive())
        saveSchedule();
    m_profileId = id;
}

void FilterDlg::updateProfileOptions()
{
    const QSharedPointer<Velmor::CabinetProfile> profile = editedProfile();
    {
        const QSignalBlocker whiteOnly(ui->ckWhiteOnly);
        const QSignalBlocker allowSchedule(ui->ckAllowSchedule);
        const QSignalBlocker safeSearch(ui->ckSafeSearch);
        ui->ckWhiteOnly->setChecked(profile && profile->whiteListOnly);
        ui->ckAllowSchedule->setChecked(profile && profile->scheduleEnabled);
        ui->ckSafeSearch->setChecked(profile && profile->safeSearchEnabled);
    }
    ui->pbUseProfile->setVisible(m_profileId != 0 && m_profileId != m_cabinet->selectedProfileId());
    // Without a profile there is nothing to edit.
    ui->tabWidget->setEnabled(m_profileId != 0);
}

void FilterDlg::on_pbUseProfile_clicked()
{
    const quint32 id = ui->cmbProfile->currentData().toUInt();
    if (id != 0)
        m_cabinet->setProfile(id);
}

void FilterDlg::cabinet_identificationStateChanged()
{
    cabinet_profilesChanged();
    const quint32 current = ui->cmbProfile->currentData().toUInt();
    ui->pbUseProfile->setVisible(current != 0 && current != m_cabinet->selectedProfileId());
}
