#include "backend.h"

#include "backendimpl.h"

#include "base/serverstate.h"
#include "base/servicesettings.h"

namespace Velmor {

Backend::Backend(ServerState *server)
    : QObject(server)
    , m_server(server)
    , impl(new Private::BackendImpl(server, this))
{
    connect(impl, &Private::BackendImplBase::configurationChanged, this, &Backend::configurationChanged);
    connect(impl, &Private::BackendImplBase::protectionChanged, this, &Backend::rememberNetworkProtection);
}

Backend::~Backend() = default;

Error Backend::lastError() const
{
    return impl->lastError();
}

bool Backend::start()
{
    impl->unsetError();
    m_lastActive = QHostAddress();
    if (m_server)
        connect(m_server, &ServerState::activeProxyChanged, this, &Backend::server_activeProxyChanged,
            Qt::UniqueConnection);
    return impl->start();
}

bool Backend::stop()
{
    if (m_server)
        disconnect(m_server, nullptr, this, nullptr);
    return impl->stop();
}

void Backend::server_activeProxyChanged()
{
    impl->unsetError();
    const QHostAddress active = m_server ? m_server->activeProxyAddress() : QHostAddress();
    if (!active.isNull() && active == m_lastActive)
        return;
    m_lastActive = impl->apply(active) ? active : QHostAddress();
}

void Backend::rememberNetworkProtection(const QString &networkId, bool state)
{
    ServiceSettings settings;
    QStringList list = settings.protectedNetworks();
    if (state) {
        if (list.contains(networkId))
            return;
        list.append(networkId);
    } else {
        if (!list.contains(networkId))
            return;
        list.removeAll(networkId);
    }
    settings.setProtectedNetworks(list);
    Q_EMIT protectionChanged(networkId, state);
}

bool Backend::setNetworkProtection(const QString &id, bool on)
{
    if (m_server && m_server->isIdentified() && m_server->isGlobalFilteringEnabled()) {
        if (!impl->setProtection(id, on))
            return false;
    }
    rememberNetworkProtection(id, on);
    return true;
}

QList<Network> Backend::networks()
{
    return impl->networks();
}

QString Backend::defaultRouteId() const
{
    return impl->defaultRouteId();
}

bool Backend::setOriginalDns(const QString &id, const HostList &servers)
{
    return impl->setOriginalDns(id, servers);
}

HostList Backend::originalDns(const QString &id) const
{
    return impl->originalDns(id);
}

} // namespace Velmor
