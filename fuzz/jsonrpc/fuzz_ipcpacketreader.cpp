// Feeds a byte stream to the packet reader in chunks of fuzzer-chosen sizes and checks that the packets it
// delivers are exactly those a plain reading of the whole stream finds.
#include "velmorwire/ipcpacketreader.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QtEndian>

#include <cstdlib>
#include <cstring>

using namespace Velmor;

namespace {

// A device whose bytes arrive only when fed, each feeding raising readyRead() as a socket does.
class ChunkDevice : public QIODevice
{
public:
    ChunkDevice() { open(QIODevice::ReadOnly | QIODevice::Unbuffered); }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_pending.size() + QIODevice::bytesAvailable(); }
    void feed(const QByteArray &bytes)
    {
        m_pending += bytes;
        Q_EMIT readyRead();
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = qMin<qint64>(maxSize, m_pending.size());
        std::memcpy(data, m_pending.constData(), size_t(n));
        m_pending.remove(0, int(n));
        return n;
    }
    qint64 writeData(const char *, qint64 size) override { return size; }

private:
    QByteArray m_pending;
};

// The complete packets of a stream; an impossible length ends it with an empty packet.
QList<QByteArray> expectedPackets(const QByteArray &stream)
{
    QList<QByteArray> packets;
    int at = 0;
    while (stream.size() - at >= 4) {
        const qint32 length = qFromLittleEndian<qint32>(stream.constData() + at);
        at += 4;
        if (length == 0)
            continue;
        if (length < 0 || length > IpcPacketReader::maximumPacketLength) {
            packets.append(QByteArray());
            break;
        }
        if (stream.size() - at < length)
            break;
        packets.append(stream.mid(at, length));
        at += length;
    }
    return packets;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte counts the chunk sizes that follow; the rest is the stream.
    const size_t sizes = qMin<size_t>(data[0] % 16, size - 1);
    const QByteArray chunking(reinterpret_cast<const char *>(data + 1), int(sizes));
    const QByteArray stream(reinterpret_cast<const char *>(data + 1 + sizes), int(size - 1 - sizes));

    ChunkDevice device;
    auto reader = new IpcPacketReader(&device);
    QList<QByteArray> packets;
    QObject::connect(
        reader, &IpcPacketReader::packetReady, [&packets](const QByteArray &packet) { packets.append(packet); });

    int at = 0;
    for (int i = 0; at < stream.size(); ++i) {
        const int chunk = chunking.isEmpty() ? stream.size() : 1 + uchar(chunking.at(i % chunking.size()));
        device.feed(stream.mid(at, chunk));
        at += chunk;
    }
    if (packets != expectedPackets(stream))
        std::abort();
    return 0;
}
