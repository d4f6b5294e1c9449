// Which pages are shown, and the options of the edited profile.
#include "filterdlg.h"

#include "ui_filterdlg.h"

#include "model/cabinet.h"

namespace {

// Unknown sites are a category of their own.
const quint32 unknownSitesCategory = 2;

} // namespace

void FilterDlg::updateTabs()
{
    const QSharedPointer<Velmor::CabinetProfile> profile = editedProfile();
    // Only white-listed sites are reachable: the categories mean nothing then.
    setPagePresent(
        ui->tabCats, !(m_whiteListMode && profile && profile->whiteListOnly), 0, tr("Categories"), ui->tabDomains);
    // The default profile is what applies outside every schedule; without a profile there is none either.
    setPagePresent(ui->tabSchedule, profile && !profile->isDefault, 2, tr("Schedule"), ui->tabCats);
}

void FilterDlg::setPagePresent(QWidget *page, bool present, int index, const QString &text, QWidget *instead)
{
    QTabWidget *tabs = ui->tabWidget;
    if (present) {
        if (tabs->indexOf(page) < 0)
            tabs->insertTab(index, page, text);
        return;
    }
    if (tabs->indexOf(page) < 0)
        return;
    // Another page first, when the user is on this one (nothing happens when that page is absent too).
    if (m_lastTab == page)
        tabs->setCurrentWidget(instead);
    tabs->removeTab(tabs->indexOf(page));
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
