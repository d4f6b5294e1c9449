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
    // What the packets still being received may hold in all, over every reader of the process, and of it the
    // readers of one owner (the local user at the other end): many peers that each send most of a long packet and
    // stop must not add up, and one user's must not leave others without room. A reader whose next piece would go
    // over either stops reading, its data waiting in the device and then in the peer's socket, until a packet of
    // the same owner is completed or dropped, or one of any owner when the whole was used up.
    static constexpr qint64 partialPacketBudget = 64 * 1024 * 1024;
    static constexpr qint64 partialPacketBudgetPerOwner = maximumPacketLength;
    // The owner of readers that were given none; they share one part.
    static constexpr qint64 noOwner = -1;

    // While paused, nothing more is read from the device: its data waits there, and in the peer's socket once the
    // device's read buffer is full.
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }
    // The owner whose part of the budget this reader's packets are charged to.
    void setBudgetOwner(qint64 owner);
    qint64 budgetOwner() const { return m_owner; }
    // Whether the reader stopped for want of budget.
    bool isWaitingForBudget() const { return m_budgetWait; }

    explicit IpcPacketReader(QIODevice *device);
    ~IpcPacketReader() override;

Q_SIGNALS:
    // One complete packet, kind byte first. An empty packet stands for a length the link cannot carry
    // (0 is skipped, a negative or oversized length is reported this way); nothing more is read after it.
    void packetReady(const QByteArray &packet);
    void error(Velmor::IpcPacketReader::Error error);

private Q_SLOTS:
    void device_readyRead();
    void budgetFreed();

private:
    Q_DISABLE_COPY(IpcPacketReader)

    QIODevice *m_device;
    // Takes bytes more of the budget of partial packets, or gives them back when negative; false when the owner's
    // part or the whole has not that much left, and the reader is then woken by budgetFreed() when some comes back.
    bool takeBudget(qint64 bytes);

    QByteArray m_buffer;
    // The part of the budget of partial packets this reader holds.
    qint64 m_budget = 0;
    qint64 m_owner = noOwner;
    bool m_paused = false;
    bool m_budgetWait = false;
    int m_received;
    int m_expected;
    bool m_invalid;
};

} // namespace Velmor

#endif // VELMOR_IPCPACKETREADER_H
