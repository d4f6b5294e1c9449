#ifndef VELMOR_IPCSERVER_H
#define VELMOR_IPCSERVER_H

#include "velmorwire/error.h"
#include "velmorwire/ipcconnection.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>

class QSocketNotifier;
class QTcpSocket;

namespace Velmor {

// The listener of the desktop programs' links, on 127.0.0.1 only, at the IPC port. Every accepted socket becomes
// a connection it owns until the peer goes. Another program may hold the port, or flood it with connections:
// neither may end the service or starve what else it serves.
class IpcServer : public QObject
{
    Q_OBJECT

public:
    // The most connections at once, in all and of one local user (the owner of the peer's socket): one user's
    // flood leaves room for the others' desktops, and descriptors for the DNS proxy.
    static constexpr int maximumConnections = 64;
    static constexpr int maximumConnectionsPerUser = 8;
    // A peer whose socket the kernel no longer shows connected has gone already, and belongs to no user that may be
    // charged for it: such connections share this small room of their own.
    static constexpr int maximumUnknownConnections = 2;
    static constexpr qint64 unknownOwner = -1;
    // A port that cannot be listened on is tried again this often.
    static constexpr int listenRetryMs = 5000;
    // Accepting waits this long after an error such as running out of descriptors, instead of failing again at once.
    static constexpr int acceptPauseMs = 500;

    explicit IpcServer(QObject *parent = nullptr);
    ~IpcServer() override;

    // Listens, or, when the port cannot be listened on, says so once as an error and tries again every
    // listenRetryMs until it can or stop() is called; lastError() then holds the failure. True in both cases.
    bool start();
    // Closes the listener; connections already open go on.
    bool stop();
    bool isListening() const;
    quint16 serverPort() const;
    Velmor::Error lastError() const { return m_lastError; }

    // The live connections, in the order they were accepted.
    QList<Velmor::IpcConnection *> connections() const;
    // The local user that owns the connection's peer, unknownOwner when it was not found.
    qint64 owner(const Velmor::IpcConnection *connection) const;

Q_SIGNALS:
    void newConnection(Velmor::IpcConnection *connection);

private Q_SLOTS:
    void listener_activated();
    void connectionDisconnected();

private:
    Q_DISABLE_COPY(IpcServer)

    bool listen();
    void closeListener();
    void accept(int descriptor);
    // Closes the connections of that owner, or of everyone with allOwners, whose peer has closed its end: the event
    // loop may not have read their end yet when a flood of connections is accepted in one go.
    void dropGone(qint64 owner, bool allOwners);
    void forget(Velmor::IpcConnection *connection);

    int m_listener = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_retryTimer;
    QTimer m_acceptPause;
    bool m_acceptFailing = false;
    Velmor::Error m_lastError;
    // Guarded: a connection deleted by someone else leaves the list as well.
    QList<QPointer<Velmor::IpcConnection>> m_connections;
    struct Peer
    {
        qint64 owner;
        QPointer<QTcpSocket> socket;
    };
    // The owner of each live connection's peer with its socket, how many each owner holds, and the users whose
    // connections are being refused right now.
    QHash<const Velmor::IpcConnection *, Peer> m_peers;
    QHash<qint64, int> m_ownerConnections;
    QSet<qint64> m_refusing;
};

} // namespace Velmor

#endif // VELMOR_IPCSERVER_H
