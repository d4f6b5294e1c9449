#include "agent.h"

#include "mainwindow/ipdlg.h"
#include "mainwindow/mainwidget.h"
#include "model/servicestatus.h"

#include <QPointer>

void Agent::askForDnsAddresses(const QString &networkId, bool enabled)
{
    QString name = networkId;
    for (const Velmor::Network &network : std::as_const(m_status->networks().networks)) {
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
        m_status->setNetworkProtection(networkId, enabled, addresses);
        return;
    }
    m_status->keepNetworkProtection(networkId, enabled);
}
