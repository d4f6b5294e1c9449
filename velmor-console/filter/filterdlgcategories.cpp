// The Categories page: a grid of switches, one per category of the account's catalogue.
#include "filterdlg.h"

#include "catswitcher.h"
#include "ui_filterdlg.h"

#include "model/cabinet.h"

#include <QGridLayout>
#include <QLabel>
#include <QMovie>
#include <QTimer>

namespace {

const quint32 unknownSitesCategory = 2;

// The filter holds 8-bit ids: an id beyond them is never blocked, and never read truncated (258 is not 2).
bool isBlocked(const Velmor::CabinetUserFilter &filter, quint32 id)
{
    return id <= 255 && filter.contains(quint8(id));
}

} // namespace

void FilterDlg::cabinet_categoriesUpdated()
{
    m_categoriesLoaded = true;
    buildCategoryGrid();
    checkAllLoaded();
}

void FilterDlg::cabinet_userFilterUpdated(quint32 profileId)
{
    if (profileId != m_profileId)
        return;
    m_userFilterLoaded = true;
    buildCategoryGrid();
    checkAllLoaded();
    const QSignalBlocker blocker(ui->ckBlockUnknown);
    ui->ckBlockUnknown->setChecked(isBlocked(m_cabinet->cachedUserFilter(m_profileId), unknownSitesCategory));
}

void FilterDlg::buildCategoryGrid()
{
    if (!m_categoriesLoaded || !m_userFilterLoaded)
        return;
    m_placeholderAnimation->stop();

    auto *grid = new QWidget;
    auto *layout = new QGridLayout(grid);
    layout->setSpacing(0);
    const Velmor::CabinetUserFilter blocked = m_cabinet->cachedUserFilter(m_profileId);
    QFont headingFont;
    headingFont.setPointSize(13);
    headingFont.setBold(true);

    int row = 0;
    const Velmor::CabinetCategories &groups = m_cabinet->cachedCategories();
    for (const Velmor::CabinetCategoryGroup &group : groups) {
        auto *heading = new QLabel(group.title);
        heading->setStyleSheet(QStringLiteral("padding:12px 0px 3px 0px; margin-bottom:6px;"));
        heading->setFont(headingFont);
        layout->addWidget(heading, row, 0, 1, 2);
        ++row;
        for (qsizetype k = 0; k < group.size(); ++k) {
            const Velmor::CabinetCategory &category = group.at(k);
            auto *switcher
                = new CatSwitcher(category.id, category.title, isBlocked(blocked, category.id), category.description);
            connect(switcher, &CatSwitcher::changed, this, &FilterDlg::catChanged);
            layout->addWidget(switcher, row, int(k % 2));
            if (k % 2 == 1)
                ++row;
        }
        if (group.size() % 2 == 1)
            ++row;
    }

    // The spare height goes below the last row: the rows stay together at the top.
    layout->setRowStretch(row, 1);
    ui->saCats->setWidget(grid);
    if (!m_resized)
        QTimer::singleShot(0, this, &FilterDlg::resizeToContents);
}

void FilterDlg::resizeToContents()
{
    if (m_resized)
        return;
    m_resized = true;
    // Wide enough for both columns: the horizontal scroll bar is off.
    const QWidget *grid = ui->saCats->widget();
    const int needed = qMax(grid->width(), grid->minimumSizeHint().width());
    resize(width() + qMax(0, needed - ui->saCats->viewport()->width()), height());
}

void FilterDlg::catChanged(quint32 id, bool blocked)
{
    if (m_profileId != 0)
        m_cabinet->setFilterCat(m_profileId, id, blocked);
}
