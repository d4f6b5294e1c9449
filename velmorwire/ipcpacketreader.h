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
    QByteArray m_buffer;
    int m_received;
    int m_expected;
    bool m_invalid;
};

} // namespace Velmor

#endif // VELMOR_IPCPACKETREADER_H
