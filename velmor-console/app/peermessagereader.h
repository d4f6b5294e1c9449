#ifndef VELMOR_CONSOLE_PEERMESSAGEREADER_H
#define VELMOR_CONSOLE_PEERMESSAGEREADER_H

#include <QByteArray>
#include <QString>

// Cuts the byte stream of one single-instance client into its message: a 32-bit little-endian length, then
// that many bytes of UTF-8 text. Bytes may arrive in any chunks.
class PeerMessageReader
{
public:
    // Longer messages are refused before anything is buffered: the copies send a word and a reason.
    static constexpr quint32 maximumLength = 64 * 1024;

    enum Status {
        NeedMore,
        Complete,
        TooLong,
    };

    // Adds received bytes. Complete once the whole message is there (later bytes are ignored); TooLong for a
    // length over the maximum, after which the client is dropped.
    Status append(const QByteArray &chunk);
    Status status() const { return m_status; }
    QString message() const { return m_message; }

    // The bytes a sender writes for a message.
    static QByteArray frame(const QString &message);

private:
    QByteArray m_buffer;
    QString m_message;
    Status m_status = NeedMore;
};

#endif // VELMOR_CONSOLE_PEERMESSAGEREADER_H
