#include "ipcconnection.h"

#include "error.h"
#include "ipcpacketreader.h"
#include "jsonrpc.h"
#include "jsonrpccall.h"

#include <QAbstractSocket>
#include <QIODevice>
#include <QPointer>
#include <QStringEncoder>
#include <QtEndian>

namespace Velmor {

// Marks a slot that runs inside one of the device's signals. A handler may delete the connection there, but
// not the device: Qt goes on using a socket after its signal returns.
class IpcConnection::DeviceSignal
{
public:
    explicit DeviceSignal(IpcConnection *connection)
        : m_connection(connection)
    {
        ++connection->m_deviceSignals;
    }
    ~DeviceSignal()
    {
        if (m_connection)
            --m_connection->m_deviceSignals;
    }
    bool connectionAlive() const { return !m_connection.isNull(); }

private:
    Q_DISABLE_COPY(DeviceSignal)
    QPointer<IpcConnection> m_connection;
};

IpcConnection::IpcConnection(QIODevice *device, QObject *parent)
    : QObject(parent)
    , m_state(Unconnected)
    , m_device(device)
    , m_jsonrpc(new JsonRPC(this))
    , m_error(NoLinkError)
    , m_deviceSignals(0)
    , m_peerOwner(IpcPacketReader::noOwner)
{
    m_jsonrpc->useGrouping(false);
    m_jsonrpc->setValueBudget(maximumJsonValues);
    connect(m_jsonrpc, &JsonRPC::outgoingRequestReady, this, &IpcConnection::jsonrpc_outgoingRequestReady);
    connect(m_jsonrpc, &JsonRPC::outgoingResponseReady, this, &IpcConnection::jsonrpc_outgoingResponseReady);
    connect(m_jsonrpc, &JsonRPC::answerTooLong, this, &IpcConnection::jsonrpc_answerTooLong);
    // A virtual call from a constructor reaches this class's version, which is the set-up meant here.
    IpcConnection::initSocket();
}

IpcConnection::~IpcConnection()
{
    // The engine goes first, so that no late answer is written to a device already gone; a device closing in
    // its destructor must not reach this half-destroyed connection.
    delete m_jsonrpc;
    m_jsonrpc = nullptr;
    if (m_reader)
        disconnect(m_reader, nullptr, this, nullptr);
    if (!m_device)
        return;
    disconnect(m_device, nullptr, this, nullptr);
    if (m_deviceSignals == 0) {
        delete m_device;
        return;
    }
    m_device->setParent(nullptr);
    m_device->close();
    m_device->deleteLater();
}

void IpcConnection::initSocket()
{
    delete m_reader.data();
    // The connection owns its device: an accepted socket must not stay a child of its listener, which would
    // delete it under the connection.
    m_device->setParent(this);
    m_state = m_device->isOpen() ? Connected : Unconnected;
    m_reader = new IpcPacketReader(m_device);
    m_reader->setBudgetOwner(m_peerOwner);
    if (auto socket = qobject_cast<QAbstractSocket *>(m_device)) {
        // The packet reader holds what a packet needs; the socket need not hold more than a piece of it too.
        socket->setReadBufferSize(socketReadBufferBytes);
        connect(socket, &QAbstractSocket::connected, this, &IpcConnection::socket_connected, Qt::UniqueConnection);
        connect(
            socket, &QAbstractSocket::disconnected, this, &IpcConnection::socket_disconnected, Qt::UniqueConnection);
    }
    connect(m_reader, &IpcPacketReader::packetReady, this, &IpcConnection::reader_packetReady);
    connect(m_device, &QIODevice::bytesWritten, this, &IpcConnection::device_bytesWritten, Qt::UniqueConnection);
}

void IpcConnection::close()
{
    QPointer<IpcConnection> self(this);
    setState(Closing);
    if (self)
        m_device->close();
}

JsonRPCCall *IpcConnection::call(const char *method, const QVariantList &params)
{
    return m_jsonrpc->call(method, params);
}

void IpcConnection::notify(const char *method, const QVariantList &params)
{
    m_jsonrpc->notify(method, params);
}

void IpcConnection::notifyText(const char *method, const QString &text)
{
    m_jsonrpc->notifyText(method, text);
}

void IpcConnection::setJsonRPCHandler(QObject *handler)
{
    m_jsonrpc->setRequestHandler(handler);
}

void IpcConnection::writeJsonPacket(const QString &json, bool response)
{
    // The text is encoded straight into the packet: a large answer is not held in UTF-8 twice.
    QStringEncoder encoder(QStringEncoder::Utf8);
    QByteArray packet(5 + encoder.requiredSpace(json.size()), Qt::Uninitialized);
    const char *end = encoder.appendToBuffer(packet.data() + 5, json);
    packet.truncate(end - packet.constData());
    qToLittleEndian<qint32>(qint32(packet.size() - 4), packet.data());
    packet[4] = response ? 1 : 0;
    // A packet written to a device that is not open is lost; the peer's deadline covers it.
    m_device->write(packet);
    checkUnsentBytes();
}

void IpcConnection::setPeerOwner(qint64 owner)
{
    m_peerOwner = owner;
    if (m_reader)
        m_reader->setBudgetOwner(owner);
}

void IpcConnection::checkUnsentBytes()
{
    const qint64 unsent = m_device->bytesToWrite();
    if (unsent > unsentBytesCloseBound) {
        qWarning("IPC peer does not read its answers (%lld bytes unsent). disconnecting", unsent);
        abortLink();
        return;
    }
    if (unsent > unsentBytesPauseBound && m_reader && !m_reader->isPaused()) {
        m_reader->setPaused(true);
        // The socket's own buffer stops filling too, so the peer's requests wait in its socket.
        if (auto socket = qobject_cast<QAbstractSocket *>(m_device))
            socket->setReadBufferSize(64 * 1024);
    }
}

void IpcConnection::device_bytesWritten()
{
    if (m_reader && m_reader->isPaused() && m_device->bytesToWrite() <= unsentBytesPauseBound / 2) {
        if (auto socket = qobject_cast<QAbstractSocket *>(m_device))
            socket->setReadBufferSize(socketReadBufferBytes);
        m_reader->setPaused(false);
    }
}

void IpcConnection::jsonrpc_answerTooLong()
{
    qWarning("IPC answer longer than %lld characters. disconnecting", qint64(JsonRPC::maximumAnswerLength));
    abortLink();
}

void IpcConnection::abortLink()
{
    // What waits to be sent goes too: a socket that closes gracefully would keep it for a peer that never reads.
    // The loss of the link is reported as a disconnection.
    if (auto socket = qobject_cast<QAbstractSocket *>(m_device))
        socket->abort();
    else
        m_device->close();
}

void IpcConnection::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    Q_EMIT stateChanged();
}

void IpcConnection::socket_connected()
{
    const DeviceSignal scope(this);
    setState(Connected);
    if (scope.connectionAlive())
        Q_EMIT connected();
}

void IpcConnection::socket_disconnected()
{
    if (m_state == Unconnected)
        return;
    const DeviceSignal scope(this);
    m_errorString = m_device->errorString();
    if (!m_errorString.isEmpty() && m_error == NoLinkError)
        m_error = m_state == Connecting ? DeviceError : LinkLost;
    const State previous = m_state;
    setState(Unconnected);
    if (previous == Connected && scope.connectionAlive())
        Q_EMIT disconnected();
}

void IpcConnection::socket_error()
{
    socket_disconnected();
}

void IpcConnection::jsonrpc_outgoingRequestReady()
{
    if (m_state != Connected) {
        m_jsonrpc->dropAllOutgoing(Error(Error::NotConnected, QString()));
        return;
    }
    while (m_jsonrpc->hasPendingOutgoingRequest())
        writeJsonPacket(m_jsonrpc->serializeOutgoingRequest(nullptr), false);
}

void IpcConnection::jsonrpc_outgoingResponseReady(const QString &response)
{
    writeJsonPacket(response, true);
}

void IpcConnection::reader_packetReady(const QByteArray &packet)
{
    const DeviceSignal scope(this);
    if (packet.isEmpty()) {
        qWarning("Invalid IPC packet. disconnecting");
        // Not close(): the loss of the link is reported as a disconnection.
        m_device->close();
        return;
    }
    // The text stays inside the packet: one packet may be 16 MiB, and a copy would count twice.
    const QByteArray body = QByteArray::fromRawData(packet.constData() + 1, packet.size() - 1);
    if (packet.at(0) & 1)
        m_jsonrpc->incomingResponse(body);
    else
        m_jsonrpc->incomingRequest(body);
}

} // namespace Velmor
