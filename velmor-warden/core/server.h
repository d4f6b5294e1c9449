#ifndef VELMOR_SERVER_H
#define VELMOR_SERVER_H

#include "base/serverstate.h"

#include "velmorwire/error.h"
#include "velmorwire/ipcconnection.h"

#include <QList>
#include <QVariantList>

namespace Velmor {

class Cabinet;
class ServerPrivate;

// The spine of the service: owns the network configuration, the account client, the IPC server for the desktop
// program and identification, starts and stops them in order, keeps the filtering switch, and tells the other
// parts which DNS address the protected connections must use. Main thread only.
class Server : public ServerState
{
    Q_OBJECT

public:
    explicit Server(QObject *parent = nullptr);
    // Adopts an account client made by the caller (it becomes the server's child) instead of making its own.
    Server(Velmor::Cabinet *cabinet, QObject *parent);
    ~Server() override;

    // Starts the network configuration, identification and the IPC listener, in that order; false with
    // lastError() set when one of them cannot start.
    bool start();
    // Identification first, so the protected connections get their own servers back while the network
    // configuration still follows; then the listener and the network configuration. Always true.
    bool stop();
    Velmor::Error lastError() const;

    bool isIdentified() const override;
    bool isGlobalFilteringEnabled() const override;
    Velmor::Cabinet *cabinet() const;
    int identificationType() const override;
    quint32 profileToken() const override;
    const QHostAddress &upstreamProxyAddress() const override;
    quint16 upstreamProxyPort() const override;
    QHostAddress localDnsProxyAddress(bool raw = false) const override;
    quint16 localDnsProxyPort() const override;
    QHostAddress activeProxyAddress() const override;
    bool useLocalDnsProxy() const override;

    // A notification to every desktop connection but those left out, in the order they were accepted.
    void notifyAll(const char *method, const QVariantList &params, const QList<Velmor::IpcConnection *> &except = {});

Q_SIGNALS:
    void localDnsProxyAddressChanged();

private Q_SLOTS:
    void ipc_newConnection(Velmor::IpcConnection *connection);
    void sendIdentificationTimeout();
    void backend_configurationChanged();
    void backend_protectionChanged(const QString &id, bool state);
    void identification_typeChanged();
    void identification_stateChanged();
    void identification_error();
    void proxyRetry_timeout();
    void cabinet_systemInfoChanged();
    void cabinet_categoriesChanged();
    void cabinet_userInfoChanged();
    void cabinet_profilesChanged();
    void cabinet_selectedProfileChanged();
    void cabinet_profileActivityChanged(quint32 profileId, bool active);
    void cabinet_userFilterChanged(quint32 profileId);
    void cabinet_domainsChanged(quint32 profileId, int type);
    void cabinet_error();
    void cabinet_stateChanged();

private:
    Q_DISABLE_COPY(Server)
    friend class ServerPrivate;

    ServerPrivate *d;
};

} // namespace Velmor

#endif // VELMOR_SERVER_H
