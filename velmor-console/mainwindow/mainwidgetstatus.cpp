#include "mainwidget.h"

#include "model/cabinet.h"
#include "model/profileorder.h"
#include "model/serviceconnector.h"
#include "model/servicestatus.h"
#include "ui_mainwidget.h"
#include "vendorcontact.h"

#include <QAbstractTextDocumentLayout>
#include <QIcon>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace {

const QString freePlan = QStringLiteral("FREE");

// Qt 6 compares variants of different types by other rules than Qt 4 did, so the feature's value is read by an
// explicit rule: the number 1 (whole or floating), true, or the text "1".
bool isFeatureOn(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return value.toLongLong() == 1 && value.toULongLong() == 1;
    case QMetaType::Double:
    case QMetaType::Float:
        return value.toDouble() == 1.0;
    case QMetaType::QString:
        return value.toString() == QLatin1String("1");
    default:
        return false;
    }
}

// A width of the status label at which its headline, which may not wrap, stays on one line: the label's own
// width hint is measured at a guessed width and falls a few pixels short for some headlines.
int headlineWidth(const QLabel *label, const QString &headline)
{
    QTextDocument document;
    document.setDefaultFont(label->font());
    document.setHtml(label->text());
    QTextBlock block = document.begin();
    while (block.isValid() && !block.text().replace(QChar::Nbsp, QLatin1Char(' ')).contains(headline))
        block = block.next();
    const QMargins margins = label->contentsMargins();
    int width = qMax(1, label->sizeHint().width() - margins.left() - margins.right());
    if (!block.isValid())
        return 0;
    for (int step = 0; step < 500; ++step) {
        document.setTextWidth(width);
        (void)document.documentLayout()->blockBoundingRect(block);
        if (block.layout()->lineCount() <= 1)
            break;
        width += 4;
    }
    return width + margins.left() + margins.right();
}

} // namespace

void MainWidget::agent_stateChanged()
{
    const ServiceStatus::State state = m_status->state();
    QString picture;
    QString explanation;
    switch (state) {
    case ServiceStatus::Connecting:
        picture = QStringLiteral(":/icons/status-info");
        explanation = tr("The system service is successfully connected and now awaiting for finish of "
                         "initialization steps.");
        break;
    case ServiceStatus::IdentificationFailed:
        picture = QStringLiteral(":/icons/status-warning");
        explanation = tr("Failed to setup identification of this computer on service. Filtering settings will not "
                         "work. Please check your <a href=\"agent:showsettings\">settings</a> or contact technical "
                         "support.\n<a href=\"agent:showcabineterror\">Error details</a>.");
        break;
    case ServiceStatus::NoNetworks:
        picture = QStringLiteral(":/icons/status-warning");
        explanation = tr("%1 was unable to retrieve the information about internet connections on this computer. "
                         "Probably the computer is disconnected from internet or type of connection is not "
                         "supported yet by agent.")
                          .arg(tr("Velmor Agent"));
        break;
    case ServiceStatus::NothingProtected:
        picture = QStringLiteral(":/icons/status-info");
        explanation = tr("The filtration was not activated on any of internet connections. To activate it click "
                         "on settings link.");
        break;
    case ServiceStatus::FilteringOff:
        picture = QStringLiteral(":/icons/status-info");
        explanation = tr("The filtration was disabled. You may enable it back with button at bottom left.");
        break;
    case ServiceStatus::Protected:
        picture = QStringLiteral(":/icons/status-ok");
        explanation = tr("This computer is successfully connected to service and now it's performing filtering "
                         "according to your account settings.");
        break;
    default:
        picture = QStringLiteral(":/icons/status-error");
        // Only a service that never answered may still be starting; one that answered and went away stopped.
        if (m_connector->wasEverConnected())
            explanation = tr("The service part of %1 doesn't work. The service was running and has stopped. Try "
                             "to start it manually. Notice, %1 will not work without this service.")
                              .arg(tr("Velmor Agent"));
        else
            explanation = tr("The service part of %1 doesn't work. Probably the service is still starting. If it "
                             "will not start in a minute try to start it manually. Notice, %1 will not work "
                             "without this service.")
                              .arg(tr("Velmor Agent"));
        break;
    }
    QString premium;
    if (m_cabinet->userInfo().planCode == freePlan)
        premium
            = QLatin1String(" | ") + vendorLink(QStringLiteral("/billing/order?plan=PREMIUM"), tr("Buy Premium plan"));

    ui->lblAgentStatus->setText(
        QLatin1String("<table><tbody><tr><td width=\"100\" valign=\"top\"><img style=\"margin-top:35px; "
                      "margin-left: 15px;\" src=\"")
        + picture
        + QLatin1String("\"></td><td><span style=\"margin-left: 5px; margin-right: 25px; margin-top: 25px; "
                        "text-align: left; font-family: Tahoma; font-size: 18pt; font-weight: bold; color: "
                        "#333;white-space:nowrap\">")
        + m_status->stateText()
        + QLatin1String("</span><p style=\"margin-left: 5px; margin-right: 25px; margin-top: 15px; text-align: "
                        "left; font-family: Tahoma; font-size: 11pt; font-weight: normal; color: #333;\">")
        + explanation
        + QLatin1String("</p><p style=\"margin-left: 5px; margin-right: 25px; margin-top: 25px; text-align: left; "
                        "font-family: Tahoma; font-size: 10pt; font-weight: normal; color: #659ebf;\"><a "
                        "href=\"agent:showsettings\">")
        + tr("Settings") + QLatin1String("</a> | <a href=\"agent:showhelp\">") + tr("Need help?")
        + QLatin1String("</a>") + premium + QLatin1String("</p></td></tr></tbody></table>"));
    ui->lblAgentStatus->setMinimumWidth(headlineWidth(ui->lblAgentStatus, m_status->stateText()));

    const bool switchable = m_status->isSwitchable();
    ui->btnGlobalFiltering->setVisible(switchable);
    // The space on the right balances the button and its spacing on the left (a spacer takes no spacing), so
    // that OK stays centred with or without the button.
    const int balance = ui->btnGlobalFiltering->maximumWidth() + qMax(0, ui->horizontalLayout_hideAgent->spacing());
    ui->horizontalSpacer_hideAgentBalance->changeSize(
        switchable ? balance : 0, 20, QSizePolicy::Fixed, QSizePolicy::Minimum);
    ui->horizontalLayout_hideAgent->invalidate();
    if (state == ServiceStatus::Protected) {
        ui->btnGlobalFiltering->setIcon(QIcon(QStringLiteral(":/icons/agent_on")));
        ui->btnGlobalFiltering->setToolTip(tr("Stop filtering"));
    } else if (state == ServiceStatus::FilteringOff) {
        ui->btnGlobalFiltering->setIcon(QIcon(QStringLiteral(":/icons/agent_off")));
        ui->btnGlobalFiltering->setToolTip(tr("Start filtering"));
    }
    fitToStatusPage();
}

void MainWidget::fitToStatusPage()
{
    // Another page keeps its size: a window that grows behind it moves the page under the pointer.
    if (ui->stackedWidget->currentWidget() != ui->welcomePage)
        return;
    // The hint must come from the new text: the layouts are brought up to date before it is read.
    ui->welcomePage->layout()->activate();
    layout()->activate();
    resize(sizeHint().expandedTo(minimumSizeHint()));
}

void MainWidget::on_btnGlobalFiltering_clicked()
{
    // Switching off waits for the password of locked settings; switching on never does.
    if (m_status->state() == ServiceStatus::Protected)
        turnOffFiltering(0);
    else
        m_status->setGlobalFiltering(true, 0);
}

void MainWidget::updateIdentityLabels()
{
    Cabinet *cabinet = m_cabinet;
    QString title = tr("Identification");
    QString value = tr("Unavailable");
    {
        const QSignalBlocker blocker(ui->ckUseTokens);
        ui->ckUseTokens->setChecked(cabinet->isTokenMode());
    }
    if (m_connector->state() == ServiceConnector::Connected) {
        if (cabinet->isTokenMode()) {
            title = tr("Current profile:");
            const QString name = cabinet->currentProfileName();
            if (!name.isEmpty())
                value = name;
        } else {
            title = tr("Your IP:");
            if (cabinet->isIdentified())
                value = cabinet->ipAddress();
        }
    }
    ui->lbl_identityTitle->setText(title);
    // A long profile name would widen the window without end.
    // The header keeps the room it has beside the logo, about 16 characters of its large font.
    const QString shown = shownProfileName(value, ui->lbl_identityStatus->fontMetrics(), 16);
    ui->lbl_identityStatus->setText(shown);
    ui->lbl_identityStatus->setToolTip(shown == value ? QString() : value);
}

void MainWidget::updatePlanBox()
{
    ui->planWidget->setVisible(
        m_connector->state() == ServiceConnector::Connected && m_cabinet->userInfo().planCode == freePlan);
}

void MainWidget::cabinet_userInfoChanged()
{
    const Velmor::CabinetUserInfo &info = m_cabinet->userInfo();
    updatePlanBox();
    const QString feature = QStringLiteral("agent_ip_mode");
    const bool ipMode = info.features.contains(feature) && isFeatureOn(info.features.value(feature));
    ui->lblLocalDnsAddress->setVisible(ipMode);
    ui->leLocalDnsAddress->setVisible(ipMode);
    ui->lblCatservDns->hide();
    ui->leCatservDns->hide();
    ui->ckUseTokens->setVisible(ipMode);
    if (ipMode) {
        // Inserting a page the tab widget holds moves it, so there is never a second Advanced tab.
        ui->settingsTabWidget->insertTab(3, ui->tabAdvancedSettings, tr("Advanced"));
    } else {
        const int index = ui->settingsTabWidget->indexOf(ui->tabAdvancedSettings);
        if (index >= 0)
            ui->settingsTabWidget->removeTab(index);
    }
    ui->lblPlanName->setText(info.planName);
    agent_stateChanged();
}

void MainWidget::cabinet_profilesChanged()
{
    Cabinet *cabinet = m_cabinet;
    const quint32 selected = cabinet->selectedProfileId();
    const QSignalBlocker blocker(ui->cmbProfile);
    ui->cmbProfile->clear();
    const auto profiles = sortedProfiles(cabinet->profiles());
    for (const auto &profile : profiles) {
        ui->cmbProfile->addItem(
            shownProfileName(profile->name, ui->cmbProfile), QVariant::fromValue<uint>(profile->id));
        ui->cmbProfile->setItemData(ui->cmbProfile->count() - 1, profile->name, Qt::ToolTipRole);
        if (profile->id == selected) {
            ui->cmbProfile->setCurrentIndex(ui->cmbProfile->count() - 1);
            updateIdentityLabels();
        }
    }
    ui->clbFilter->setEnabled(!profiles.isEmpty());
}

void MainWidget::selectProfileItem(quint32 profileId)
{
    const QSignalBlocker blocker(ui->cmbProfile);
    for (int i = 0; i < ui->cmbProfile->count(); ++i) {
        if (ui->cmbProfile->itemData(i).toUInt() == profileId)
            ui->cmbProfile->setCurrentIndex(i);
    }
}

void MainWidget::on_cmbProfile_currentIndexChanged(int index)
{
    if (index < 0)
        return;
    m_cabinet->setProfile(ui->cmbProfile->itemData(index).toUInt());
}
