#ifndef VELMOR_DNS_TCPFRAMER_H
#define VELMOR_DNS_TCPFRAMER_H

#include <QByteArray>

namespace Velmor {
namespace DNS {

// Cuts a TCP byte stream into DNS messages, each behind a 2-byte big-endian length (RFC 1035 4.2.2).
class TcpFramer
{
public:
    void append(const QByteArray &bytes);
    // Takes the next whole message; false while its bytes have not all arrived.
    bool next(QByteArray &message);
    qsizetype bufferedSize() const { return m_buffer.size() - m_start; }
    void clear();

    // The prefix and the message, or an empty array when the message cannot be announced in 16 bits.
    static QByteArray frame(const QByteArray &message);

private:
    QByteArray m_buffer;
    // Taken messages are skipped rather than removed one by one; the buffer is compacted on the next append.
    qsizetype m_start = 0;
};

} // namespace DNS
} // namespace Velmor

#endif // VELMOR_DNS_TCPFRAMER_H
