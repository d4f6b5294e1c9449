#include "agent.h"

#include "mainwindow/ipdlg.h"
#include "mainwindow/mainwidget.h"
#include "model/serviceconnector.h"
#include "model/wiretext.h"

#include "velmorwire/jsonrpccall.h"

#include <QPointer>

namespace {

// The service's answer when it holds no earlier DNS servers for the network and the network has no DHCP ones.
const quint32 noOriginalDns = 4;

} // namespace

void Agent::setNetworks(const Velmor::NetworksInfo &info)
{
    m_networks = info;
    if (m_autoProtect) {
        const QList<Velmor::Network> &list = m_networks.networks;
        if (!list.isEmpty() && !list.first().isProtected && list.first().id == m_networks.defaultRouteId) {
            setNetworkProtection(m_networks.defaultRouteId, true, Velmor::HostList());
        } else {
            for (const Velmor::Network &network : list)
                setNetworkProtection(network.id, true, Velmor::HostList());
        }
        m_autoProtect = false;
    }
    updateState();
    Q_EMIT networksUpdated();
}

Velmor::JsonRPCCall *Agent::setNetworkProtection(const QString &networkId, bool enabled, const Velmor::HostList &dns)
{
    Velmor::JsonRPCCall *sent
        = m_connector->call("setNetworkProtection", { wireText(networkId), enabled, dns.toVariant() });
    connect(sent, &Velmor::JsonRPCCall::finished, this, &Agent::service_protectionUpdated);
    return sent;
}

void Agent::applyNetworkProtection(const QString &networkId, bool enabled)
{
    if (!m_networks.setNetworkProtection(networkId, enabled))
        return;
    Q_EMIT protectionUpdated(networkId, enabled);
    updateState();
}

void Agent::service_protectionUpdated()
{
    auto finished = qobject_cast<Velmor::JsonRPCCall *>(sender());
    if (!finished)
        return;
    const QString networkId = finished->params().value(0).toString();
    const bool enabled = finished->params().value(1).toBool();
    const quint32 code = finished->error().code();
    if (code == 0) {
        m_networks.setNetworkProtection(networkId, enabled);
        Q_EMIT protectionUpdated(networkId, enabled);
        updateState();
        return;
    }
    if (code == noOriginalDns) {
        // The dialog's own event loop must not run inside the link's read signal, which would hold back every
        // notification of the service until the user answers.
        QMetaObject::invokeMethod(
            this, [this, networkId, enabled] { askForDnsAddresses(networkId, enabled); }, Qt::QueuedConnection);
        return;
    }
    Q_EMIT protectionUpdated(networkId, !enabled);
    updateState();
}

void Agent::askForDnsAddresses(const QString &networkId, bool enabled)
{
    QString name = networkId;
    for (const Velmor::Network &network : std::as_const(m_networks.networks)) {
        if (network.id == networkId)
            name = network.name;
    }
    // With two connections the user must see which one the address is for.
    const QString text
        = QStringLiteral("<b>%1</b><br/>%2")
              .arg(name.toHtmlEscaped(),
                  tr("Previous DNS IP address is not found. Please enter DNS IP address provided by your ISP.")
                      .toHtmlEscaped());
    QPointer<IpDlg> dialog = new IpDlg(tr("Set DNS"), text, 2, m_mainWidget);
    dialog->minimumFilled = 1;
    dialog->checkAcceptance();
    const bool accepted = dialog->exec() == QDialog::Accepted;
    if (!dialog)
        return;
    Velmor::HostList addresses;
    addresses.append(dialog->addresses());
    delete dialog;
    if (accepted) {
        setNetworkProtection(networkId, enabled, addresses);
        return;
    }
    Q_EMIT protectionUpdated(networkId, !enabled);
    updateState();
}
