#include "httpserverrequest.h"

#include "blockpagerequest.h"
#include "dnsclock.h"

#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

namespace Velmor {

HttpServerRequest::HttpServerRequest(QTcpSocket *socket, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_acceptedAt(DNS::now())
{
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, &HttpServerRequest::socket_readyRead);
    connect(socket, &QTcpSocket::bytesWritten, this, &HttpServerRequest::socket_bytesWritten);
    connect(socket, &QTcpSocket::disconnected, this, &HttpServerRequest::finished);
}

HttpServerRequest::~HttpServerRequest() = default;

void HttpServerRequest::socket_readyRead()
{
    const QByteArray bytes = m_socket->readAll();
    // One answer per connection: whatever follows the first request is not read as another.
    if (m_ready)
        return;
    m_buffer.append(bytes);
    const qsizetype length = BlockPage::headerLength(m_buffer.left(BlockPage::MaxHeaderSize));
    if (length == 0 && m_buffer.size() < BlockPage::MaxHeaderSize)
        return;
    m_ready = true;
    if (length == 0)
        m_status = BlockPage::HeaderTooLarge;
    else if (BlockPage::parseRequestLine(m_buffer, &m_path, &m_version, &m_method))
        m_status = BlockPage::Ok;
    else
        m_status = BlockPage::BadRequest;
    m_buffer.clear();
    Q_EMIT requestReady();
}

void HttpServerRequest::writeAnswer(const QByteArray &answer)
{
    if (m_answered)
        return;
    m_answered = true;
    m_ready = true;
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    m_bytesToWrite = answer.size();
    m_socket->write(answer);
}

void HttpServerRequest::socket_bytesWritten(qint64 size)
{
    // The answer may leave in several pieces; it is done when they add up.
    m_bytesWritten += size;
    if (m_bytesToWrite > 0 && m_bytesWritten >= m_bytesToWrite) {
        m_bytesToWrite = 0;
        // A lingering close: a socket closed with unread bytes resets the connection, and the client may lose the
        // answer with it. The answer ends with our half of the connection; what the client still sends (a body, a
        // next request) is read and dropped until it closes its half, for a moment at most.
        ::shutdown(int(m_socket->socketDescriptor()), SHUT_WR);
        m_lingering = true;
        QTimer::singleShot(LingerMs, this, &HttpServerRequest::finished);
    }
}

} // namespace Velmor
