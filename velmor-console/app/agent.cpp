#include "agent.h"

#include "appearance.h"
#include "commandline.h"
#include "mainwindow/mainwidget.h"
#include "mainwindow/programversion.h"
#include "mainwindow/updateprompt.h"
#include "model/appupdater.h"
#include "model/autostart.h"
#include "model/cabinet.h"
#include "model/consolesettings.h"
#include "model/requesthandler.h"
#include "model/serviceconnector.h"
#include "model/servicestatus.h"
#include "model/settingsunlock.h"
#include "qtsingleapplication.h"
#include "systemtrayicon.h"

#include "platform/settingsstore.h"
#include "velmorwire/accountdatatypes.h"
#include "velmorwire/deferred.h"
#include "velmorwire/error.h"
#include "velmorwire/vendorsite.h"

#include <QApplication>
#include <QFile>
#include <QScreen>
#include <QTimer>

// Outside any namespace, as the resource macro requires.
static void initConsoleResources()
{
    Q_INIT_RESOURCE(console);
}

Agent::Agent(QObject *parent)
    : QObject(parent)
    , m_reportInProgress(false)
    , m_firstStart(false)
    , m_unlockFromOtherProcess(false)
    , m_requestHandler(nullptr)
    , m_connector(nullptr)
    , m_cabinet(nullptr)
    , m_status(nullptr)
    , m_settingsUnlock(nullptr)
    , m_mainWidget(nullptr)
    , m_trayIcon(nullptr)
    , m_updater(nullptr)
    , m_updatePrompt(nullptr)
{
    m_pool.setMaxThreadCount(1);
    Velmor::registerErrorMetaType();
    Velmor::registerDeferredMetaType();
    Velmor::registerAccountDataTypes();
    initConsoleResources();

    QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
    QCoreApplication::setApplicationName(QStringLiteral("Agent"));
    Velmor::Platform::useRootSettings();
    QApplication::setQuitOnLastWindowClosed(false);
    if (auto app = qobject_cast<QtSingleApplication *>(qApp))
        connect(app, &QtSingleApplication::messageReceived, this, &Agent::handleApplicationMessage);

    installTranslators();
    applyPalette();
    applyStyle();

    m_firstStart = ConsoleSettings().isFirstStart();
    if (m_firstStart) {
        setAutostartEnabled(true);
        ConsoleSettings().setFirstStart(false);
    }

    m_connector = new ServiceConnector(this);
    m_cabinet = new Cabinet(m_connector, this);
    m_status = new ServiceStatus(m_connector, m_cabinet, this);
    m_status->setAutoProtect(m_firstStart);
    m_requestHandler = new RequestHandler(m_status, m_cabinet);
    m_connector->setJsonRPCHandler(m_requestHandler);
    m_settingsUnlock = new SettingsUnlock(m_status, m_cabinet, this);
    // The updater goes with the window, which needs it first.
    m_updater = new AppUpdater(tr("Velmor Agent"),
        Velmor::vendorSiteUrl(QStringLiteral("https"), QStringLiteral("/downloads/agent.version")),
        QLatin1String(programVersion));
    m_mainWidget = new MainWidget(m_connector, m_status, m_cabinet, m_updater, m_settingsUnlock);
    m_updater->setParent(m_mainWidget);
    m_trayIcon = new SystemTrayIcon(m_status, m_settingsUnlock, m_cabinet, this);
    m_updatePrompt = new UpdatePrompt(m_updater, m_mainWidget);
    m_updater->setDownloadUrl(
        Velmor::vendorSiteUrl(QStringLiteral("https"), QStringLiteral("/downloads/velmor-agent-setup.exe")));

    connect(qApp, &QCoreApplication::aboutToQuit, this, &Agent::application_aboutToQuit);
    connect(m_connector, &ServiceConnector::serviceError, this, &Agent::service_error);
    connect(m_connector, &ServiceConnector::errorOccurred, this, &Agent::showError);
    connect(m_cabinet, &Cabinet::errorOccurred, this, &Agent::showError);
    connect(m_status, &ServiceStatus::stateUpdated, this, &Agent::status_stateUpdated);
    // After the window's own handler, which may lock the settings first.
    connect(m_status, &ServiceStatus::connectionComplete, this, &Agent::status_connectionComplete);
    connect(m_status, &ServiceStatus::dnsAddressesNeeded, this, &Agent::askForDnsAddresses);
    connect(m_trayIcon, &SystemTrayIcon::showMain, this, &Agent::activateMainWidget);
    connect(m_trayIcon, &SystemTrayIcon::signInRequested, m_mainWidget, &MainWidget::login);
    connect(m_trayIcon, &SystemTrayIcon::quitRequested, this, &Agent::close);
    connect(m_updater, &AppUpdater::finished, this, &Agent::newVersionDownloadFinished);
    connect(m_mainWidget, &MainWidget::informationToShow, this, [this](const QString &text) { showInformation(text); });
    connect(m_mainWidget, &MainWidget::warningToShow, this, [this](const QString &text) { showWarning(text); });
    connect(m_mainWidget, &MainWidget::systemReportRequested, this, &Agent::generateSystemReport);
    connect(m_mainWidget, &MainWidget::quitRequested, this, &Agent::close);

    QTimer::singleShot(0, this, &Agent::run);
}

Agent::~Agent()
{
    m_pool.waitForDone();
    disconnect(m_connector, nullptr, this, nullptr);
    disconnect(m_cabinet, nullptr, this, nullptr);
    disconnect(m_connector, nullptr, m_status, nullptr);
    disconnect(m_cabinet, nullptr, m_status, nullptr);
    disconnect(m_status, nullptr, this, nullptr);
    // The tray's entries reach the window, the window reaches the model and the link: the users go first.
    delete m_trayIcon;
    delete m_mainWidget;
    m_connector->setJsonRPCHandler(nullptr);
    delete m_requestHandler;
}

UpdateDialog *Agent::updateDialog() const
{
    return m_updatePrompt->dialog();
}

bool Agent::geometryFits(const QRect &stored, const QRect &available)
{
    return stored.isValid() && available.adjusted(5, 20, -5, -20).contains(stored);
}

void Agent::run()
{
    m_connector->connectToService();
    m_status->updateState();
    restoreGeometry();
    m_trayIcon->show();
    const QStringList arguments = QCoreApplication::arguments();
    if (!arguments.contains(QLatin1String("-h")) && !isUnlockPending()) {
        m_mainWidget->show();
        if (arguments.contains(QLatin1String("-a"))) {
            m_mainWidget->activateWindow();
            m_mainWidget->raise();
        }
    }
    // An installer left from an earlier update has done its work or never will.
    const QString leftover = installerPath();
    if (!leftover.isEmpty() && QFile::exists(leftover))
        QFile::remove(leftover);
    if (m_updater->checksEnabled())
        m_updater->check();
}

void Agent::restoreGeometry()
{
    const QRect rect = ConsoleSettings().mainWidgetGeometry();
    QScreen *screen = QGuiApplication::primaryScreen();
    if (screen && geometryFits(rect, screen->availableGeometry()))
        m_mainWidget->setGeometry(rect);
}

void Agent::status_stateUpdated()
{
    // While the first connection is still being made nothing is known yet; only a service that cannot be
    // reached grants without asking.
    if (m_status->state() == ServiceStatus::ServiceUnreachable && isUnlockPending() && m_connector->connectionFailed())
        processUnlockRequest();
}

void Agent::status_connectionComplete()
{
    if (isUnlockPending())
        processUnlockRequest();
}

void Agent::close()
{
    QCoreApplication::quit();
}

void Agent::activateMainWidget()
{
    if (m_mainWidget->isVisible()) {
        m_mainWidget->hide();
        return;
    }
    m_mainWidget->show();
    m_mainWidget->activateWindow();
    m_mainWidget->raise();
    m_cabinet->updateProfiles();
}

void Agent::handleApplicationMessage(const QString &message)
{
    if (message == InstanceMessage::close) {
        QCoreApplication::quit();
        return;
    }
    if (InstanceMessage::isUnlock(message))
        requestUnlock(true, InstanceMessage::unlockReason(message));
}

void Agent::application_aboutToQuit()
{
    ConsoleSettings().setMainWidgetGeometry(m_mainWidget->geometry());
}

void Agent::service_error(int e)
{
    m_status->setConnectionComplete(false);
    if (isUnlockPending())
        handleSuccessfulUnlockRequest();
    QString text;
    if (e == 1)
        text = tr("Failed to connect to system service!");
    else if (e == 2)
        text = tr("The connection to system service was interrupted!");
    else
        return;
    m_trayIcon->setToolTip(text);
    showError(text, tr("Service error"));
}

void Agent::showInformation(const QString &text, const QString &title)
{
    showMessage(QSystemTrayIcon::Information, text, title.isEmpty() ? tr("Velmor Agent") : title);
}

void Agent::showError(const QString &text, const QString &title)
{
    showMessage(QSystemTrayIcon::Critical, text, title.isEmpty() ? tr("Error!") : title);
}

void Agent::showWarning(const QString &text, const QString &title)
{
    showMessage(QSystemTrayIcon::Warning, text, title.isEmpty() ? tr("Warning!") : title);
}

void Agent::showMessage(QSystemTrayIcon::MessageIcon icon, const QString &text, const QString &title)
{
    m_trayIcon->showMessage(title, text, icon, 10000);
    Q_EMIT messageShown(icon, title, text);
}
