#ifndef VELMOR_CONSOLE_MAINWIDGET_H
#define VELMOR_CONSOLE_MAINWIDGET_H

#include "model/settingsunlock.h"

#include <QHash>
#include <QPointer>
#include <QString>
#include <QWidget>

class AppUpdater;
class Cabinet;
class FilterDlg;
class NetworkWidgetItem;
class QListWidgetItem;
class ServiceConnector;
class ServiceStatus;
class Ui_MainWidget;

// The program's one window: the filtering status, the settings, the sign-in page and the help page, on six
// pages that slide. It checks no password itself: sign-in, sign-up and unlock go to the service through the
// account model, and the window follows what the service answers. While the settings are locked the settings
// pages give way to the login page, and the unlock gate holds the profile choice and the filtering pause until
// the password is accepted.
class MainWidget : public QWidget
{
    Q_OBJECT

public:
    MainWidget(ServiceConnector *connector, ServiceStatus *status, Cabinet *cabinet, AppUpdater *updater,
        SettingsUnlock *unlock, QWidget *parent = nullptr);
    ~MainWidget() override;

    SettingsUnlock::LoginMode loginMode() const { return m_unlock->mode(); }
    // Shows the window on the login page; a non-empty prompt replaces the page's own.
    void showUnlockPage(const QString &prompt);
    // True when applied at once; false when held until the settings are unlocked.
    bool selectProfile(quint32 profileId) { return m_unlock->selectProfile(profileId); }
    bool turnOffFiltering(int minutes) { return m_unlock->turnOffFiltering(minutes); }

Q_SIGNALS:
    void settingsProtectionChanged(bool locked);
    void settingsUnlocked();
    void settingsUnlockCanceled();
    // What the window leaves to the program: the tray's balloons, the system report, the end.
    void informationToShow(const QString &text);
    void warningToShow(const QString &text);
    void systemReportRequested();
    void quitRequested();

public Q_SLOTS:
    // Signs in with the fields' values, or shows the sign-in page when one is empty.
    void login();

protected:
    bool eventFilter(QObject *obj, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private Q_SLOTS:
    void service_stateChanged();
    void setCredentials(const QString &user, const QString &password);
    void agent_networksUpdated();
    void agent_protectionUpdated(const QString &id, bool state);
    void agent_settingsLockUpdated(bool locked);
    void agent_stateChanged();
    void agent_connectionComplete();
    void agent_serviceSettingsChanged();
    void tryLockSettings();
    void askForUnlock();
    void stackedWidget_animationFinished();
    void cabinet_credentialsChanged();
    void cabinet_error();
    void cabinet_identificationStateChanged();
    void cabinet_userInfoChanged();
    void cabinet_profilesChanged();
    void updater_checksEnabledChanged(bool enabled);
    void on_ckUseTokens_toggled(bool state);
    void on_lblAgentStatus_linkActivated(const QString &link);
    void on_pbHideSettings_clicked();
    void on_pbHideCommonSettings_clicked();
    void on_pbHideAdvSettings_clicked();
    void on_clbFilter_clicked();
    void on_clbCommonSettings_clicked();
    void on_clbChangeUser_clicked();
    void on_pbLogin_clicked();
    void on_pbCancelLogin_clicked();
    void on_pbHelpOk_clicked();
    void on_ckAutostart_stateChanged(int state);
    void on_cmbProfile_currentIndexChanged(int index);
    void on_btnGlobalFiltering_clicked();
    void on_leLocalDnsAddress_editingFinished();
    void on_leLocalDnsPort_editingFinished();
    void stackedWidget_currentChanged();
    void checkNewVersion();
    void newVersionCheckFinished();

private:
    Q_DISABLE_COPY(MainWidget)

    // Construction: the texts the form leaves to the window, and the refresh wiring.
    void setUpTexts();
    void setUpConnections();

    // Navigation (mainwidget.cpp). Every page change goes through showPage; null checks the current page again.
    void showPage(QWidget *page);
    bool isServicePage(const QWidget *page) const;
    bool isLockablePage(const QWidget *page) const;
    void setServicePagesEnabled(bool enabled);
    // While locked, a lockable page gives way to the login page at once; false when it cannot now (a slide runs)
    // or need not.
    bool leaveLockedPage();

    // Sign-in and unlock (mainwidgetlogin.cpp).
    void setLoginMode(SettingsUnlock::LoginMode mode);
    void enableLoginControls();
    // The fields as the service has just accepted them, or as they stand before the user edits them.
    void takeCredentialsSnapshot();
    // Cancel has somewhere to go back to: sign-in from sign-up, the locked state from unlock, or an account the
    // service already has. At the first start there is none, and Cancel is not offered.
    bool canCancelLogin() const;
    void updateCancelOffer();
    // Typing goes into the first empty field, or over the password after a refusal.
    void focusLoginField();

    // Status page and header (mainwidgetstatus.cpp).
    void updateIdentityLabels();
    void updatePlanBox();
    void selectProfileItem(quint32 profileId);
    // Fits the window to the status block while the status page is shown.
    void fitToStatusPage();

    // Settings tabs (mainwidgetsettings.cpp).
    void rebuildNetworkList();
    NetworkWidgetItem *findNetworkItem(const QString &id) const;
    // A row asks the service to switch its network; true: the event that asked is consumed.
    bool requestProtectionChange(QListWidgetItem *item);
    void sendLocalDnsAddress();

    Ui_MainWidget *ui;
    ServiceConnector *m_connector;
    ServiceStatus *m_status;
    Cabinet *m_cabinet;
    AppUpdater *m_updater;
    SettingsUnlock *m_unlock;
    QString m_previousUser;
    QString m_previousPassword;
    // The service withholds the password of locked settings: it sent the user name with an empty password. The
    // snapshot then holds no password that could be sent back.
    bool m_passwordWithheld;
    QPointer<FilterDlg> m_filterDialog;
    // The protection each network row asked the service for, until the service reports the outcome.
    QHash<QString, bool> m_requestedProtection;
};

#endif // VELMOR_CONSOLE_MAINWIDGET_H
