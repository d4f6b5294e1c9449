#include "ipcpacketreader.h"

#include <QHash>
#include <QIODevice>
#include <QMutex>
#include <QPointer>
#include <QtEndian>

namespace Velmor {

namespace {

// The budget of partial packets of the process: readers may live on several threads.
struct BudgetPool
{
    struct Waiting
    {
        IpcPacketReader *reader;
        qint64 owner;
    };

    QMutex mutex;
    qint64 used = 0;
    QHash<qint64, qint64> usedBy;
    // Readers stopped for want of budget; at most one entry each.
    QList<Waiting> waiting;
    // Whether one of them stopped because the whole was used up: any return may let it go on.
    bool waitingForWhole = false;
};

BudgetPool &budgetPool()
{
    static BudgetPool pool;
    return pool;
}

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
    BudgetPool &pool = budgetPool();
    const QMutexLocker lock(&pool.mutex);
    pool.waiting.removeIf([this](const BudgetPool::Waiting &waiting) { return waiting.reader == this; });
}

bool IpcPacketReader::takeBudget(qint64 bytes)
{
    if (bytes == 0)
        return true;
    BudgetPool &pool = budgetPool();
    const QMutexLocker lock(&pool.mutex);
    qint64 &mine = pool.usedBy[m_owner];
    if (bytes > 0) {
        const bool wholeFull = pool.used + bytes > partialPacketBudget;
        if (wholeFull || mine + bytes > partialPacketBudgetPerOwner) {
            if (mine == 0)
                pool.usedBy.remove(m_owner);
            pool.waiting.append({ this, m_owner });
            pool.waitingForWhole = pool.waitingForWhole || wholeFull;
            m_budgetWait = true;
            return false;
        }
    }
    pool.used += bytes;
    mine += bytes;
    m_budget += bytes;
    if (mine == 0)
        pool.usedBy.remove(m_owner);
    if (bytes < 0 && !pool.waiting.isEmpty()) {
        // Queued, so a reader never runs inside another's read, nor on a thread not its own; a reader deleted
        // before the call runs takes it with it.
        const bool all = pool.waitingForWhole;
        pool.waitingForWhole = false;
        pool.waiting.removeIf([this, all](const BudgetPool::Waiting &waiting) {
            if (!all && waiting.owner != m_owner)
                return false;
            QMetaObject::invokeMethod(waiting.reader, "budgetFreed", Qt::QueuedConnection);
            return true;
        });
    }
    return true;
}

void IpcPacketReader::setBudgetOwner(qint64 owner)
{
    if (owner == m_owner)
        return;
    // What it holds goes with it; normally it holds nothing yet.
    const qint64 held = m_budget;
    takeBudget(-held);
    m_owner = owner;
    BudgetPool &pool = budgetPool();
    const QMutexLocker lock(&pool.mutex);
    pool.used += held;
    pool.usedBy[m_owner] += held;
    m_budget = held;
}

void IpcPacketReader::budgetFreed()
{
    m_budgetWait = false;
    device_readyRead();
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
    if (m_invalid || m_paused || m_budgetWait)
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
        // Without room the piece waits where it is, and the peer's sending with it.
        if (m_received + n < m_expected && m_received + n > m_budget && !takeBudget(m_received + n - m_budget))
            return;
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
