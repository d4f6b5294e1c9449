#ifndef VELMOR_DNS_RRREADER_H
#define VELMOR_DNS_RRREADER_H

#include "rr.h"

#include <QSharedPointer>

namespace Velmor {
namespace DNS {

// Readers of one item at offset in a whole message, so compression pointers can reach any earlier byte. On success
// offset ends just after what was read; on failure the item is refused and offset is of no further use. No read
// leaves the message.

// A domain name (with compression) as labels joined by '.'; the root gives the empty name.
bool readName(const QByteArray &message, qsizetype &offset, QByteArray &name);
// The same into a buffer of its own, for reads that keep nothing. The dotted form is never longer than the wire form.
struct NameText
{
    char bytes[255];
    int size = 0;
};
bool readName(const QByteArray &message, qsizetype &offset, NameText &name);
// The name as it goes on the wire with compression undone: each label after its length byte, without the final
// zero. Two names are the same when these bytes are, ASCII case aside; the dotted form cannot tell a dot inside a
// label from the dot between two.
bool readNameLabels(const QByteArray &message, qsizetype &offset, NameText &labels);
// Checks the name, question or record as readName, readQuestion or readRecord would read it (with the same
// warnings), without making anything of it.
bool skipName(const QByteArray &message, qsizetype &offset);
bool skipQuestion(const QByteArray &message, qsizetype &offset);
bool skipRecord(const QByteArray &message, qsizetype &offset);
bool readNameAndType(const QByteArray &message, qsizetype &offset, QByteArray &name, quint32 &type);
QSharedPointer<Question> readQuestion(const QByteArray &message, qsizetype &offset);
// A resource record of any TYPE: A and TXT are decoded, everything else is kept as raw RDATA.
QSharedPointer<StandardRR> readRecord(const QByteArray &message, qsizetype &offset);

// CLASS, TTL and RDLENGTH; succeeds only when RDLENGTH bytes follow inside the message.
bool readRecordHeader(const QByteArray &message, qsizetype &offset, int &rrclass, quint32 &ttl, quint16 &rdlength);
QSharedPointer<StandardRR> readIPv4AddressRR(
    const QByteArray &message, qsizetype &offset, const QByteArray &name, quint32 type);
QSharedPointer<StandardRR> readUnparsedRR(
    const QByteArray &message, qsizetype &offset, const QByteArray &name, quint32 type);
QSharedPointer<StandardRR> readTxtRR(
    const QByteArray &message, qsizetype &offset, const QByteArray &name, quint32 type);
// One length-prefixed string of a TXT record; remaining counts the RDATA bytes still unread.
bool readCharacterString(const QByteArray &message, qsizetype &offset, quint16 &remaining, QByteArray &out);

} // namespace DNS
} // namespace Velmor

#endif // VELMOR_DNS_RRREADER_H
