#include "filterdlg.h"

#include "easylistedit.h"
#include "ui_filterdlg.h"

#include "model/cabinet.h"

#include <QHBoxLayout>
#include <QMessageBox>
#include <QMovie>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>

#include <climits>

namespace {

const char loadingImage[] = ":/icons/loading.gif";

} // namespace

FilterDlg::FilterDlg(Cabinet *cabinet, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::FilterDlg)
    , m_cabinet(cabinet)
    , m_profileId(cabinet->selectedProfileId())
    , m_lastTab(nullptr)
    , m_whiteList(nullptr)
    , m_blackList(nullptr)
    , m_aliasList(nullptr)
    , m_profilesList(nullptr)
    , m_whiteListMode(false)
    , m_resized(false)
    , m_categoriesLoaded(false)
    , m_userFilterLoaded(false)
    , m_whiteListLoaded(false)
    , m_blackListLoaded(false)
    , m_aliasesLoaded(false)
    , m_scheduleLoaded(false)
    , m_buttonAnimation(nullptr)
    , m_placeholderAnimation(nullptr)
    , m_errorShown(false)
    , m_scheduleProfileId(0)
    , m_saveTimer(new QTimer(this))
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    // Qt 6 dialogs carry no context-help button unless asked; toggling the hint would add one.
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    m_buttonAnimation = new QMovie(QLatin1String(loadingImage), QByteArray(), this);
    m_placeholderAnimation = new QMovie(QLatin1String(loadingImage), QByteArray(), this);
    m_buttonAnimation->setObjectName(QStringLiteral("reloadAnimation"));
    m_placeholderAnimation->setObjectName(QStringLiteral("placeholderAnimation"));

    connect(m_cabinet, &Cabinet::categoriesUpdated, this, &FilterDlg::cabinet_categoriesUpdated);
    connect(m_cabinet, &Cabinet::userFilterUpdated, this, &FilterDlg::cabinet_userFilterUpdated);
    connect(m_cabinet, &Cabinet::whiteListUpdated, this, &FilterDlg::cabinet_whiteListUpdated);
    connect(m_cabinet, &Cabinet::blackListUpdated, this, &FilterDlg::cabinet_blackListUpdated);
    connect(m_cabinet, &Cabinet::aliasListUpdated, this, &FilterDlg::cabinet_aliasListUpdated);
    connect(m_cabinet, &Cabinet::profilesChanged, this, &FilterDlg::cabinet_profilesChanged);
    connect(m_cabinet, &Cabinet::userInfoChanged, this, &FilterDlg::invalidateUserInfo);
    connect(m_cabinet, &Cabinet::identificationStateChanged, this, &FilterDlg::cabinet_identificationStateChanged);
    connect(m_cabinet, &Cabinet::systemInfoChanged, this, &FilterDlg::invalidateSystemInfo);

    m_whiteList
        = new EasyListEdit(tr("White List"), DomainList, QColor(QStringLiteral("#EEE")), listLimit("white_list_size"));
    m_blackList = new EasyListEdit(
        tr("Black List"), DomainList, QColor(QStringLiteral("#FFA1A1")), listLimit("black_list_size"));
    m_aliasList = new EasyListEdit(tr("Aliases"), AliasList, QColor(), listLimit("aliases_list_size"));
    auto *lists = new QHBoxLayout;
    lists->addWidget(m_whiteList);
    lists->addWidget(m_blackList);
    lists->addWidget(m_aliasList);
    ui->domainsWidget->setLayout(lists);

    ui->tabDomains->setStyleSheet(QStringLiteral("QWidget[objectName=tabDomains] { background-color:white; }"));
    ui->tabSchedule->setStyleSheet(QStringLiteral("QWidget[objectName=tabSchedule] { background-color:white; }"));
    ui->tabAdvanced->setStyleSheet(QStringLiteral("QWidget[objectName=tabAdvanced] { background-color:white; }"));
    ui->saCats->viewport()->setStyleSheet(QStringLiteral("background-color:white"));

    ui->btnReload->hide();

    const QSharedPointer<Velmor::CabinetProfile> defaultProfile = m_cabinet->profiles().defaultProfile();
    ui->lblScheduleHint->setText(
        tr("Use left and right mouse buttons on timetable or set period in appropriate fields.\nCurrent profile will "
           "be activated on marked periods. All remaining time «%1» profile will be in use.")
            .arg(defaultProfile ? defaultProfile->name : QString()));

    m_saveTimer->setObjectName(QStringLiteral("scheduleSaveTimer"));
    m_saveTimer->setSingleShot(true);
    m_saveTimer->setInterval(60000);
    m_lastTab = ui->tabWidget->currentWidget();

    for (EasyListEdit *list : { m_whiteList, m_blackList, m_aliasList }) {
        connect(list, &EasyListEdit::cleared, this, &FilterDlg::domainsCleared);
        connect(list, &EasyListEdit::itemRemoved, this, &FilterDlg::domainRemoved);
    }
    connect(m_whiteList, &EasyListEdit::newItem, this, &FilterDlg::newDomain);
    connect(m_blackList, &EasyListEdit::newItem, this, &FilterDlg::newDomain);
    connect(m_aliasList, &EasyListEdit::newAlias, this, &FilterDlg::newAlias);
    connect(ui->btnReload, &QToolButton::clicked, this, &FilterDlg::reload);
    connect(m_buttonAnimation, &QMovie::frameChanged, this, &FilterDlg::updateLodingFrame);
    connect(m_saveTimer, &QTimer::timeout, this, &FilterDlg::saveSchedule);
    connect(ui->tabWidget, &QTabWidget::currentChanged, this, &FilterDlg::currentTabChanged);

    invalidateSystemInfo();
    invalidateUserInfo();
    cabinet_profilesChanged();
    updateProfileOptions();
    updateTabs();
    reload();
}

FilterDlg::~FilterDlg()
{
    if (m_saveTimer->isActive())
        saveSchedule();
    // Qt takes the children down after this: a focused field then finishes its edit, the tab widget loses its
    // pages, the error box is destroyed. None of it may reach a dialog that is gone.
    const QList<QObject *> descendants = findChildren<QObject *>();
    for (QObject *object : descendants)
        disconnect(object, nullptr, this, nullptr);
    disconnect(m_cabinet, nullptr, this, nullptr);
    delete ui;
}

void FilterDlg::invalidateSystemInfo()
{
    ui->ckSafeSearch->setVisible(true);
}

void FilterDlg::invalidateUserInfo()
{
    m_whiteListMode = feature("white_list_mode") == 1;
    ui->ckWhiteOnly->setVisible(m_whiteListMode);
    ui->ckBlockUnknown->setVisible(m_whiteListMode);

    // The Advanced page goes at index 4, or last when fewer pages precede it, and is never shown twice.
    QTabWidget *tabs = ui->tabWidget;
    const int at = tabs->indexOf(ui->tabAdvanced);
    if (at < 0) {
        tabs->insertTab(4, ui->tabAdvanced, tr("Advanced"));
        return;
    }
    tabs->setTabText(at, tr("Advanced"));
    const int wanted = qMin(4, tabs->count() - 1);
    if (at != wanted)
        tabs->tabBar()->moveTab(at, wanted);
}

void FilterDlg::activateProfile(quint32 id)
{
    m_cabinet->setProfile(id);
}

QSharedPointer<Velmor::CabinetProfile> FilterDlg::editedProfile() const
{
    return m_cabinet->profiles().value(m_profileId);
}

int FilterDlg::listLimit(const char *name) const
{
    // A plan without the feature does not limit the list: read as 0 it would allow a single entry.
    return qMax(-1, feature(name, -1));
}

int FilterDlg::feature(const char *name, int absent) const
{
    // A number from outside: one that does not fit an int is taken as the nearest that does.
    bool ok = false;
    const qlonglong value = m_cabinet->userInfo().features.value(QLatin1String(name)).toLongLong(&ok);
    return ok ? int(qBound(qlonglong(INT_MIN), value, qlonglong(INT_MAX))) : absent;
}
