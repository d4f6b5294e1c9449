#ifndef VELMOR_CONSOLE_SYSTEMTRAYICON_H
#define VELMOR_CONSOLE_SYSTEMTRAYICON_H

#include "model/servicestatus.h"

#include <QHash>
#include <QIcon>
#include <QList>
#include <QSize>
#include <QSystemTrayIcon>

class AnimatedOverlayIcon;
class Cabinet;
class QAction;
class QActionGroup;
class QMenu;
class SettingsUnlock;

// The program's face in the tray: the product image with a badge for the status (an animation while
// connecting), the status text as tooltip, and a menu to switch filtering, sign in, choose the profile and quit.
// Switching off and choosing a profile pass through the gate of locked settings.
class SystemTrayIcon : public QSystemTrayIcon
{
    Q_OBJECT

public:
    SystemTrayIcon(ServiceStatus *status, SettingsUnlock *settingsUnlock, Cabinet *cabinet, QObject *parent = nullptr);
    ~SystemTrayIcon() override;

    // The badge for a status state: 0 error, 1 warning, 3 information, 4 ok; -1 for the connecting animation.
    static int badgeFor(ServiceStatus::State state);

    QMenu *profilesMenu() const { return m_profilesMenu; }
    QAction *currentProfileAction() const { return m_currentProfileAction; }
    QAction *startAction() const { return m_startAction; }
    QAction *stopAction() const { return m_stopAction; }
    AnimatedOverlayIcon *animation() const { return m_animation; }

Q_SIGNALS:
    void showMain();
    // The sign-in entry, shown while the service did not identify the account.
    void signInRequested();
    // The Quit entry: the program ends.
    void quitRequested();

private Q_SLOTS:
    void updateIcon();
    void trayActivated(QSystemTrayIcon::ActivationReason reason);
    void updateConnectingIcon(const QPixmap &p);
    void updateGlobalFilteringSwitcher();
    void turnOffGlobalFiltering();
    void profileSelected(quint32 profileId);
    void rebuildProfilesMenu();

private:
    Q_DISABLE_COPY(SystemTrayIcon)

    QImage productImage() const;
    QIcon composedIcon(int badge);

    ServiceStatus *m_status;
    SettingsUnlock *m_settingsUnlock;
    Cabinet *m_cabinet;
    QMenu *m_contextMenu;
    QMenu *m_durationMenu;
    QMenu *m_profilesMenu;
    QAction *m_currentProfileAction;
    QActionGroup *m_profileGroup;
    QList<QAction *> m_profileActions;
    QAction *m_quitAction;
    QAction *m_startAction;
    QAction *m_stopAction;
    QAction *m_connectAction;
    QAction *m_profileAction;
    AnimatedOverlayIcon *m_animation;
    QHash<int, QIcon> m_iconCache;
    QSize m_badgeSize;
};

#endif // VELMOR_CONSOLE_SYSTEMTRAYICON_H
