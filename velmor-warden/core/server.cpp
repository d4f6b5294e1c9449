#include "server.h"
#include "server_p.h"

#include "identification.h"
#include "ipcserver.h"

#include "base/servicesettings.h"
#include "cabinet/legacyhttpcabinet.h"
#include "network/backend.h"

#include "velmorwire/accountdatatypes.h"
#include "velmorwire/cabinetprofile.h"
#include "velmorwire/cabinetuserinfo.h"
#include "velmorwire/deferred.h"

namespace Velmor {

Server::Server(QObject *parent)
    : Server(nullptr, parent)
{ }

Server::Server(Cabinet *cabinet, QObject *parent)
    : ServerState(parent)
    , d(new ServerPrivate(this))
{
    // IPC methods return these types, and their parameters arrive as them.
    registerErrorMetaType();
    registerDeferredMetaType();
    registerCabinetProfilesMetaType();
    registerCabinetUserInfoMetaType();
    registerAccountDataTypes();

    d->backend = new Backend(this);
    if (cabinet)
        cabinet->setParent(this);
    else
        cabinet = new LegacyHttpCabinet(this);
    d->cabinet = cabinet;
    d->ipcServer = new IpcServer(this);
    // Identification connects to the account client before the server does, so its slots run first for the same
    // signal: a notification sent from the server's slot sees identification's new state.
    d->identification = new Identification(d);

    connect(d->backend, &Backend::configurationChanged, this, &Server::backend_configurationChanged);
    connect(d->backend, &Backend::protectionChanged, this, &Server::backend_protectionChanged);
    connect(d->ipcServer, &IpcServer::newConnection, this, &Server::ipc_newConnection);
    connect(&d->identificationTimer, &QTimer::timeout, this, &Server::sendIdentificationTimeout);
    connect(d->identification, &Identification::typeChanged, this, &Server::identification_typeChanged);
    connect(d->identification, &Identification::stateChanged, this, &Server::identification_stateChanged);
    connect(d->identification, &Identification::error, this, &Server::identification_error);
    d->proxyRetry.setInterval(ServerPrivate::proxyRetryMs);
    connect(&d->proxyRetry, &QTimer::timeout, this, &Server::proxyRetry_timeout);
    connect(cabinet, &Cabinet::userInfoChanged, this, &Server::cabinet_userInfoChanged);
    connect(cabinet, &Cabinet::profilesChanged, this, &Server::cabinet_profilesChanged);
    connect(cabinet, &Cabinet::profileActivityChanged, this, &Server::cabinet_profileActivityChanged);
    connect(cabinet, &Cabinet::userFilterChanged, this, &Server::cabinet_userFilterChanged);
    connect(cabinet, &Cabinet::domainsChanged, this, &Server::cabinet_domainsChanged);
    connect(cabinet, &Cabinet::error, this, &Server::cabinet_error);
    connect(cabinet, &Cabinet::stateChanged, this, &Server::cabinet_stateChanged);
    connect(cabinet, &Cabinet::selectedProfileChanged, this, &Server::cabinet_selectedProfileChanged);
    connect(cabinet, &Cabinet::systemInfoChanged, this, &Server::cabinet_systemInfoChanged);
    connect(cabinet, &Cabinet::categoriesChanged, this, &Server::cabinet_categoriesChanged);
}

Server::~Server()
{
    // The parts go while the private part they reach is still there, and none of their last signals reaches a
    // slot of this half-destroyed server.
    disconnect(d->cabinet, nullptr, this, nullptr);
    disconnect(d->backend, nullptr, this, nullptr);
    disconnect(d->ipcServer, nullptr, this, nullptr);
    delete d->ipcServer;
    delete d->identification;
    delete d->cabinet;
    delete d->backend;
    delete d;
}

bool Server::start()
{
    d->state = ServerPrivate::Starting;
    {
        const ServiceSettings settings;
        settings.upstreamAddress(&d->upstreamAddress, &d->upstreamPort);
        settings.localProxyAddress(&d->localAddress, &d->localPort);
    }
    if (d->upstreamAddress == d->localAddress && d->upstreamPort == d->localPort) {
        d->lastError = Error(Error::GeneralFailure, QStringLiteral("wrong proxy addresses in config"));
        return false;
    }
    if (!d->backend->start()) {
        d->lastError = d->backend->lastError();
        return false;
    }
    Q_EMIT activeProxyChanged();
    if (!d->backend->lastError().isSuccess()) {
        d->lastError = d->backend->lastError();
        return false;
    }
    d->identification->start();
    if (!d->ipcServer->start()) {
        const Error failure = d->ipcServer->lastError();
        d->lastError = Error(failure.code(), QStringLiteral("IPC start failed: ") + failure.message());
        return false;
    }
    d->state = ServerPrivate::Running;
    return true;
}

bool Server::stop()
{
    d->state = ServerPrivate::Stopping;
    d->proxyRetry.stop();
    d->identification->stop();
    d->identificationTimer.stop();
    d->ipcServer->stop();
    d->backend->stop();
    d->state = ServerPrivate::Stopped;
    return true;
}

Error Server::lastError() const
{
    return d->lastError;
}

bool Server::isIdentified() const
{
    const int state = d->identification->state();
    return state == Identification::ChangePending || state == Identification::Running;
}

bool Server::isGlobalFilteringEnabled() const
{
    return d->globalFiltering;
}

Cabinet *Server::cabinet() const
{
    return d->cabinet;
}

int Server::identificationType() const
{
    if (isIdentified())
        return d->identification->type();
    return ServiceSettings().tokensEnabled() ? Identification::TokenType : Identification::IpType;
}

quint32 Server::profileToken() const
{
    const QSharedPointer<CabinetProfile> profile = d->cabinet->selectedProfile();
    return profile ? profile->token : 0;
}

const QHostAddress &Server::upstreamProxyAddress() const
{
    return d->upstreamAddress;
}

quint16 Server::upstreamProxyPort() const
{
    return d->upstreamPort;
}

QHostAddress Server::localDnsProxyAddress(bool raw) const
{
    if (!raw && d->localAddress == QHostAddress(QHostAddress::AnyIPv4))
        return QHostAddress(QHostAddress::LocalHost);
    return d->localAddress;
}

quint16 Server::localDnsProxyPort() const
{
    return d->localPort;
}

QHostAddress Server::activeProxyAddress() const
{
    if (!d->globalFiltering)
        return QHostAddress();
    // Another program may hold the proxy's address: the networks stay filtered, by the resolver itself as in IP
    // mode, never handed back to the servers they had before.
    if (d->identification->isWaitingForProxy())
        return d->upstreamAddress;
    if (!isIdentified())
        return QHostAddress();
    if (d->identification->type() == Identification::TokenType)
        return localDnsProxyAddress(false);
    return d->upstreamAddress;
}

bool Server::useLocalDnsProxy() const
{
    return isIdentified() && d->globalFiltering && d->identification->type() == Identification::TokenType;
}

} // namespace Velmor
