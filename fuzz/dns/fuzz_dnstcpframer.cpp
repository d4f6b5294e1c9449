// A TCP stream cut at random places yields the same messages, in the same order, as the stream taken whole.
#include "dns/tcpframer.h"

#include <QList>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte seeds the cut points; the rest is the stream.
    quint32 seed = data[0] * 2654435761u + 1;
    const QByteArray stream(reinterpret_cast<const char *>(data) + 1, qsizetype(size) - 1);

    Velmor::DNS::TcpFramer whole;
    whole.append(stream);
    QList<QByteArray> expected;
    QByteArray message;
    while (whole.next(message))
        expected.append(message);

    Velmor::DNS::TcpFramer pieces;
    QList<QByteArray> got;
    qsizetype at = 0;
    while (at < stream.size()) {
        seed = seed * 1103515245u + 12345u;
        const qsizetype length = qMin<qsizetype>(stream.size() - at, 1 + (seed >> 16) % 37);
        pieces.append(stream.mid(at, length));
        at += length;
        while (pieces.next(message))
            got.append(message);
    }
    if (got != expected || pieces.bufferedSize() != whole.bufferedSize())
        std::abort();
    for (const QByteArray &m : got) {
        if (Velmor::DNS::TcpFramer::frame(m).size() != m.size() + 2)
            std::abort();
    }
    return 0;
}
