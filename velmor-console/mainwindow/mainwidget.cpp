#include "mainwidget.h"

#include "filter/filterdlg.h"
#include "model/appupdater.h"
#include "model/autostart.h"
#include "model/brand.h"
#include "model/cabinet.h"
#include "model/errortext.h"
#include "model/serviceconnector.h"
#include "model/servicestatus.h"
#include "programversion.h"
#include "ui_mainwidget.h"
#include "vendorcontact.h"

#include "velmorwire/vendor.h"

#include <QDesktopServices>
#include <QIntValidator>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTranslator>

MainWidget::MainWidget(ServiceConnector *connector, ServiceStatus *status, Cabinet *cabinet, AppUpdater *updater,
    SettingsUnlock *unlock, QWidget *parent)
    : QWidget(parent)
    , ui(new Ui_MainWidget)
    , m_connector(connector)
    , m_status(status)
    , m_cabinet(cabinet)
    , m_updater(updater)
    , m_unlock(unlock)
    , m_passwordWithheld(false)
{
    ui->setupUi(this);
    setUpTexts();

    ui->lstNetworks->viewport()->installEventFilter(this);
    // The keyboard's way of toggling a row must take the click's way through the service.
    ui->lstNetworks->installEventFilter(this);
    ui->loginPage->installEventFilter(this);
    ui->helpPage->installEventFilter(this);
    ui->settingsPage->installEventFilter(this);
    ui->welcomePage->installEventFilter(this);

    // Through the by-name slot this writes an existing entry again, with the program's current path.
    if (isAutostartEnabled())
        ui->ckAutostart->setChecked(true);

    ui->lblHelpHint->setText(
        tr("To make the work of technical support more effective please send <a href=\"agent:systeminforeport\" "
           "style=\"white-space:nowrap\">system info</a> report with description of your problem."));
    ui->tabGeneralSettings->setStyleSheet(
        QStringLiteral("QWidget[objectName=tabGeneralSettings] { background-color:white; }"));
    ui->tabConnectionSettings->setStyleSheet(
        QStringLiteral("QWidget[objectName=tabConnectionSettings] { background-color:white; }"));
    ui->tabAdvancedSettings->setStyleSheet(
        QStringLiteral("QWidget[objectName=tabAdvancedSettings] { background-color:white; }"));
    ui->lblUpdateApp->setText(displayedVersion(QLatin1String(programVersion)));
    // A picture alone does not say what a click on it does.
    ui->lblUpdateAppIcon->setToolTip(tr("Check for a new version"));
    ui->lblUpdateAppIcon->setAccessibleName(tr("Check for a new version"));

    // The label column is as wide in every login mode as the widest label makes it, so the fields never move
    // sideways; the terms text keeps a gap to the first row.
    ui->lblRepeatPassword->ensurePolished();
    ui->lblUser->setMinimumWidth(ui->lblRepeatPassword->sizeHint().width());
    ui->lblRegisterHint->setContentsMargins(0, 0, 0, 8);

    setLoginMode(SettingsUnlock::SignIn);

    // Before its connections exist, so the updater's flag is not sent back to it.
    ui->ckCheckUpdates->setChecked(m_updater->checksEnabled());

    const QString phone = supportPhone();
    if (phone.isEmpty()) {
        ui->lblPhoneLabel->hide();
        ui->lblPhone->hide();
    } else {
        ui->lblPhone->setText(phone);
    }
    setServicePagesEnabled(false);
    ui->planWidget->hide();
    ui->lblStatusNote->hide();
    ui->lblNetworkNote->hide();
    // The note's room is kept while it is hidden, so that it never pushes the list away under the pointer.
    QSizePolicy notePolicy = ui->lblNetworkNote->sizePolicy();
    notePolicy.setRetainSizeWhenHidden(true);
    ui->lblNetworkNote->setSizePolicy(notePolicy);
    ui->lblNetworkNote->setFixedHeight(2 * ui->lblNetworkNote->fontMetrics().lineSpacing() + 4);
    ui->frameHeader->setStyleSheet(brandTranslator()->translate("MainWidget", "STYLE_header"));
    ui->leLocalDnsPort->setValidator(new QIntValidator(1, 65535, ui->leLocalDnsPort));
    ui->leLocalDnsPort->hide();

    setUpConnections();
}

MainWidget::~MainWidget()
{
    delete ui;
}

void MainWidget::setUpTexts()
{
    setWindowTitle(tr("Velmor Agent", "dlgtitle"));
    ui->ckUseTokens->setWhatsThis(
        tr("<b>Advanced identification</b> mode improves identification of your computer behind NAT(Network "
           "Address Translation). So if you connect to internet through other computer in your home or office "
           "network you probably have to activate this option.<br/><br/><b>Technical details:</b><br/>%1 starts "
           "its own DNS server on 127.0.0.1:53 which modifies DNS packets and sends them to server. It also starts "
           "HTTP server on 127.0.0.1:13107 for blockpages. So ensure nothing else runs on these ports or advanced "
           "identification will not work properly.")
            .arg(tr("Velmor Agent")));
    ui->lblRegisterHint->setText(
        tr("Please read <a href=\"https://www.%1/info/terms\">Terms of Service</a> before registration. Hitting "
           "\"Sign Up\" you hereby confirm that you fully understand and accept all Terms of Service points.")
            .arg(QLatin1String(Velmor::vendorDomain)));
    ui->lblForgotPassword->setText(vendorLink(QStringLiteral("/auth/forgot"), tr("Forgot your password?")));
    ui->lblSite->setText(vendorLink(QStringLiteral("/"), vendorHost()));
    ui->lblEmail->setText(vendorLink(QStringLiteral("/feedback"), tr("Write to support")));
    ui->lblUsersInstruction->setText(vendorLink(QStringLiteral("/info/guides/agent"), tr("Instruction how to use")));
}

void MainWidget::setUpConnections()
{
    ServiceConnector *connector = m_connector;
    Cabinet *cabinet = m_cabinet;
    connect(connector, &ServiceConnector::connected, this, &MainWidget::service_stateChanged);
    connect(connector, &ServiceConnector::disconnected, this, &MainWidget::service_stateChanged);
    connect(m_status, &ServiceStatus::networksUpdated, this, &MainWidget::agent_networksUpdated);
    connect(m_status, &ServiceStatus::protectionUpdated, this, &MainWidget::agent_protectionUpdated);
    connect(m_status, &ServiceStatus::settingsLockUpdated, this, &MainWidget::agent_settingsLockUpdated);
    connect(m_status, &ServiceStatus::stateChanged, this, &MainWidget::agent_stateChanged);
    connect(m_status, &ServiceStatus::connectionComplete, this, &MainWidget::agent_connectionComplete);
    connect(m_status, &ServiceStatus::serviceSettingsChanged, this, &MainWidget::agent_serviceSettingsChanged);
    connect(cabinet, &Cabinet::error, this, &MainWidget::cabinet_error);
    connect(cabinet, &Cabinet::identificationStateChanged, this, &MainWidget::cabinet_identificationStateChanged);
    connect(cabinet, &Cabinet::credentialsUpdated, this, &MainWidget::setCredentials);
    connect(cabinet, &Cabinet::userInfoChanged, this, &MainWidget::cabinet_userInfoChanged);
    connect(cabinet, &Cabinet::profilesChanged, this, &MainWidget::cabinet_profilesChanged);
    connect(ui->lblHelpHint, &QLabel::linkActivated, this, &MainWidget::on_lblAgentStatus_linkActivated);
    connect(ui->lblRegisterNew, &QLabel::linkActivated, this, &MainWidget::on_lblAgentStatus_linkActivated);
    connect(ui->lblUpdateAppIcon, &QLabel::linkActivated, this, &MainWidget::checkNewVersion);
    connect(ui->ckCheckUpdates, &QCheckBox::toggled, m_updater, &AppUpdater::setChecksEnabled);
    connect(m_updater, &AppUpdater::checksEnabledChanged, this, &MainWidget::updater_checksEnabledChanged);
    connect(ui->ckPasswordSettings, &QCheckBox::toggled, m_status, &ServiceStatus::setSettingsProtection);
    connect(ui->stackedWidget, &SlidingStackedWidget::animationFinished, this,
        &MainWidget::stackedWidget_animationFinished);
    connect(ui->stackedWidget, &QStackedWidget::currentChanged, this, &MainWidget::stackedWidget_currentChanged);
    connect(m_unlock, &SettingsUnlock::unlockNeeded, this, &MainWidget::askForUnlock);
    connect(m_unlock, &SettingsUnlock::profileTaken, this, &MainWidget::selectProfileItem);
}

bool MainWidget::isServicePage(const QWidget *page) const
{
    return page == ui->settingsPage || page == ui->advancedSettingsPage || page == ui->loginPage;
}

bool MainWidget::isLockablePage(const QWidget *page) const
{
    // Every page that changes settings: the window can be hidden on any of them, and a locked window shows none.
    return page == ui->settingsPage || page == ui->commonSettingsPage || page == ui->advancedSettingsPage;
}

void MainWidget::setServicePagesEnabled(bool enabled)
{
    ui->settingsPage->setEnabled(enabled);
    ui->loginPage->setEnabled(enabled);
    ui->advancedSettingsPage->setEnabled(enabled);
}

void MainWidget::showPage(QWidget *page)
{
    QWidget *current = ui->stackedWidget->currentWidget();
    QWidget *target = page ? page : current;
    if (m_connector->state() != ServiceConnector::Connected && isServicePage(target))
        target = isServicePage(current) ? ui->welcomePage : current;
    if (m_unlock->isLocked() && (isLockablePage(target) || isLockablePage(current)))
        target = ui->loginPage;
    if (target != current)
        ui->stackedWidget->slideInIdx(ui->stackedWidget->indexOf(target), SlidingStackedWidget::SlideAuto);
}

bool MainWidget::leaveLockedPage()
{
    if (!m_unlock->isLocked() || !isLockablePage(ui->stackedWidget->currentWidget()) || ui->stackedWidget->isSliding())
        return false;
    // No slide: a window shown again must not offer the settings page for the length of one.
    ui->stackedWidget->setCurrentWidget(ui->loginPage);
    return true;
}

void MainWidget::stackedWidget_animationFinished()
{
    // A page request made during the slide was dropped by the stack, a lock's among them.
    if (!leaveLockedPage())
        showPage(nullptr);
}

void MainWidget::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_A && event->modifiers() == (Qt::ControlModifier | Qt::AltModifier))
        showPage(ui->advancedSettingsPage);
}

bool MainWidget::eventFilter(QObject *obj, QEvent *event)
{
    if (obj == ui->lstNetworks->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const QPoint position = static_cast<QMouseEvent *>(event)->position().toPoint();
        const QModelIndex index = ui->lstNetworks->indexAt(position);
        if (!index.isValid() || index.column() != 0)
            return false;
        return requestProtectionChange(ui->lstNetworks->item(index.row()));
    }
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(obj, event);
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (obj == ui->lstNetworks && (key == Qt::Key_Space || key == Qt::Key_Select)) {
        QListWidgetItem *current = ui->lstNetworks->currentItem();
        return current && requestProtectionChange(current);
    }
    if (key != Qt::Key_Escape)
        return QWidget::eventFilter(obj, event);
    if (obj == ui->loginPage) {
        ui->pbCancelLogin->animateClick();
        return true;
    }
    if (obj == ui->welcomePage)
        hide();
    else if (obj == ui->settingsPage || obj == ui->helpPage)
        showPage(ui->welcomePage);
    return QWidget::eventFilter(obj, event);
}

void MainWidget::hideEvent(QHideEvent *event)
{
    tryLockSettings();
    QWidget::hideEvent(event);
}

void MainWidget::on_lblAgentStatus_linkActivated(const QString &link)
{
    if (!link.startsWith(QLatin1String("agent:"))) {
        QDesktopServices::openUrl(QUrl(QUrl::fromPercentEncoding(link.toUtf8())));
        return;
    }
    const QString command = link.mid(6);
    if (command == QLatin1String("showsettings")) {
        if (m_connector->state() != ServiceConnector::Connected) {
            // The link stays where the design puts it; the page it leads to needs the service.
            ui->lblStatusNote->setText(
                tr("The settings are not available while the system service is not running. They open once "
                   "the service is started."));
            ui->lblStatusNote->show();
            fitToStatusPage();
        }
        showPage(ui->settingsPage);
    } else if (command == QLatin1String("showhelp")) {
        showPage(ui->helpPage);
    } else if (command == QLatin1String("showcabineterror")) {
        QMessageBox::critical(this, tr("Identification error"), errorText(m_cabinet->lastError()));
    } else if (command == QLatin1String("systeminforeport")) {
        Q_EMIT systemReportRequested();
    } else if (command == QLatin1String("showregisterform")) {
        setLoginMode(SettingsUnlock::SignUp);
    }
}

void MainWidget::on_pbHideSettings_clicked()
{
    showPage(ui->welcomePage);
}

void MainWidget::on_pbHideCommonSettings_clicked()
{
    showPage(ui->settingsPage);
}

void MainWidget::on_pbHideAdvSettings_clicked()
{
    showPage(ui->welcomePage);
}

void MainWidget::on_pbHelpOk_clicked()
{
    showPage(ui->welcomePage);
}

void MainWidget::on_clbCommonSettings_clicked()
{
    showPage(ui->commonSettingsPage);
}

void MainWidget::on_clbFilter_clicked()
{
    if (m_filterDialog) {
        m_filterDialog->raise();
        m_filterDialog->activateWindow();
        return;
    }
    m_filterDialog = new FilterDlg(m_cabinet, this);
    m_filterDialog->setAttribute(Qt::WA_DeleteOnClose);
    m_filterDialog->show();
}

void MainWidget::checkNewVersion()
{
    AppUpdater *updater = m_updater;
    // A click during a running check starts nothing: that check's end answers the click.
    connect(updater, &AppUpdater::checkFinished, this, &MainWidget::newVersionCheckFinished, Qt::UniqueConnection);
    updater->check();
}

void MainWidget::newVersionCheckFinished()
{
    // Once per click: each click connects anew.
    AppUpdater *updater = m_updater;
    disconnect(updater, nullptr, this, nullptr);
    // A newer version shows the updater's own dialog.
    if (updater->checkResult() == AppUpdater::NothingNewer)
        Q_EMIT informationToShow(tr("No new versions available"));
    else if (updater->checkResult() == AppUpdater::CheckFailed)
        Q_EMIT warningToShow(tr("Could not check for new versions: %1").arg(updater->errorText()));
}

void MainWidget::service_stateChanged()
{
    const ServiceConnector::State state = m_connector->state();
    showPage(ui->welcomePage);
    // Every connection completes anew: until its identification arrives the protected pages stay closed, or a
    // reconnect would open locked settings without the password.
    setServicePagesEnabled(false);
    if (state != ServiceConnector::Unconnected)
        setLoginMode(SettingsUnlock::SignIn);
    if (m_filterDialog)
        m_filterDialog->close();
    ui->clbFilter->setEnabled(!m_cabinet->profiles().isEmpty());
    if (state == ServiceConnector::Connected)
        ui->lblStatusNote->hide();
    // What the header shows belongs to the connection: without it the account's profile and plan are unknown.
    updateIdentityLabels();
    updatePlanBox();
}

void MainWidget::stackedWidget_currentChanged()
{
    fitToStatusPage();
}

void MainWidget::agent_connectionComplete()
{
    setServicePagesEnabled(true);
    tryLockSettings();
    if (m_unlock->isLocked() && m_unlock->isRequestPending()) {
        showPage(ui->loginPage);
        raise();
        activateWindow();
    }
}
