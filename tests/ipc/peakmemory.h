#ifndef VELMOR_TESTS_PEAKMEMORY_H
#define VELMOR_TESTS_PEAKMEMORY_H

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// What one request packet costs the receiving end of an IPC link, measured on ipc_test_server: each packet goes
// to a fresh server process, whose peak resident set is read after a warm-up call and again after the call that
// follows the packet.

// One packet a hostile local process could send, and the code of the first answer it gets (0: a result). Its text
// is made when it is sent: all of them together would take a few hundred MiB.
struct PacketShape
{
    QString name;
    std::function<QByteArray()> text;
    int answerCode = 0;
};

// The bytes on the wire: the length field, the kind byte and the text.
inline qint64 packetBytes(const QByteArray &text)
{
    return text.size() + 5;
}

// The link's limits as a peer sees them.
constexpr qint64 packetLengthLimit = 16 * 1024 * 1024;
constexpr int valueBudget = 1000000;
constexpr int batchItemLimit = 1000;

// Wide batches, deep and wide arrays, long strings and many keys: each either as long as the link carries or
// with as many values as the receiver reads, whichever is the costlier form of that shape.
QList<PacketShape> hostilePacketShapes();

struct PeakGrowth
{
    // Empty when the packet was answered with its expected code and the call after it was answered.
    QString failure;
    qint64 baselineKiB = 0;
    qint64 peakKiB = 0;
    double seconds = 0;

    qint64 bytes() const { return (peakKiB - baselineKiB) * 1024; }
};

// Runs serverProgram (which prints "listening <port>") and sends it a request packet holding text, which is to be
// answered with answerCode. The server may use no more than addressSpaceLimit bytes of address space, so a
// runaway fails instead of taking the machine's memory.
PeakGrowth measurePeakGrowth(const QString &serverProgram, const QByteArray &text, int answerCode,
    qint64 addressSpaceLimit = qint64(4) * 1024 * 1024 * 1024);

// The high-water mark of this process's resident set, in KiB, or -1. Not getrusage(): its figure survives exec,
// so a fresh process would report the peak of whatever process started it.
qint64 peakResidentKiB();

// The most one packet may add to the receiver's peak: 96 MiB plus three times its size.
constexpr qint64 peakGrowthBound(qint64 bytes)
{
    return 96 * 1024 * 1024 + 3 * bytes;
}

#endif // VELMOR_TESTS_PEAKMEMORY_H
