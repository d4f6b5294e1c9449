#ifndef VELMOR_IPCCONNECTION_H
#define VELMOR_IPCCONNECTION_H

#include "velmorwire_global.h"

#include <QObject>
#include <QPointer>
#include <QVariantList>

class QIODevice;

namespace Velmor {

class IpcPacketReader;
class JsonRPC;
class JsonRPCCall;

// One end of a framed JSON-RPC link over a QIODevice, which it owns. Packets carry a signed 32-bit
// little-endian length, a kind byte (bit 0: a response) and UTF-8 JSON text.
class VELMORWIRE_EXPORT IpcConnection : public QObject
{
    Q_OBJECT

public:
    enum State {
        Unconnected = 0,
        Connecting = 1,
        Connected = 2,
        Closing = 3,
    };
    Q_ENUM(State)

    // How the link was last lost; the connection never clears it, a subclass that reconnects does.
    enum LinkError {
        NoLinkError = 0,
        // The device reported an error, or the link was lost while connecting.
        DeviceError = 1,
        // The link was lost after it had been connected, or while closing.
        LinkLost = 2,
    };
    Q_ENUM(LinkError)

    // The most values one received text may hold (see Json::parse): a 10,000-domain list holds about 100,000.
    static constexpr qsizetype maximumJsonValues = 1000000;
    // A peer that does not read its answers: past the first bound of unsent bytes, no more of its requests are read
    // until it has read enough; past the second, the link is closed.
    static constexpr qint64 unsentBytesPauseBound = 8 * 1024 * 1024;
    static constexpr qint64 unsentBytesCloseBound = 64 * 1024 * 1024;
    // The most a socket's own buffer holds of what has arrived and is not read yet.
    static constexpr qint64 socketReadBufferBytes = 256 * 1024;

    IpcConnection(QIODevice *device, QObject *parent = nullptr);
    ~IpcConnection() override;

    // Sets up the reader and the device's signals for the device in m_device; run again by a subclass that
    // has replaced the device.
    virtual void initSocket();
    virtual void close();
    virtual Velmor::JsonRPCCall *call(const char *method, const QVariantList &params = QVariantList());

    void notify(const char *method, const QVariantList &params = QVariantList());
    // Queues a notification already made by JsonRPC::notificationText.
    void notifyText(const char *method, const QString &text);
    // The handler's own methods answer the peer's requests; it must outlive the connection.
    void setJsonRPCHandler(QObject *handler);
    void writeJsonPacket(const QString &json, bool response);
    // The local user at the other end, whose part of the budget of partial packets this link's are charged to
    // (IpcPacketReader); set before the first packet arrives.
    void setPeerOwner(qint64 owner);

    State state() const { return m_state; }
    LinkError error() const { return m_error; }
    QString errorString() const { return m_errorString; }

Q_SIGNALS:
    void connected();
    void disconnected();
    void stateChanged();

protected:
    virtual void socket_error();

    void setState(State state);

protected Q_SLOTS:
    virtual void socket_connected();
    virtual void socket_disconnected();

private Q_SLOTS:
    void jsonrpc_outgoingRequestReady();
    void jsonrpc_outgoingResponseReady(const QString &response);
    void reader_packetReady(const QByteArray &packet);
    void device_bytesWritten();
    void jsonrpc_answerTooLong();

protected:
    State m_state;
    QPointer<Velmor::IpcPacketReader> m_reader;
    QIODevice *m_device;
    Velmor::JsonRPC *m_jsonrpc;
    LinkError m_error;
    QString m_errorString;

private:
    Q_DISABLE_COPY(IpcConnection)

    class DeviceSignal;
    // Pauses reading, or closes the link, by what waits to be sent.
    void checkUnsentBytes();
    void abortLink();

    // How many of the device's signals are being delivered to this connection right now.
    int m_deviceSignals;
    qint64 m_peerOwner;
};

} // namespace Velmor

#endif // VELMOR_IPCCONNECTION_H
