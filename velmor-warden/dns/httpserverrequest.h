#ifndef VELMOR_HTTPSERVERREQUEST_H
#define VELMOR_HTTPSERVERREQUEST_H

#include <QObject>

class QTcpSocket;

namespace Velmor {

// One connection to the block page: collects the request header, is answered once, and finishes when the answer
// is written or the client goes. Its socket goes with it.
class HttpServerRequest : public QObject
{
    Q_OBJECT

public:
    // How long an answered connection still reads what the client sends before it closes.
    static constexpr int LingerMs = 2000;

    HttpServerRequest(QTcpSocket *socket, QObject *parent = nullptr);
    ~HttpServerRequest() override;

    // 200 for a well-formed request line, else the error status to answer with.
    int status() const { return m_status; }
    QString path() const { return m_path; }
    QString version() const { return m_version; }
    // A HEAD request is answered without a body.
    bool isHead() const { return m_method == QLatin1String("HEAD"); }
    // Whether the whole request header has arrived (or the connection was answered without it).
    bool isReady() const { return m_ready; }
    // The user owning the client's socket, -1 when unknown; set by the server.
    qint64 owner() const { return m_owner; }
    void setOwner(qint64 owner) { m_owner = owner; }
    // When the connection was accepted, on the DNS clock.
    qint64 acceptedAt() const { return m_acceptedAt; }
    bool isAnswered() const { return m_answered; }
    // Answered, and reading what the client still sends before it closes.
    bool isLingering() const { return m_lingering; }

    // Writes the one answer of this connection, if the client is still there.
    void writeAnswer(const QByteArray &answer);

Q_SIGNALS:
    void requestReady();
    void finished();

private Q_SLOTS:
    void socket_readyRead();
    void socket_bytesWritten(qint64 size);

private:
    QTcpSocket *m_socket;
    QByteArray m_buffer;
    QString m_path;
    QString m_version;
    QString m_method;
    qint64 m_owner = -1;
    qint64 m_bytesToWrite = 0;
    qint64 m_bytesWritten = 0;
    qint64 m_acceptedAt;
    int m_status = 0;
    bool m_ready = false;
    bool m_answered = false;
    bool m_lingering = false;
};

} // namespace Velmor

#endif // VELMOR_HTTPSERVERREQUEST_H
