#include "servicestatus.h"

#include "cabinet.h"
#include "serviceconnector.h"
#include "wiretext.h"

#include "velmorwire/error.h"
#include "velmorwire/jsonrpccall.h"
#include "velmorwire/methodnames.h"

#include <QCoreApplication>

ServiceStatus::ServiceStatus(ServiceConnector *connector, Cabinet *cabinet, QObject *parent)
    : QObject(parent)
    , m_connector(connector)
    , m_cabinet(cabinet)
    , m_autoProtect(false)
    , m_connectionComplete(false)
    , m_globalFiltering(true)
    , m_state(NotStarted)
{
    // Each connection completes anew with its own identification notification, whether or not its end was
    // reported as an error.
    connect(m_connector, &ServiceConnector::connected, this, [this] {
        m_connectionComplete = false;
        updateState();
    });
    connect(m_connector, &ServiceConnector::disconnected, this, [this] {
        m_connectionComplete = false;
        updateState();
    });
    connect(m_cabinet, &Cabinet::identificationStateChanged, this, &ServiceStatus::updateState);
    connect(m_cabinet, &Cabinet::error, this, &ServiceStatus::updateState);
}

ServiceStatus::~ServiceStatus() = default;

ServiceStatus::State ServiceStatus::stateFor(
    bool connected, bool complete, bool identified, bool globalFiltering, const Velmor::NetworksInfo &networks)
{
    if (!connected)
        return ServiceUnreachable;
    if (!complete)
        return Connecting;
    if (!identified)
        return IdentificationFailed;
    bool anyProtected = false;
    for (const Velmor::Network &network : networks.networks)
        anyProtected = anyProtected || network.isProtected;
    if (anyProtected && globalFiltering)
        return Protected;
    if (!globalFiltering)
        return FilteringOff;
    return networks.networks.isEmpty() ? NoNetworks : NothingProtected;
}

QString ServiceStatus::stateTextFor(int state)
{
    // The texts keep the context the translations know them by.
    switch (state) {
    case ServiceUnreachable:
        return QCoreApplication::translate("Agent", "System service error!");
    case Connecting:
        return QCoreApplication::translate("Agent", "Connecting to service..");
    case IdentificationFailed:
        return QCoreApplication::translate("Agent", "Identification failed!");
    case NoNetworks:
    case NothingProtected:
        return QCoreApplication::translate("Agent", "Filtration disabled");
    case FilteringOff:
        return QCoreApplication::translate("Agent", "Filtration switched off");
    case Protected:
        return QCoreApplication::translate("Agent", "The internet is under control!");
    default:
        return QString();
    }
}

bool ServiceStatus::isSwitchable(State state)
{
    return state == FilteringOff || state == Protected;
}

void ServiceStatus::updateState()
{
    const State previous = m_state;
    m_state = stateFor(m_connector->state() == ServiceConnector::Connected, m_connectionComplete,
        m_cabinet->isIdentified(), m_globalFiltering, m_networks);
    m_stateText = stateTextFor(m_state);
    Q_EMIT stateUpdated();
    if (m_state != previous)
        Q_EMIT stateChanged();
}

void ServiceStatus::setServiceSettings(const QVariantMap &settings)
{
    m_serviceSettings = settings;
    Q_EMIT serviceSettingsChanged();
}

void ServiceStatus::setGlobalFilteringState(bool enabled)
{
    m_globalFiltering = enabled;
    updateState();
    Q_EMIT globalFilteringChanged();
}

void ServiceStatus::setGlobalFiltering(bool enabled, int minutes)
{
    m_connector->notify(Velmor::DesktopCall::setGlobalFiltering, { enabled, minutes });
}

void ServiceStatus::turnOnGlobalFiltering()
{
    setGlobalFiltering(true, 0);
}

void ServiceStatus::setSettingsProtection(bool state)
{
    m_connector->notify(Velmor::DesktopCall::setSettingsProtection, { state });
}

void ServiceStatus::setSettingsLocked(bool locked)
{
    Q_EMIT settingsLockUpdated(locked);
}

void ServiceStatus::setNetworks(const Velmor::NetworksInfo &info)
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

Velmor::JsonRPCCall *ServiceStatus::setNetworkProtection(
    const QString &networkId, bool enabled, const Velmor::HostList &dns)
{
    Velmor::JsonRPCCall *sent = m_connector->call(
        Velmor::DesktopCall::setNetworkProtection, { wireText(networkId), enabled, dns.toVariant() });
    connect(sent, &Velmor::JsonRPCCall::finished, this, &ServiceStatus::service_protectionUpdated);
    return sent;
}

void ServiceStatus::applyNetworkProtection(const QString &networkId, bool enabled)
{
    if (!m_networks.setNetworkProtection(networkId, enabled))
        return;
    Q_EMIT protectionUpdated(networkId, enabled);
    updateState();
}

void ServiceStatus::keepNetworkProtection(const QString &networkId, bool enabled)
{
    Q_EMIT protectionUpdated(networkId, !enabled);
    updateState();
}

void ServiceStatus::service_protectionUpdated()
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
    // The service holds no earlier DNS servers for the network, and the network has no DHCP ones.
    if (code == Velmor::Error::NoDhcpServers) {
        // Whoever asks the user must not do it inside the link's read signal, which would hold back every
        // notification of the service until the user answers.
        QMetaObject::invokeMethod(
            this, [this, networkId, enabled] { Q_EMIT dnsAddressesNeeded(networkId, enabled); }, Qt::QueuedConnection);
        return;
    }
    keepNetworkProtection(networkId, enabled);
}
