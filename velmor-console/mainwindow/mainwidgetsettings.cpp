#include "mainwidget.h"

#include "memorymsgbox.h"
#include "model/autostart.h"
#include "model/cabinet.h"
#include "model/serviceconnector.h"
#include "model/servicestatus.h"
#include "model/typedaddress.h"
#include "networkwidgetitem.h"
#include "ui_mainwidget.h"

#include "velmorwire/hostlist.h"
#include "velmorwire/jsonrpccall.h"
#include "velmorwire/methodnames.h"

void MainWidget::agent_networksUpdated()
{
    rebuildNetworkList();
}

void MainWidget::rebuildNetworkList()
{
    ui->lstNetworks->clear();
    const Velmor::NetworksInfo &info = m_status->networks();
    for (const Velmor::Network &network : info.networks) {
        auto row = new NetworkWidgetItem(network.id, network.name);
        row->setCheckState(network.isProtected ? Qt::Checked : Qt::Unchecked);
        if (network.id == info.defaultRouteId) {
            QFont font = row->font();
            font.setBold(true);
            row->setFont(font);
        }
        ui->lstNetworks->addItem(row);
    }
}

NetworkWidgetItem *MainWidget::findNetworkItem(const QString &id) const
{
    for (int i = 0; i < ui->lstNetworks->count(); ++i) {
        auto row = dynamic_cast<NetworkWidgetItem *>(ui->lstNetworks->item(i));
        if (row && row->id == id)
            return row;
    }
    return nullptr;
}

bool MainWidget::requestProtectionChange(QListWidgetItem *item)
{
    auto row = dynamic_cast<NetworkWidgetItem *>(item);
    if (!row)
        return false;
    // The box changes only when the service answers; until then further requests for the row are swallowed.
    if (row->syncing)
        return true;
    const bool wanted = row->checkState() != Qt::Checked;
    m_requestedProtection.insert(row->id, wanted);
    ui->lblNetworkNote->hide();
    Velmor::JsonRPCCall *call = m_status->setNetworkProtection(row->id, wanted, Velmor::HostList());
    connect(call, &Velmor::JsonRPCCall::finished, row, &NetworkWidgetItem::stopSyncing);
    row->setSyncing(true);
    return true;
}

void MainWidget::agent_protectionUpdated(const QString &id, bool state)
{
    NetworkWidgetItem *row = findNetworkItem(id);
    if (!row)
        return;
    row->setSyncing(false);
    row->setCheckState(state ? Qt::Checked : Qt::Unchecked);
    const auto requested = m_requestedProtection.constFind(id);
    if (requested == m_requestedProtection.cend())
        return;
    const bool wanted = requested.value();
    m_requestedProtection.erase(requested);
    if (state == wanted)
        return;
    // A refusal or a cancelled address question leaves the box as it was; without a word the user would take
    // the network for protected, or for no longer filtered.
    ui->lblNetworkNote->setText(wanted
            ? tr("\"%1\" is not protected: the filtering could not be switched on for it. Tick it to try again.")
                  .arg(row->name)
            : tr("\"%1\" is still protected: the filtering could not be switched off for it.").arg(row->name));
    ui->lblNetworkNote->show();
}

void MainWidget::agent_serviceSettingsChanged()
{
    const QString text = m_status->serviceSettings().value(QStringLiteral("localproxy-addr")).toString();
    const QStringList parts = text.split(QLatin1Char(':'));
    ui->leLocalDnsAddress->setText(parts.value(0));
    ui->leLocalDnsPort->setText(parts.size() >= 2 ? parts.at(1) : QStringLiteral("53"));
}

void MainWidget::on_leLocalDnsAddress_editingFinished()
{
    if (!ui->leLocalDnsAddress->isModified() && !ui->leLocalDnsPort->isModified())
        return;
    sendLocalDnsAddress();
}

void MainWidget::on_leLocalDnsPort_editingFinished()
{
    if (!ui->leLocalDnsPort->isModified())
        return;
    sendLocalDnsAddress();
}

void MainWidget::sendLocalDnsAddress()
{
    const QHostAddress address = typedIPv4Address(ui->leLocalDnsAddress->text());
    if (address.isNull())
        return;
    bool ok = false;
    const quint16 port = ui->leLocalDnsPort->text().toUShort(&ok, 10);
    m_connector->notify(
        Velmor::DesktopCall::setLocalDnsAddress, { address.toString(), int(ok && port != 0 ? port : 53) });
    ui->leLocalDnsAddress->setModified(false);
    ui->leLocalDnsPort->setModified(false);
}

void MainWidget::updater_checksEnabledChanged(bool enabled)
{
    // The flag came from the updater: it is not sent back to it.
    const QSignalBlocker blocker(ui->ckCheckUpdates);
    ui->ckCheckUpdates->setChecked(enabled);
}

void MainWidget::on_ckUseTokens_toggled(bool state)
{
    m_cabinet->setTokensEnabled(state);
}

void MainWidget::on_ckAutostart_stateChanged(int state)
{
    setAutostartEnabled(state == Qt::Checked);
    if (state != Qt::Unchecked)
        return;
    auto close = new MMButton(tr("&Close"), 1);
    connect(close, &MMButton::clicked, this, &MainWidget::quitRequested);
    // Return keeps the program: quitting is the answer that needs a choice.
    auto keepWorking = new MMButton(tr("Continue &working"), 0, QIcon(), true);
    MemoryMsgBox::askQuestion(QStringLiteral("autostart-close"),
        tr("Notice, it's not required for this interface to be started to make filtering working.\nAll hard work is "
           "performed by system service part.\n\nDo you wish to close this interface right now?"),
        { close, keepWorking }, this);
}
