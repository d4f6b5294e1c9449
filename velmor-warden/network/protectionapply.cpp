#include "backendimpl.h"

#include "networkinterface.h"

#include "base/hostlisttext.h"
#include "base/servicesettings.h"

namespace Velmor {
namespace Private {

// Every adapter is visited whatever fails on the way, so one refused write leaves no other adapter on an address
// of this service. The last failure stays in the last error.
bool BackendImpl::apply(const QHostAddress &active)
{
    const ServiceSettings settings;
    const QStringList protectedIds = settings.protectedNetworks();
    const HostList fallback = settings.fallbackDns();

    bool ok = true;
    auto fail = [this, &ok](const NetworkInterface *adapter) {
        setLastError(adapter->lastError());
        ok = false;
    };
    const QList<NetworkInterface *> list = adapters;
    for (NetworkInterface *adapter : list) {
        const QHostAddress first = adapter->currentNameServers().value(0);
        const bool ours = adapter->isOurs(first);
        const QString id = adapter->id();

        if (active.isNull()) {
            // Nothing filters: every adapter on an address of this service gets its own servers back.
            if (ours && !adapter->restore(fallback))
                fail(adapter);
            continue;
        }

        const bool isProtected = protectedIds.contains(id);
        if (!ours) {
            if (!isProtected)
                continue;
            adapter->saveOriginalDns();
            if (adapter->pointAt(active)) {
                Q_EMIT protectionChanged(id, true);
            } else {
                // Reported as unprotected; the run goes on and does not fail for it.
                setLastError(adapter->lastError());
                Q_EMIT protectionChanged(id, false);
            }
            continue;
        }
        if (isProtected) {
            if (first != active && !adapter->pointAt(active))
                fail(adapter);
            continue;
        }
        // On an address of this service without being protected: it gets its own servers back.
        if (adapter->originalDns().isEmpty() && !adapter->hasDhcpServers()) {
            // Nothing to give back: it stays filtered, now on the active address, and counts as protected.
            if (first != active && !adapter->pointAt(active))
                setLastError(adapter->lastError());
            Q_EMIT protectionChanged(id, true);
            continue;
        }
        if (!adapter->restore(fallback)) {
            // Still filtered: reported as protected; the run goes on and does not fail for it.
            setLastError(adapter->lastError());
            Q_EMIT protectionChanged(id, true);
        }
    }
    return ok;
}

} // namespace Private
} // namespace Velmor
