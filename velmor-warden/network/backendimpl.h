#ifndef VELMOR_BACKENDIMPL_H
#define VELMOR_BACKENDIMPL_H

#include "backendimplbase.h"

#include <QList>

namespace Velmor {
namespace Private {

class NetworkInterface;

// The network configuration of this machine: its Ethernet, wireless and PPP adapters, rebuilt at start and after
// every address change, each time followed by an apply.
class BackendImpl : public BackendImplBase
{
    Q_OBJECT
public:
    explicit BackendImpl(QObject *parent = nullptr);
    ~BackendImpl() override;

    bool start() override;
    bool stop() override;
    QList<Network> networks() override;
    bool setOriginalDns(const QString &id, const HostList &servers) override;
    HostList originalDns(const QString &id) const override;
    bool setProtection(const QString &id, bool on) override;
    // Brings every adapter's DNS servers in line with the server's active address and the protected networks.
    bool apply() override;
    QString defaultRouteId() const override;

    // Rebuilds the adapter list and applies when forced or when an address change made it stale.
    bool refresh(bool force);

public Q_SLOTS:
    void qncm_configurationChanged();

private:
    Q_DISABLE_COPY(BackendImpl)

    bool invalidate(Error *reason);
    void readDefaultRoute();
    void clearAdapters();
    NetworkInterface *adapter(const QString &id) const;

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
