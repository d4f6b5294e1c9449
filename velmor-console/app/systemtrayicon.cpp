#include "systemtrayicon.h"

#include "animatedoverlayicon.h"
#include "model/cabinet.h"
#include "model/servicestatus.h"
#include "model/settingsunlock.h"

#include <QActionGroup>
#include <QMenu>
#include <QPainter>
#include <QStyle>

namespace {

const int connectingBadge = -1;

QString badgeImage(int badge)
{
    switch (badge) {
    case 1:
        return QStringLiteral(":/icons/status-warning");
    case 3:
        return QStringLiteral(":/icons/status-info");
    case 4:
        return QStringLiteral(":/icons/status-ok");
    default:
        return QStringLiteral(":/icons/status-error");
    }
}

} // namespace

SystemTrayIcon::SystemTrayIcon(ServiceStatus *status, SettingsUnlock *settingsUnlock, Cabinet *cabinet, QObject *parent)
    : QSystemTrayIcon(parent)
    , m_status(status)
    , m_settingsUnlock(settingsUnlock)
    , m_cabinet(cabinet)
    , m_contextMenu(new QMenu)
    , m_durationMenu(new QMenu)
    , m_profilesMenu(new QMenu)
    , m_currentProfileAction(nullptr)
    , m_profileGroup(nullptr)
    , m_badgeSize(12, 12)
{
    m_startAction = new QAction(QIcon(QStringLiteral(":/icons/agent_on")), tr("&Start filtering"), this);
    m_stopAction = new QAction(QIcon(QStringLiteral(":/icons/agent_off")), tr("&Stop filtering"), this);
    m_connectAction = new QAction(QIcon(QStringLiteral(":/icons/status-ok")), tr("&Connect"), this);
    m_profileAction = new QAction(tr("&Profile"), this);
    m_quitAction = new QAction(QIcon(QStringLiteral(":/icons/exit")), tr("&Quit"), this);

    const QList<QPair<QString, int>> durations
        = { { tr("Until start or reboot"), 0 }, { QLatin1String("5 ") + tr("minutes"), 5 },
              { QLatin1String("30 ") + tr("minutes"), 30 }, { tr("1 hour"), 60 } };
    for (const auto &duration : durations) {
        auto entry = new QAction(duration.first, this);
        entry->setData(duration.second);
        connect(entry, &QAction::triggered, this, &SystemTrayIcon::turnOffGlobalFiltering);
        m_durationMenu->addAction(entry);
    }
    m_stopAction->setMenu(m_durationMenu);
    m_profileAction->setMenu(m_profilesMenu);

    m_contextMenu->addAction(m_startAction);
    m_contextMenu->addAction(m_stopAction);
    m_contextMenu->addAction(m_connectAction);
    m_contextMenu->addAction(m_profileAction);
    m_contextMenu->addSeparator();
    m_contextMenu->addAction(m_quitAction);
    m_connectAction->setVisible(false);
    // Offered once there is something to choose: a submenu shown while empty never maps again on X, even
    // after it is filled.
    m_profileAction->setVisible(false);
    updateGlobalFilteringSwitcher();
    setContextMenu(m_contextMenu);

    m_animation = new AnimatedOverlayIcon(
        productImage(), QStringLiteral(":/icons/loading.gif"), Qt::AlignRight | Qt::AlignBottom, this);
    m_animation->movie()->setScaledSize(m_badgeSize);

    connect(m_status, &ServiceStatus::globalFilteringChanged, this, &SystemTrayIcon::updateGlobalFilteringSwitcher);
    connect(m_status, &ServiceStatus::stateChanged, this, &SystemTrayIcon::updateIcon);
    connect(m_cabinet, &Cabinet::profilesChanged, this, &SystemTrayIcon::rebuildProfilesMenu);
    connect(m_quitAction, &QAction::triggered, this, &SystemTrayIcon::quitRequested);
    connect(m_startAction, &QAction::triggered, m_status, &ServiceStatus::turnOnGlobalFiltering);
    connect(m_connectAction, &QAction::triggered, this, &SystemTrayIcon::signInRequested);
    connect(this, &QSystemTrayIcon::activated, this, &SystemTrayIcon::trayActivated);
    connect(m_animation, &AnimatedOverlayIcon::newFrame, this, &SystemTrayIcon::updateConnectingIcon);
}

SystemTrayIcon::~SystemTrayIcon()
{
    delete m_contextMenu;
    delete m_durationMenu;
    delete m_profilesMenu;
    m_iconCache.clear();
}

int SystemTrayIcon::badgeFor(ServiceStatus::State state)
{
    switch (state) {
    case ServiceStatus::Connecting:
        return connectingBadge;
    case ServiceStatus::IdentificationFailed:
    case ServiceStatus::NoNetworks:
        return 1;
    case ServiceStatus::NothingProtected:
    case ServiceStatus::FilteringOff:
        return 3;
    case ServiceStatus::Protected:
        return 4;
    default:
        return 0;
    }
}

QImage SystemTrayIcon::productImage() const
{
    return QImage(QStringLiteral(":/icons/velmor")).scaled(22, 22, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QIcon SystemTrayIcon::composedIcon(int badge)
{
    const auto cached = m_iconCache.constFind(badge);
    if (cached != m_iconCache.constEnd())
        return *cached;
    const QImage overlay = QImage(badgeImage(badge)).scaled(m_badgeSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QImage image = productImage();
    QPainter painter(&image);
    painter.drawImage(
        QStyle::alignedRect(Qt::LeftToRight, Qt::AlignRight | Qt::AlignBottom, overlay.size(), image.rect()), overlay);
    painter.end();
    const QIcon icon(QPixmap::fromImage(image));
    m_iconCache.insert(badge, icon);
    return icon;
}

void SystemTrayIcon::updateIcon()
{
    const ServiceStatus::State state = m_status->state();
    const int badge = badgeFor(state);
    updateGlobalFilteringSwitcher();
    setToolTip(m_status->stateText());
    m_connectAction->setVisible(state == ServiceStatus::IdentificationFailed);
    QMovie *movie = m_animation->movie();
    if (badge == connectingBadge) {
        movie->start();
        return;
    }
    if (movie->state() == QMovie::Running)
        movie->stop();
    setIcon(composedIcon(badge));
}

void SystemTrayIcon::trayActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::Context)
        Q_EMIT showMain();
}

void SystemTrayIcon::updateConnectingIcon(const QPixmap &p)
{
    setIcon(QIcon(p));
}

void SystemTrayIcon::updateGlobalFilteringSwitcher()
{
    const bool switchable = m_status->isSwitchable();
    const bool on = m_status->isGlobalFilteringEnabled();
    m_startAction->setVisible(switchable && !on);
    m_stopAction->setVisible(switchable && on);
}

void SystemTrayIcon::turnOffGlobalFiltering()
{
    auto entry = qobject_cast<QAction *>(sender());
    if (entry)
        m_settingsUnlock->turnOffFiltering(entry->data().toInt());
}

void SystemTrayIcon::profileSelected(quint32 profileId)
{
    m_settingsUnlock->selectProfile(profileId);
    // While the settings are locked the choice waits for the password: the mark stays where the model has it.
    if (m_currentProfileAction)
        m_currentProfileAction->setChecked(true);
}

void SystemTrayIcon::rebuildProfilesMenu()
{
    // Every rebuild replaces the entries and their group; nothing of the last one may stay behind.
    m_profilesMenu->clear();
    qDeleteAll(m_profileActions);
    m_profileActions.clear();
    delete m_profileGroup;
    m_profileGroup = new QActionGroup(this);
    m_profileGroup->setExclusive(true);
    m_currentProfileAction = nullptr;

    const Velmor::CabinetProfiles &profiles = m_cabinet->profiles();
    for (auto it = profiles.cbegin(); it != profiles.cend(); ++it) {
        const quint32 profileId = it.key();
        // A menu takes "&" for the mark of an entry's key; the name shows as the account has it.
        auto entry = new QAction(QString(it.value()->name).replace(QLatin1Char('&'), QLatin1String("&&")), this);
        entry->setCheckable(true);
        connect(entry, &QAction::triggered, this, [this, profileId] { profileSelected(profileId); });
        if (profileId == m_cabinet->selectedProfileId())
            m_currentProfileAction = entry;
        m_profilesMenu->addAction(entry);
        m_profileGroup->addAction(entry);
        m_profileActions.append(entry);
    }
    if (m_currentProfileAction)
        m_currentProfileAction->setChecked(true);
    m_profileAction->setVisible(!m_profileActions.isEmpty());
}
