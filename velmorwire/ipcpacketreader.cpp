#include "ipcpacketreader.h"

#include <QIODevice>
#include <QPointer>
#include <QtEndian>

#include <atomic>

namespace Velmor {

namespace {

std::atomic<qint64> partialPacketBytes { 0 };

} // namespace

IpcPacketReader::IpcPacketReader(QIODevice *device)
    : QObject(device)
    , m_device(device)
    , m_received(0)
    , m_expected(0)
    , m_invalid(false)
{
    connect(device, &QIODevice::readyRead, this, &IpcPacketReader::device_readyRead);
    // Bytes that arrived before the reader existed raise no readyRead() of their own.
    if (device->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &IpcPacketReader::device_readyRead, Qt::QueuedConnection);
}

IpcPacketReader::~IpcPacketReader()
{
    takeBudget(-m_budget);
}

bool IpcPacketReader::takeBudget(qint64 bytes)
{
    qint64 used = partialPacketBytes.load();
    do {
        if (bytes > 0 && used + bytes > partialPacketBudget)
            return false;
    } while (!partialPacketBytes.compare_exchange_weak(used, used + bytes));
    m_budget += bytes;
    return true;
}

void IpcPacketReader::setPaused(bool paused)
{
    if (m_paused == paused)
        return;
    m_paused = paused;
    // What arrived meanwhile raises no readyRead() of its own.
    if (!paused && m_device->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &IpcPacketReader::device_readyRead, Qt::QueuedConnection);
}

void IpcPacketReader::device_readyRead()
{
    if (m_invalid || m_paused)
        return;
    qint64 avail = m_device->bytesAvailable();
    // Whoever receives a packet may close or delete the device, and this reader with it.
    QPointer<IpcPacketReader> self(this);
    for (;;) {
        if (m_expected == 0) {
            if (avail < 4)
                return;
            char field[4];
            if (m_device->read(field, 4) != 4) {
                Q_EMIT error(ReadError);
                return;
            }
            avail -= 4;
            const qint32 length = qFromLittleEndian<qint32>(field);
            if (length == 0)
                continue;
            if (length < 0 || length > maximumPacketLength) {
                m_invalid = true;
                Q_EMIT packetReady(QByteArray());
                return;
            }
            m_expected = length;
            // Whole at once: growing piece by piece would copy what came so far again and again. Pages not yet
            // written to cost no memory.
            m_buffer.reserve(length);
        }

        // Partial packets are read in pieces of at least four bytes, except the piece that completes one.
        if (m_received + avail < m_expected && avail < 4)
            return;
        const int n = int(qMin<qint64>(m_expected - m_received, avail));
        if (m_received + n < m_expected && m_received + n > m_budget && !takeBudget(m_received + n - m_budget)) {
            m_invalid = true;
            m_buffer.clear();
            takeBudget(-m_budget);
            Q_EMIT packetReady(QByteArray());
            return;
        }
        m_buffer.resize(m_received + n);
        if (m_device->read(m_buffer.data() + m_received, n) != n) {
            m_buffer.resize(m_received);
            Q_EMIT error(ReadError);
            return;
        }
        m_received += n;
        avail -= n;
        if (m_received < m_expected)
            continue;

        const QByteArray packet = m_buffer;
        m_buffer.clear();
        m_expected = 0;
        m_received = 0;
        takeBudget(-m_budget);
        Q_EMIT packetReady(packet);
        if (!self || !m_device->isOpen() || m_paused)
            return;
    }
}

} // namespace Velmor
