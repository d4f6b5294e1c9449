#ifndef VELMOR_CONSOLE_AGENT_H
#define VELMOR_CONSOLE_AGENT_H

#include "model/servicestatus.h"

#include "velmorwire/testresult.h"

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QThreadPool>
#include <QVariantMap>

class AppUpdater;
class Cabinet;
class MainWidget;
class RequestHandler;
class ServiceConnector;
class ServiceStatus;
class SettingsUnlock;
class SystemTrayIcon;
class UpdateDialog;
class UpdatePrompt;

namespace Velmor {
class JsonRPCCall;
}

// The top of the tray program: it sets the application up, owns the link to the service, the account model, the
// service status, the main window and the tray icon, shows the model's errors in the tray and answers the
// settings-unlock requests of its own "-p" and of other copies.
class Agent : public QObject
{
    Q_OBJECT

public:
    explicit Agent(QObject *parent = nullptr);
    ~Agent() override;

    bool isUnlockPending() const;
    ServiceStatus *status() const { return m_status; }
    SettingsUnlock *settingsUnlock() const { return m_settingsUnlock; }
    ServiceConnector *connector() const { return m_connector; }
    Cabinet *cabinet() const { return m_cabinet; }
    MainWidget *mainWidget() const { return m_mainWidget; }
    SystemTrayIcon *trayIcon() const { return m_trayIcon; }
    RequestHandler *requestHandler() const { return m_requestHandler; }
    AppUpdater *updater() const { return m_updater; }
    UpdateDialog *updateDialog() const;

    // Whether a stored window rectangle fits the available screen area less bands of 5 px at the sides and
    // 20 px at the top and bottom.
    static bool geometryFits(const QRect &stored, const QRect &available);

    // Unlock requests: the program's own "-p" (fromOtherProcess false) or a message from another copy.
    void requestUnlock(bool fromOtherProcess, const QString &reason);
    void processUnlockRequest();

    // Tray balloons; an empty title takes the default one.
    void showInformation(const QString &text, const QString &title = QString());
    void showError(const QString &text, const QString &title = QString());
    void showWarning(const QString &text, const QString &title = QString());

    // Where a downloaded installer is started from: the user's temporary folder; empty when it is not available.
    static QString installerPath();

    // The system report: this program's lines, the browser check and the service's half, shown in a dialog.
    void generateSystemReport();

Q_SIGNALS:
    // Every balloon the tray is asked to show: without a tray host nobody would see it.
    void messageShown(QSystemTrayIcon::MessageIcon icon, const QString &title, const QString &text);

public Q_SLOTS:
    void close();
    void activateMainWidget();

private Q_SLOTS:
    void run();
    void handleApplicationMessage(const QString &message);
    void newVersionDownloadFinished();
    void systemInfoReportReady();
    void status_stateUpdated();
    void status_connectionComplete();
    void askForDnsAddresses(const QString &networkId, bool enabled);
    void application_aboutToQuit();
    void service_error(int e);
    void handleSuccessfulUnlockRequest();
    void handleCanceledUnlockRequest();
    void saveSystemReport();

private:
    Q_DISABLE_COPY(Agent)

    void answerUnlockRequest(bool granted);
    void showMessage(QSystemTrayIcon::MessageIcon icon, const QString &text, const QString &title);
    void restoreGeometry();
    // The report dialog, started from the event loop.
    void queueSystemReport(const QString &servicePart);
    void showSystemReport(const QString &servicePart);
    QString systemReportText(const QString &servicePart);

    QThreadPool m_pool;
    TestResult m_browserCheck;
    bool m_reportInProgress;
    QString m_reportText;
    QPointer<QDialog> m_reportDialog;
    bool m_firstStart;
    bool m_unlockFromOtherProcess;
    QString m_unlockReason;
    RequestHandler *m_requestHandler;
    ServiceConnector *m_connector;
    Cabinet *m_cabinet;
    ServiceStatus *m_status;
    SettingsUnlock *m_settingsUnlock;
    MainWidget *m_mainWidget;
    SystemTrayIcon *m_trayIcon;
    AppUpdater *m_updater;
    UpdatePrompt *m_updatePrompt;
};

#endif // VELMOR_CONSOLE_AGENT_H
