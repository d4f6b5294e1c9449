#ifndef VELMOR_BACKEND_H
#define VELMOR_BACKEND_H

#include "velmorwire/error.h"
#include "velmorwire/hostlist.h"
#include "velmorwire/network.h"

#include <QHostAddress>
#include <QObject>

namespace Velmor {

class ServerState;

namespace Private {
class BackendImplBase;
}

// The network configuration the server owns: points the DNS servers of the protected network connections at the
// server's active address, gives them their own servers back, follows address changes, and remembers which
// connections the user wants protected ("protected-networks"). Every failing operation leaves its reason in
// lastError(). Main thread only.
class Backend : public QObject
{
    Q_OBJECT
public:
    explicit Backend(ServerState *server);
    ~Backend() override;

    // Clears the error, follows the server's activeProxyChanged() and starts the platform part: arms the address
    // watcher and enumerates the adapters, which applies.
    virtual bool start();
    // Stops following the server and cancels the address watcher; the DNS servers are left as they are.
    virtual bool stop();

    // One per usable adapter, protected when its id is remembered; empty when the adapters cannot be listed.
    QList<Network> networks();
    QString defaultRouteId() const;
    // Stores the servers a connection gets back when its protection ends.
    bool setOriginalDns(const QString &id, const HostList &servers);
    // The servers stored for the connection; empty when none are or the adapter is unknown.
    HostList originalDns(const QString &id) const;
    // Switches the connection when identified and filtering, then remembers the choice.
    bool setNetworkProtection(const QString &id, bool on);

    Error lastError() const;

public Q_SLOTS:
    // Applies when the active address took another value since the last successful apply, or when there is none.
    void server_activeProxyChanged();
    void rememberNetworkProtection(const QString &networkId, bool state);

Q_SIGNALS:
    void configurationChanged();
    void protectionChanged(const QString &id, bool on);

private:
    Q_DISABLE_COPY(Backend)

    ServerState *m_server;
    Private::BackendImplBase *impl;
    // The active address of the last successful apply this object started; null when there is none to trust.
    QHostAddress m_lastActive;
};

} // namespace Velmor

#endif // VELMOR_BACKEND_H
