#ifndef VELMOR_DNS_PACKET_H
#define VELMOR_DNS_PACKET_H

#include "rr.h"

#include <QByteArray>
#include <QList>
#include <QSharedDataPointer>
#include <QSharedPointer>

namespace Velmor {
namespace DNS {

class PacketPrivate;

// One DNS message. The raw bytes are the primary form: a received message is kept byte for byte and its sections
// are decoded only as far as a caller asks; header edits and the identification record patch the bytes in place.
// Implicitly shared; parsing is const and fills the parse state every copy shares (it follows from the bytes).
class Packet
{
public:
    enum Section { Questions = 1, Answers = 2, Authority = 4, Additional = 8 };

    enum ResponseCode { NoError = 0, FormatError = 1, ServerFailure = 2, Refused = 5 };

    struct Sections
    {
        quint8 parsed = 0;
        // Sections whose records could not be read; a later call does not read them again.
        quint8 failed = 0;
        qsizetype endOffset = 12;
        QList<QSharedPointer<Question>> questions;
        QList<QSharedPointer<StandardRR>> answers;
        QList<QSharedPointer<StandardRR>> authority;
        QList<QSharedPointer<StandardRR>> additional;
    };

    static constexpr int HeaderSize = 12;
    // The identification record: root name, TYPE, CLASS, TTL, RDLENGTH and the 4-byte token.
    static constexpr int IdentificationRecordSize = 15;
    // The largest message a TCP length prefix can announce.
    static constexpr int MaxMessageSize = 65535;

    // An empty message: 12 zero header bytes.
    Packet();
    // A message as received. Bytes shorter than a header make a message that is never well-formed.
    explicit Packet(const QByteArray &received);
    Packet(const Packet &other);
    Packet &operator=(const Packet &other);
    // A moved-from message may only be assigned to or destroyed.
    Packet(Packet &&other) noexcept;
    Packet &operator=(Packet &&other) noexcept;
    ~Packet();

    // The current bytes; the whole message only while no section edit waits for toByteArray.
    const QByteArray &rawData() const;
    // Detaches and hands out the bytes for edits of the header (the ID); the parse state is kept.
    QByteArray &mutableRawData();

    // The header fields; 0 where the bytes are too short to hold them.
    quint16 id() const;
    void setId(quint16 id);
    bool isResponse() const;
    int responseCode() const;
    quint16 questionCount() const;
    quint16 answerCount() const;
    quint16 authorityCount() const;
    quint16 additionalCount() const;

    // Parses the sections in wire order up to and including upTo (a Section value).
    const Sections &parse(int upTo) const;
    // True when the last parse step failed.
    bool hasParseError() const;
    QList<QSharedPointer<Question>> questions() const;
    QList<QSharedPointer<StandardRR>> answers() const;

    // Longer than a header, at least one question, every question readable, and every answer when there are any.
    bool isWellFormed() const;
    // The wire bytes; a message whose sections were edited is rebuilt from them (shared by every copy).
    QByteArray toByteArray() const;
    // QR set, an error RCODE and no question: what some servers send to a request they cannot read (one with EDNS,
    // mostly), so its client can fall back.
    bool isQuestionlessError() const;
    // QR set and the request's ID; then either a questionless error, or well-formed with (unless the request has
    // none) the same questions, names compared without regard to ASCII case.
    bool isResponseTo(const Packet &request) const;

    void setRecursionDesired(bool on);
    void setResponse(bool on);
    void setResponseCode(int rcode);
    void setQuestions(const QList<QSharedPointer<Question>> &questions);

    // Cuts the message at the first section whose records cannot all be read and sets that section's count and the
    // later ones to 0, so the counts describe what the message holds.
    void dropUnreadableSections();

    // A recursive query with ID 0 and one question of class IN.
    static Packet makeQuery(const QByteArray &name, int qtype);
    // Appends the identification record with the token and raises ARCOUNT. Refused (false, message unchanged) when
    // ARCOUNT cannot grow or the message would no longer fit a TCP length prefix.
    bool appendIdentification(quint32 token);

private:
    QSharedDataPointer<PacketPrivate> d;
};

} // namespace DNS
} // namespace Velmor

#endif // VELMOR_DNS_PACKET_H
