#include "httpserver.h"

#include "blockpagerequest.h"
#include "dnsclock.h"
#include "httpserverrequest.h"

#include "base/serverstate.h"
#include "base/servicesettings.h"
#include "platform/settingsstore.h"
#include "platform/socketowner.h"

#include <QDateTime>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>

namespace Velmor {

HttpServer::HttpServer(ServerState *server)
    : QObject(server)
    , m_server(server)
    , m_tcpServer(new QTcpServer(this))
{
    m_tcpServer->setProxy(QNetworkProxy::NoProxy);
    connect(m_tcpServer, &QTcpServer::newConnection, this, &HttpServer::socket_newConnection);
    m_stallTimer.setInterval(1000);
    connect(&m_stallTimer, &QTimer::timeout, this, &HttpServer::closeStalledRequests);
}

HttpServer::~HttpServer() = default;

bool HttpServer::start()
{
    if (m_tcpServer->isListening())
        return true;
    QString text;
    quint16 port = 0;
    if (!ServiceSettings().httpdPort(&port, &text)) {
        m_errorString = QStringLiteral("Failed to start http server on 127.0.0.1:%1: %2")
                            .arg(text, QStringLiteral("the port is not a number from 0 to 65535"));
        qWarning("%s", qPrintable(m_errorString));
        return false;
    }
    if (!m_tcpServer->listen(QHostAddress::LocalHost, port)) {
        m_errorString = QStringLiteral("Failed to start http server on 127.0.0.1:%1: %2")
                            .arg(port)
                            .arg(m_tcpServer->errorString());
        qWarning("%s", qPrintable(m_errorString));
        return false;
    }
    return true;
}

void HttpServer::close()
{
    m_tcpServer->close();
}

bool HttpServer::isListening() const
{
    return m_tcpServer->isListening();
}

quint16 HttpServer::serverPort() const
{
    return m_tcpServer->serverPort();
}

void HttpServer::socket_newConnection()
{
    while (QTcpSocket *socket = m_tcpServer->nextPendingConnection()) {
        const qint64 owner = m_connections >= MaxConnections
            ? -1
            : Platform::tcpSocketOwner(
                socket->peerAddress(), socket->peerPort(), socket->localAddress(), socket->localPort());
        if (m_connections >= MaxConnections || halfOpenRequests(owner) >= MaxHalfOpenPerUser) {
            socket->abort();
            delete socket;
            continue;
        }
        ++m_connections;
        auto *request = new HttpServerRequest(socket, this);
        request->setOwner(owner);
        connect(request, &QObject::destroyed, this, [this] { --m_connections; });
        connect(request, &HttpServerRequest::requestReady, this, &HttpServer::requestReady);
        connect(request, &HttpServerRequest::finished, request, &QObject::deleteLater);
        if (!m_stallTimer.isActive())
            m_stallTimer.start();
    }
}

int HttpServer::halfOpenRequests(qint64 owner) const
{
    const QList<HttpServerRequest *> requests
        = findChildren<HttpServerRequest *>(QString(), Qt::FindDirectChildrenOnly);
    return int(std::count_if(requests.cbegin(), requests.cend(), [owner](const HttpServerRequest *request) {
        return (!request->isReady() || request->isLingering()) && request->owner() == owner;
    }));
}

void HttpServer::requestReady()
{
    auto *request = qobject_cast<HttpServerRequest *>(sender());
    if (!request)
        return;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (request->status() != BlockPage::Ok)
        request->writeAnswer(BlockPage::errorAnswer(BlockPage::Status(request->status()), now));
    else
        request->writeAnswer(
            BlockPage::answer(request->path(), request->version(), m_server->profileToken(), now, !request->isHead()));
}

void HttpServer::closeStalledRequests()
{
    const QList<HttpServerRequest *> requests
        = findChildren<HttpServerRequest *>(QString(), Qt::FindDirectChildrenOnly);
    if (requests.isEmpty()) {
        m_stallTimer.stop();
        return;
    }
    const qint64 deadline = DNS::now() - qint64(HeaderTimeout) * 1000;
    for (HttpServerRequest *request : requests) {
        if (!request->isAnswered() && request->acceptedAt() < deadline)
            request->writeAnswer(BlockPage::errorAnswer(BlockPage::RequestTimeout, QDateTime::currentDateTimeUtc()));
    }
}

} // namespace Velmor
