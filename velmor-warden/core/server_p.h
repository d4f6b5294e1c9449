#ifndef VELMOR_SERVER_P_H
#define VELMOR_SERVER_P_H

#include "server.h"
#include "unlockthrottle.h"

#include "velmorwire/error.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

namespace Velmor {

class Backend;
class Cabinet;
class CabinetProfile;
class CabinetProfiles;
class Identification;
class IpcConnection;
class IpcServer;
class NetworksInfo;

// What the server keeps, and the operations the IPC methods and notifications use.
class ServerPrivate : public QObject
{
    Q_OBJECT

public:
    enum State { Stopped = 0, Starting = 1, Running = 2, Stopping = 3 };

    // The longest pause the resume timer can hold: its interval is a signed 32-bit count of milliseconds.
    static constexpr int longestPauseMinutes = 35791;
    // A proxy that cannot listen on its address is tried again this often, as the IPC port is.
    static constexpr int proxyRetryMs = 5000;

    explicit ServerPrivate(Server *server);
    ~ServerPrivate() override;

    // False, and nothing changes, when the switch is already there or when a pause is asked with a negative delay.
    bool setGlobalFiltering(bool on, int delayMinutes);
    // Stores "localproxy-addr" and restarts the proxy on it where one runs. False, and nothing changes, for a
    // null address, port 0 or the filtering resolver's own address and port.
    bool setLocalDnsProxyAddress(const QHostAddress &address, quint16 port);
    void networksInfo(Velmor::NetworksInfo &info) const;
    // The identification notification for the connection, or for every connection when none is given, on the
    // next turn of the event loop.
    void queueIdentification(Velmor::IpcConnection *connection = nullptr);
    // The whole current state, to a connection just accepted.
    void pushInitialState(Velmor::IpcConnection *connection);
    // A profile's token lets whoever holds it query the filtering resolver as that profile, and the desktop
    // never uses one: the link carries 0 in its place.
    static QVariant profileForLink(const Velmor::CabinetProfile &profile);
    static QVariant profilesForLink(const Velmor::CabinetProfiles &profiles);
    // The selected profile's id, 0 when none is selected.
    quint32 selectedProfileId() const;
    // Whether a new connection starts locked: the settings are protected and the service holds credentials.
    bool isLockedForNewConnection() const;

    Server *server;
    int state;
    Velmor::IpcServer *ipcServer;
    Velmor::Backend *backend;
    Velmor::Cabinet *cabinet;
    QHostAddress upstreamAddress;
    quint16 upstreamPort;
    QHostAddress localAddress;
    quint16 localPort;
    Velmor::Error lastError;
    Velmor::Identification *identification;
    QTimer resumeTimer;
    QList<QPointer<Velmor::IpcConnection>> identificationQueue;
    QTimer identificationTimer;
    // Runs while token identification waits for its proxy's address to be free.
    QTimer proxyRetry;
    Velmor::UnlockThrottle unlockThrottle;
    bool sendToAll;
    bool globalFiltering;

    static ServerPrivate *get(Server *server) { return server->d; }

public Q_SLOTS:
    void globalFilteringTimeout();

private:
    Q_DISABLE_COPY(ServerPrivate)
};

} // namespace Velmor

#endif // VELMOR_SERVER_P_H
