#include "server.h"
#include "server_p.h"

#include "identification.h"
#include "ipcrequesthandler.h"
#include "ipcserver.h"

#include "base/servicesettings.h"
#include "cabinet/cabinet.h"

#include "velmorwire/cabinetprofile.h"
#include "velmorwire/ipcconnection.h"
#include "velmorwire/jsonrpc.h"
#include "velmorwire/methodnames.h"
#include "velmorwire/network.h"

namespace Velmor {

namespace {

// The wire writes a null QString as null, which a text parameter of the desktop's slot does not take.
QString text(const QString &value)
{
    return value.isNull() ? QString(QLatin1String("")) : value;
}

} // namespace

void Server::notifyAll(const char *method, const QVariantList &params, const QList<IpcConnection *> &except)
{
    const QList<IpcConnection *> connections = d->ipcServer->connections();
    // Made once: a 10,000-entry list would otherwise be written out again for every desktop.
    QString text;
    for (IpcConnection *connection : connections) {
        if (except.contains(connection))
            continue;
        if (text.isNull())
            text = JsonRPC::notificationText(method, params);
        connection->notifyText(method, text);
    }
}

QVariant ServerPrivate::profileForLink(const CabinetProfile &profile)
{
    CabinetProfile shown = profile;
    shown.token = 0;
    return shown.toVariant();
}

QVariant ServerPrivate::profilesForLink(const CabinetProfiles &profiles)
{
    CabinetProfiles shown;
    for (auto it = profiles.cbegin(); it != profiles.cend(); ++it) {
        if (it.value())
            shown.insert(it.key(), QSharedPointer<CabinetProfile>::create(*it.value()));
    }
    for (const QSharedPointer<CabinetProfile> &profile : std::as_const(shown))
        profile->token = 0;
    return shown.toVariant();
}

void ServerPrivate::pushInitialState(IpcConnection *connection)
{
    QString localProxy;
    bool locked = true;
    {
        const ServiceSettings settings;
        localProxy = settings.localProxyAddressText();
        locked = settings.settingsProtected();
    }
    connection->notify(
        ServicePush::setSettings, { QVariantMap { { QStringLiteral("localproxy-addr"), text(localProxy) } } });
    NetworksInfo networks;
    networksInfo(networks);
    connection->notify(ServicePush::setNetworks, { networks.toVariant() });
    // While the settings are protected the password stays in the service: whoever may unlock knows it already.
    // The password stays in the service: any local process may connect, and the desktop never sends it back.
    connection->notify(ServicePush::setCredentials, { text(cabinet->user()), text(QString()) });
    connection->notify(ServicePush::setSettingsLocked, { locked });
    connection->notify(ServicePush::setGlobalFiltering, { globalFiltering });
    connection->notify(ServicePush::setSystemInfo, { cabinet->cachedSystemInfo().toVariant() });
    connection->notify(ServicePush::setCategories, { cabinet->cachedCategories().toVariant() });
    connection->notify(ServicePush::setUserInfo, { cabinet->cachedUserInfo().toVariant() });
    const quint32 selected = selectedProfileId();
    connection->notify(ServicePush::setProfiles, { profilesForLink(cabinet->cachedProfiles()), selected });
    connection->notify(ServicePush::setProfileScheduleActivity, { selected, cabinet->isProfileActive(selected) });
    queueIdentification(connection);
}

void ServerPrivate::queueIdentification(IpcConnection *connection)
{
    if (!identificationTimer.isActive()) {
        identificationQueue.clear();
        sendToAll = !connection;
        identificationTimer.start();
        if (!sendToAll)
            identificationQueue.append(connection);
        return;
    }
    if (sendToAll)
        return;
    if (!connection) {
        sendToAll = true;
        return;
    }
    if (!identificationQueue.contains(connection))
        identificationQueue.append(connection);
}

void Server::sendIdentificationTimeout()
{
    QList<QPointer<IpcConnection>> targets;
    if (d->sendToAll) {
        const QList<IpcConnection *> connections = d->ipcServer->connections();
        for (IpcConnection *connection : connections)
            targets.append(connection);
    } else {
        targets = d->identificationQueue;
    }
    d->identificationQueue.clear();

    const Identification *identification = d->identification;
    const int type = identification->type();
    QVariantList params;
    const char *method = nullptr;
    if (isIdentified()) {
        method = ServicePush::setIdentification;
        if (type == Identification::TokenType)
            params = { type, d->selectedProfileId() };
        else
            params = { type, text(d->cabinet->ip().isNull() ? QString() : d->cabinet->ip().toString()) };
    } else {
        Error failure = identification->lastError();
        if (identification->isWaitingForProxy()) {
            failure = Error(failure.code(),
                failure.message()
                    + QStringLiteral("; DNS goes to the filtering resolver without the profile's token, and the proxy "
                                     "is tried again every %1 s")
                          .arg(ServerPrivate::proxyRetryMs / 1000));
        }
        if (failure.isSuccess())
            failure = d->cabinet->lastError();
        if (!failure.isSuccess()) {
            method = ServicePush::setIdentificationError;
            params = { type, failure.toVariant() };
        }
    }
    if (!method)
        return;
    for (const QPointer<IpcConnection> &connection : std::as_const(targets)) {
        if (connection)
            connection->notify(method, params);
    }
}

void Server::ipc_newConnection(IpcConnection *connection)
{
    auto *handler
        = new IPCRequestHandler(d, connection, d->isLockedForNewConnection(), d->ipcServer->owner(connection));
    connection->setJsonRPCHandler(handler);
    d->pushInitialState(connection);
}

void Server::backend_configurationChanged()
{
    NetworksInfo networks;
    d->networksInfo(networks);
    notifyAll(ServicePush::setNetworks, { networks.toVariant() });
    if (d->cabinet->state() == Cabinet::Disconnected && !d->cabinet->user().isEmpty())
        d->cabinet->connectToServer();
}

void Server::backend_protectionChanged(const QString &id, bool state)
{
    notifyAll(ServicePush::setNetworkProtection, { id, state });
}

void Server::identification_typeChanged()
{
    d->queueIdentification();
    Q_EMIT activeProxyChanged();
}

void Server::identification_stateChanged()
{
    const int state = d->identification->state();
    if (state != Identification::Stopped && state != Identification::Running)
        return;
    d->queueIdentification();
    Q_EMIT activeProxyChanged();
}

void Server::identification_error()
{
    if (!d->identification->isWaitingForProxy())
        return;
    // A retry that fails again changes nothing the desktops or the networks were told.
    if (d->proxyRetry.isActive())
        return;
    d->proxyRetry.start();
    d->queueIdentification();
    Q_EMIT activeProxyChanged();
}

void Server::proxyRetry_timeout()
{
    if (d->identification->isWaitingForProxy())
        d->identification->retryActivation();
    if (!d->identification->isWaitingForProxy())
        d->proxyRetry.stop();
}

void Server::cabinet_systemInfoChanged()
{
    notifyAll(ServicePush::setSystemInfo, { d->cabinet->cachedSystemInfo().toVariant() });
}

void Server::cabinet_categoriesChanged()
{
    notifyAll(ServicePush::setCategories, { d->cabinet->cachedCategories().toVariant() });
}

void Server::cabinet_userInfoChanged()
{
    const CabinetUserInfo &info = d->cabinet->cachedUserInfo();
    if (info.planCode.isEmpty())
        return;
    notifyAll(ServicePush::setUserInfo, { info.toVariant() });
}

void Server::cabinet_profilesChanged()
{
    notifyAll(ServicePush::setProfiles,
        { ServerPrivate::profilesForLink(d->cabinet->cachedProfiles()), d->selectedProfileId() });
}

void Server::cabinet_selectedProfileChanged()
{
    notifyAll(ServicePush::setSelectedProfile, { d->selectedProfileId() });
    d->queueIdentification();
}

void Server::cabinet_profileActivityChanged(quint32 profileId, bool active)
{
    notifyAll(ServicePush::setProfileScheduleActivity, { profileId, active });
}

void Server::cabinet_userFilterChanged(quint32 profileId)
{
    notifyAll(ServicePush::setUserFilter, { profileId, d->cabinet->cachedUserFilter(profileId).toVariant() });
}

void Server::cabinet_domainsChanged(quint32 profileId, int type)
{
    const auto listType = CabinetDomain::Type(type);
    notifyAll(ServicePush::setDomains, { profileId, type, d->cabinet->cachedDomains(profileId, listType).toVariant() });
}

void Server::cabinet_error() { }

void Server::cabinet_stateChanged() { }

} // namespace Velmor
