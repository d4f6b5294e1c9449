#ifndef VELMOR_CONSOLE_AGENT_H
#define VELMOR_CONSOLE_AGENT_H

#include "velmorwire/hostlist.h"
#include "velmorwire/network.h"
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
class SystemTrayIcon;

namespace Velmor {
class JsonRPCCall;
}

// The controller of the tray program: it sets the application up, owns the link to the service, the account
// model, the main window and the tray icon, keeps the program's view of the service (one status state from 1
// to 7) and answers the settings-unlock requests of its own "-p" and of other copies.
class Agent : public QObject
{
    Q_OBJECT

public:
    // The status, followed by the tray and the status page.
    enum State {
        NotStarted = 0,
        ServiceUnreachable = 1,
        Connecting = 2,
        IdentificationFailed = 3,
        NoNetworks = 4,
        NothingProtected = 5,
        FilteringOff = 6,
        Protected = 7,
    };
    Q_ENUM(State)

    explicit Agent(QObject *parent = nullptr);
    ~Agent() override;

    int state() const { return m_state; }
    QString stateText() const { return m_stateText; }
    bool isConnectionComplete() const { return m_connectionComplete; }
    bool isUnlockPending() const { return m_unlockPending; }
    bool isGlobalFilteringEnabled() const { return m_globalFiltering; }
    const Velmor::NetworksInfo &networks() const { return m_networks; }
    const QVariantMap &serviceSettings() const { return m_serviceSettings; }
    ServiceConnector *connector() const { return m_connector; }
    Cabinet *cabinet() const { return m_cabinet; }
    MainWidget *mainWidget() const { return m_mainWidget; }
    SystemTrayIcon *trayIcon() const { return m_trayIcon; }
    RequestHandler *requestHandler() const { return m_requestHandler; }
    AppUpdater *updater() const { return m_updater; }

    // The state the inputs give, tested in the order of the table: link, completeness, identification,
    // filtering switch, protection.
    static State stateFor(
        bool connected, bool complete, bool identified, bool globalFiltering, const Velmor::NetworksInfo &networks);
    static QString stateTextFor(int state);
    // Whether a stored window rectangle fits the available screen area less bands of 5 px at the sides and
    // 20 px at the top and bottom.
    static bool geometryFits(const QRect &stored, const QRect &available);

    // Unlock requests: the program's own "-p" (fromOtherProcess false) or a message from another copy.
    void requestUnlock(bool fromOtherProcess, const QString &reason);
    void processUnlockRequest();

    void setNetworks(const Velmor::NetworksInfo &info);
    Velmor::JsonRPCCall *setNetworkProtection(const QString &networkId, bool enabled, const Velmor::HostList &dns);
    // Minutes 0: until the service restarts.
    void setGlobalFiltering(bool enabled, int minutes);

    // For the notification handler.
    void setConnectionComplete(bool complete) { m_connectionComplete = complete; }
    void setServiceSettings(const QVariantMap &settings);
    void setGlobalFilteringState(bool enabled);
    void applyNetworkProtection(const QString &networkId, bool enabled);

    // Tray balloons; an empty title takes the default one.
    void showInformation(const QString &text, const QString &title = QString());
    void showError(const QString &text, const QString &title = QString());
    void showWarning(const QString &text, const QString &title = QString());

    static void openUrl(const QString &url);
    static bool isAutostartEnabled();
    static void setAutostartEnabled(bool enabled);

    // Where a downloaded installer is started from: the user's temporary folder; empty when it is not available.
    static QString installerPath();

    // The system report: this program's lines, the browser check and the service's half, shown in a dialog.
    void generateSystemReport();

Q_SIGNALS:
    void networksUpdated();
    void protectionUpdated(const QString &networkId, bool enabled);
    void settingsLockUpdated(bool locked);
    void globalFilteringChanged();
    void stateChanged();
    void connectionComplete();
    void serviceSettingsChanged();
    // Every balloon the tray is asked to show: without a tray host nobody would see it.
    void messageShown(QSystemTrayIcon::MessageIcon icon, const QString &title, const QString &text);

public Q_SLOTS:
    void setSettingsProtection(bool state);
    void close();
    void updateState();
    void activateMainWidget();
    void turnOnGlobalFiltering();
    void setNewVersionCheckEnabled(bool enabled);

private Q_SLOTS:
    void run();
    void handleApplicationMessage(const QString &message);
    void newVersionDownloadFinished();
    void systemInfoReportReady();
    void service_protectionUpdated();
    void application_aboutToQuit();
    void service_error(int e);
    void handleSuccessfulUnlockRequest();
    void handleCanceledUnlockRequest();
    void saveSystemReport();

private:
    Q_DISABLE_COPY(Agent)

    void answerUnlockRequest(bool granted);
    void askForDnsAddresses(const QString &networkId, bool enabled);
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
    bool m_autoProtect;
    bool m_connectionComplete;
    bool m_globalFiltering;
    bool m_unlockPending;
    bool m_unlockFromOtherProcess;
    QString m_unlockReason;
    int m_state;
    QString m_stateText;
    Velmor::NetworksInfo m_networks;
    QVariantMap m_serviceSettings;
    RequestHandler *m_requestHandler;
    ServiceConnector *m_connector;
    Cabinet *m_cabinet;
    MainWidget *m_mainWidget;
    SystemTrayIcon *m_trayIcon;
    AppUpdater *m_updater;
};

#endif // VELMOR_CONSOLE_AGENT_H
