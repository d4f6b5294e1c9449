#include "backendimpl.h"

#include "backendlogger.h"
#include "dnscacheresetter.h"
#include "networkconfigurationwatcher.h"
#include "networkinterface.h"

#include "base/serverstate.h"
#include "base/servicesettings.h"

namespace Velmor {
namespace Private {

BackendImpl::BackendImpl(const ServerState *server, QObject *parent)
    : BackendImplBase(parent)
    , m_server(server)
{
    Logger::setLogger(new BackendLogger(this));
    // The listener runs on the event waiter's thread; the rebuild runs on this object's.
    listener = NetworkConfigurationWatcher::instance()->addListener(
        [this] { QMetaObject::invokeMethod(this, &BackendImpl::qncm_configurationChanged, Qt::QueuedConnection); });
}

BackendImpl::~BackendImpl()
{
    NetworkConfigurationWatcher::instance()->removeListener(listener);
    clearAdapters();
}

bool BackendImpl::start()
{
    // The saved servers of every adapter are kept from the last run: an adapter that still points at this
    // service after a crash gets its own servers back from them.
    DNSCacheResetter::recover();
    started = true;
    dirty = true;
    NetworkConfigurationWatcher::instance()->arm();
    return refresh(false);
}

bool BackendImpl::stop()
{
    NetworkConfigurationWatcher::instance()->cancel();
    started = false;
    // The last restores asked for a DNS client restart; the service ends only with the client running again.
    DNSCacheResetter::waitForDone();
    return true;
}

void BackendImpl::qncm_configurationChanged()
{
    if (!started)
        return;
    dirty = true;
    refresh(false);
    Q_EMIT configurationChanged();
}

bool BackendImpl::refresh(bool force)
{
    if (!force && !dirty)
        return true;
    Error reason;
    if (!invalidate(&reason)) {
        setLastError(reason);
        return false;
    }
    dirty = false;
    readDefaultRoute();
    return apply(m_server ? m_server->activeProxyAddress() : QHostAddress());
}

void BackendImpl::clearAdapters()
{
    defaultRouteAdapter = nullptr;
    qDeleteAll(adapters);
    adapters.clear();
}

NetworkInterface *BackendImpl::adapter(const QString &id) const
{
    for (NetworkInterface *candidate : adapters) {
        if (candidate->id() == id)
            return candidate;
    }
    return nullptr;
}

QList<Network> BackendImpl::networks()
{
    if (!refresh(false))
        return QList<Network>();
    // Read after the refresh, whose apply may have changed it.
    const QStringList protectedIds = ServiceSettings().protectedNetworks();
    QList<Network> list;
    for (const NetworkInterface *candidate : std::as_const(adapters))
        list.append(Network(candidate->id(), candidate->name(), protectedIds.contains(candidate->id())));
    return list;
}

bool BackendImpl::setProtection(const QString &id, bool on)
{
    if (!refresh(false))
        return false;
    NetworkInterface *target = adapter(id);
    if (!target) {
        setLastError(Error(Error::AccessDenied, QStringLiteral("Adapter unavailable")));
        return false;
    }
    const bool ok = target->setProtected(on);
    if (!ok)
        setLastError(target->lastError());
    return ok;
}

bool BackendImpl::setOriginalDns(const QString &id, const HostList &servers)
{
    NetworkInterface *target = adapter(id);
    if (!target) {
        setLastError(Error(Error::AccessDenied, QStringLiteral("Adapter unavailable")));
        return false;
    }
    if (!target->storeOriginalDns(servers)) {
        setLastError(target->lastError());
        return false;
    }
    return true;
}

HostList BackendImpl::originalDns(const QString &id) const
{
    const NetworkInterface *target = adapter(id);
    return target ? target->originalDns() : HostList();
}

QString BackendImpl::defaultRouteId() const
{
    return defaultRouteAdapter ? defaultRouteAdapter->id() : QString();
}

} // namespace Private
} // namespace Velmor
