// Which pages are shown, and the options of the edited profile.
#include "filterdlg.h"

#include "ui_filterdlg.h"

#include "shell/cabinet.h"

namespace {

// Unknown sites are a category of their own.
const quint32 unknownSitesCategory = 2;

} // namespace

void FilterDlg::updateTabs()
{
    const QSharedPointer<Velmor::CabinetProfile> profile = editedProfile();
    QTabWidget *tabs = ui->tabWidget;

    // Only white-listed sites are reachable: the categories mean nothing then.
    if (m_whiteListMode && profile && profile->whiteListOnly) {
        if (tabs->indexOf(ui->tabCats) >= 0) {
            if (m_lastTab == ui->tabCats)
                tabs->setCurrentWidget(ui->tabDomains);
            tabs->removeTab(tabs->indexOf(ui->tabCats));
        }
    } else if (tabs->indexOf(ui->tabCats) < 0) {
        tabs->insertTab(0, ui->tabCats, tr("Categories"));
    }

    // The default profile is what applies outside every schedule; without a profile there is none either.
    if (!profile || profile->isDefault) {
        if (tabs->indexOf(ui->tabSchedule) >= 0) {
            if (m_lastTab == ui->tabSchedule)
                tabs->setCurrentWidget(ui->tabCats);
            tabs->removeTab(tabs->indexOf(ui->tabSchedule));
        }
    } else if (tabs->indexOf(ui->tabSchedule) < 0) {
        tabs->insertTab(2, ui->tabSchedule, tr("Schedule"));
    }
}

void FilterDlg::on_ckWhiteOnly_toggled(bool checked)
{
    if (m_profileId == 0)
        return;
    m_cabinet->setWhiteListOnly(m_profileId, checked);
    updateTabs();
}

void FilterDlg::on_ckSafeSearch_toggled(bool checked)
{
    if (m_profileId != 0)
        m_cabinet->setSafeSearchEnabled(m_profileId, checked);
}

void FilterDlg::on_ckAllowSchedule_clicked()
{
    if (m_profileId != 0)
        m_cabinet->setScheduleEnabled(m_profileId, ui->ckAllowSchedule->isChecked());
}

void FilterDlg::on_ckBlockUnknown_toggled(bool checked)
{
    if (m_profileId != 0)
        m_cabinet->setFilterCat(m_profileId, unknownSitesCategory, checked);
}
