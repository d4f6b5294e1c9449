#include "serviceconnector.h"

#include "velmorwire/error.h"
#include "velmorwire/ipcport.h"
#include "velmorwire/jsonrpc.h"
#include "velmorwire/jsonrpccall.h"

#include <QTcpSocket>
#include <QTimer>

ServiceConnector::ServiceConnector(QObject *parent)
    : Velmor::LocalSocketIpcConnection(parent)
    , m_failed(false)
    , m_droppingCalls(false)
    , m_reconnectTimer(new QTimer(this))
{
    m_reconnectTimer->setInterval(3000);
    connect(m_reconnectTimer, &QTimer::timeout, this, &ServiceConnector::timer_reconnectToService);
}

ServiceConnector::~ServiceConnector()
{
    m_reconnectTimer->stop();
}

void ServiceConnector::connectToService()
{
    if (m_state != Unconnected)
        return;
    m_errorString.clear();
    m_error = NoLinkError;
    auto socket = static_cast<QTcpSocket *>(m_device);
    connect(socket, &QTcpSocket::connected, m_reconnectTimer, &QTimer::stop, Qt::UniqueConnection);
    setState(Connecting);
    socket->connectToHost(QHostAddress::LocalHost, Velmor::ipcPort(), QIODevice::ReadWrite);
}

Velmor::JsonRPCCall *ServiceConnector::call(const char *method, const QVariantList &params)
{
    Velmor::JsonRPCCall *sent = Velmor::LocalSocketIpcConnection::call(method, params);
    connect(sent, &Velmor::JsonRPCCall::finished, this, &ServiceConnector::request_finished);
    return sent;
}

void ServiceConnector::timer_reconnectToService()
{
    if (m_state == Closing)
        return;
    m_failed = true;
    // The old socket is not inside one of its own signals here: the timer called.
    delete m_device;
    m_device = new QTcpSocket;
    initSocket();
    connectToService();
}

void ServiceConnector::socket_connected()
{
    m_failed = false;
    m_everConnected = true;
    Velmor::LocalSocketIpcConnection::socket_connected();
}

void ServiceConnector::socket_disconnected()
{
    const bool wasUp = m_state == Connected;
    Velmor::LocalSocketIpcConnection::socket_disconnected();
    if (wasUp) {
        // No answer comes over a closed link: the calls still waiting end now, not at their deadlines. The loss is
        // told once below, not once per call.
        m_droppingCalls = true;
        m_jsonrpc->dropOutgoing(nullptr, Velmor::Error(Velmor::Error::NotConnected, QString()));
        m_droppingCalls = false;
    }
    if (m_error == NoLinkError || m_reconnectTimer->isActive())
        return;
    m_failed = true;
    m_reconnectTimer->start();
    // The socket reports a peer that hung up as its own error; a link that was up was interrupted all the same.
    Q_EMIT serviceError(wasUp ? LinkLost : m_error);
}

void ServiceConnector::request_finished()
{
    auto finished = qobject_cast<Velmor::JsonRPCCall *>(sender());
    if (!finished)
        return;
    switch (finished->error().code()) {
    case Velmor::Error::GeneralFailure:
        Q_EMIT errorOccurred(finished->error().message(), tr("Unknown error"));
        break;
    case Velmor::Error::NotConnected:
        if (m_droppingCalls)
            break;
        Q_EMIT errorOccurred(tr("No connection to system service"), tr("Service error"));
        break;
    default:
        break;
    }
}
