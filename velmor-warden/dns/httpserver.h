#ifndef VELMOR_HTTPSERVER_H
#define VELMOR_HTTPSERVER_H

#include <QObject>
#include <QTimer>

class QTcpServer;

namespace Velmor {

class ServerState;

// The block-page responder of identification by token, on 127.0.0.1 at "httpd-port": a request naming a block
// page address and a blocked host is redirected to that address's page "blocked" with the selected profile's
// token; any other request gets a small placeholder page.
class HttpServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxConnections = 64;
    // Connections of one local user that may wait for their request header, or linger after their answer, at once:
    // beyond it the newest is refused, so one user holding connections open cannot keep the others' requests out.
    static constexpr int MaxHalfOpenPerUser = 8;
    // Seconds a connection has to send its whole request header.
    static constexpr int HeaderTimeout = 5;

    // The server is the parent.
    explicit HttpServer(Velmor::ServerState *server);
    ~HttpServer() override;

    // Listens at the service setting "httpd-port" (0 when absent). True at once when already listening. On failure
    // errorString() holds the reason, also given as a warning; a later success does not clear it.
    bool start();
    // Stops listening; connections already accepted go on.
    void close();
    bool isListening() const;
    quint16 serverPort() const;
    QString errorString() const { return m_errorString; }

private Q_SLOTS:
    void socket_newConnection();
    void requestReady();
    void closeStalledRequests();

private:
    // Requests of the user still waiting for their header.
    int halfOpenRequests(qint64 owner) const;

    Velmor::ServerState *m_server;
    QTcpServer *m_tcpServer;
    QTimer m_stallTimer;
    int m_connections = 0;
    QString m_errorString;
};

} // namespace Velmor

#endif // VELMOR_HTTPSERVER_H
