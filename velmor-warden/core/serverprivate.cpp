#include "server_p.h"

#include "identification.h"

#include "base/servicesettings.h"
#include "cabinet/cabinet.h"
#include "network/backend.h"

#include "velmorwire/methodnames.h"
#include "velmorwire/network.h"

namespace Velmor {

ServerPrivate::ServerPrivate(Server *server)
    : server(server)
    , state(Stopped)
    , ipcServer(nullptr)
    , backend(nullptr)
    , cabinet(nullptr)
    , upstreamPort(0)
    , localPort(0)
    , identification(nullptr)
    , sendToAll(false)
    , globalFiltering(true)
{
    resumeTimer.setSingleShot(true);
    connect(&resumeTimer, &QTimer::timeout, this, &ServerPrivate::globalFilteringTimeout);
    identificationTimer.setSingleShot(true);
    identificationTimer.setInterval(0);
}

ServerPrivate::~ServerPrivate() = default;

bool ServerPrivate::setGlobalFiltering(bool on, int delayMinutes)
{
    if (on == globalFiltering)
        return false;
    // A pause that ends before it starts is no pause at all.
    if (!on && delayMinutes < 0)
        return false;
    globalFiltering = on;
    resumeTimer.stop();
    if (!on && delayMinutes != 0)
        resumeTimer.start(qMin(delayMinutes, longestPauseMinutes) * 60000);
    Q_EMIT server->activeProxyChanged();
    server->notifyAll(ServicePush::setGlobalFiltering, { on });
    return true;
}

void ServerPrivate::globalFilteringTimeout()
{
    setGlobalFiltering(true, 0);
}

bool ServerPrivate::setLocalDnsProxyAddress(const QHostAddress &address, quint16 port)
{
    // Queries sent to the resolver's own address and port would come straight back to the proxy.
    if (address.isNull() || port == 0 || (address == upstreamAddress && port == upstreamPort))
        return false;
    if (address == localAddress && port == localPort)
        return true;
    ServiceSettings().setLocalProxyAddress(address, port);
    localAddress = address;
    localPort = port;
    Q_EMIT server->localDnsProxyAddressChanged();
    // Protected connections follow a proxy that now listens elsewhere.
    Q_EMIT server->activeProxyChanged();
    return true;
}

void ServerPrivate::networksInfo(NetworksInfo &info) const
{
    info.defaultRouteId = backend->defaultRouteId();
    info.networks = backend->networks();
    for (qsizetype i = 1; i < info.networks.size(); ++i) {
        if (info.networks.at(i).id == info.defaultRouteId) {
            info.networks.move(i, 0);
            break;
        }
    }
}

quint32 ServerPrivate::selectedProfileId() const
{
    const QSharedPointer<CabinetProfile> profile = cabinet->selectedProfile();
    return profile ? profile->id : 0;
}

bool ServerPrivate::isLockedForNewConnection() const
{
    // Not tied to identification: it can be late, fail for want of the account service, or be made to fail by
    // whoever holds the block page's port, and a connection opened meanwhile would stay unlocked for good.
    return ServiceSettings().settingsProtected() && !cabinet->user().isEmpty() && !cabinet->password().isEmpty();
}

} // namespace Velmor
