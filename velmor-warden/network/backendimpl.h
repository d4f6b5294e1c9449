#ifndef VELMOR_BACKENDIMPL_H
#define VELMOR_BACKENDIMPL_H

#include "backendimplbase.h"

#include <QList>

namespace Velmor {

class ServerState;

namespace Private {

class NetworkInterface;

// The network configuration of this machine: its Ethernet, wireless and PPP adapters, rebuilt at start and after
// every address change, each time followed by an apply.
class BackendImpl : public BackendImplBase
{
    Q_OBJECT
public:
    // The active address and the addresses of this service are read from server, which outlives the object.
    explicit BackendImpl(const ServerState *server, QObject *parent = nullptr);
    ~BackendImpl() override;

    bool start() override;
    bool stop() override;
    QList<Network> networks() override;
    bool setOriginalDns(const QString &id, const HostList &servers) override;
    HostList originalDns(const QString &id) const override;
    bool setProtection(const QString &id, bool on) override;
    // Brings every adapter's DNS servers in line with active and the protected networks.
    bool apply(const QHostAddress &active) override;
    QString defaultRouteId() const override;

    // Rebuilds the adapter list and applies the server's active address when forced or when an address change made
    // the list stale.
    bool refresh(bool force);

public Q_SLOTS:
    void qncm_configurationChanged();

private:
    Q_DISABLE_COPY(BackendImpl)

    bool invalidate(Error *reason);
    void readDefaultRoute();
    void clearAdapters();
    NetworkInterface *adapter(const QString &id) const;

    const ServerState *m_server;
    NetworkInterface *defaultRouteAdapter = nullptr;
    QList<NetworkInterface *> adapters;
    bool dirty = false;
    // Between start and stop; an address change reported after the stop is not acted on.
    bool started = false;
    int listener = 0;
};

} // namespace Private
} // namespace Velmor

#endif // VELMOR_BACKENDIMPL_H
