#ifndef VELMOR_CONSOLE_SINGLEINSTANCEPEER_H
#define VELMOR_CONSOLE_SINGLEINSTANCEPEER_H

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// Keeps one copy of the program per user and login session, and carries text messages from later copies to
// it. An exclusive lock on a file in the user's runtime folder decides which copy is the instance; the
// instance listens on a local socket beside it, which only this user may reach. A socket left by a copy that
// died is removed only by the next holder of the lock, so no running copy ever loses its socket.
class SingleInstancePeer : public QObject
{
    Q_OBJECT

public:
    // The lock and socket names are made from the id and XDG_SESSION_ID.
    SingleInstancePeer(QObject *parent, const QString &appId);
    ~SingleInstancePeer() override;

    // Decided once, on the first call: false takes the instance (and starts listening), true means another
    // copy holds it. Without a usable runtime folder this copy runs on its own.
    bool isClient();
    // Hands the message to the instance; true once the instance acknowledged it within the timeout (ms).
    bool sendMessage(const QString &message, int timeout);
    // Whether some copy holds the instance right now; a client asks this while it waits for an answer.
    bool isInstanceHeld();

    QString applicationId() const { return m_id; }
    // The full path of the instance's socket.
    QString socketPath() const { return m_socketPath; }

    // A connected client that sends nothing for this long is dropped (5000 ms).
    void setSilenceTimeout(int msec) { m_silenceTimeout = msec; }

Q_SIGNALS:
    void messageReceived(const QString &message);

private Q_SLOTS:
    void server_newConnection();

private:
    Q_DISABLE_COPY(SingleInstancePeer)

    void serve(QLocalSocket *client);
    bool listen();

    QString m_id;
    QString m_lockPath;
    QString m_socketPath;
    int m_lockFd;
    int m_decided; // -1 undecided, 0 instance, 1 client
    int m_silenceTimeout;
    QLocalServer *m_server;
};

#endif // VELMOR_CONSOLE_SINGLEINSTANCEPEER_H
