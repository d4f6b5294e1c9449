#ifndef VELMOR_IPCPACKETREADER_H
#define VELMOR_IPCPACKETREADER_H

#include "velmorwire_global.h"

#include <QByteArray>
#include <QObject>

class QIODevice;

namespace Velmor {

// Cuts a device's byte stream into packets: a signed 32-bit little-endian length L, then L bytes (the kind
// byte and the JSON text). A child of the device it reads, so it goes with the device.
class VELMORWIRE_EXPORT IpcPacketReader : public QObject
{
    Q_OBJECT

public:
    enum Error {
        ReadError = 1,
    };
    Q_ENUM(Error)

    // Longer packets are refused before any buffer grows. The largest message of the link, 10,000 domains, is
    // about 0.6 MB; what one packet may cost the receiver grows with this length.
    static constexpr qint32 maximumPacketLength = 16 * 1024 * 1024;
    // What the packets still being received may hold in all, over every reader of the process: many peers that
    // each send most of a long packet and stop must not add up. A packet that would go over it is refused as an
    // oversized one is.
    static constexpr qint64 partialPacketBudget = 64 * 1024 * 1024;

    // While paused, nothing more is read from the device: its data waits there, and in the peer's socket once the
    // device's read buffer is full.
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }

    explicit IpcPacketReader(QIODevice *device);
    ~IpcPacketReader() override;

Q_SIGNALS:
    // One complete packet, kind byte first. An empty packet stands for a length the link cannot carry
    // (0 is skipped, a negative or oversized length is reported this way); nothing more is read after it.
    void packetReady(const QByteArray &packet);
    void error(Velmor::IpcPacketReader::Error error);

private Q_SLOTS:
    void device_readyRead();

private:
    Q_DISABLE_COPY(IpcPacketReader)

    QIODevice *m_device;
    // Takes bytes more of the budget of partial packets, or gives them back when negative; false when it has not
    // that much left.
    bool takeBudget(qint64 bytes);

    QByteArray m_buffer;
    // The part of the budget of partial packets this reader holds.
    qint64 m_budget = 0;
    bool m_paused = false;
    int m_received;
    int m_expected;
    bool m_invalid;
};

} // namespace Velmor

#endif // VELMOR_IPCPACKETREADER_H
