#include "rrreader.h"

#include <QtEndian>

#include <cstring>

namespace Velmor {
namespace DNS {

namespace {

// RFC 1035: a name is at most 255 bytes on the wire. Pointers only ever go backwards, so a name needs at most one
// jump per two bytes of what lies before it; 127 is far beyond any real message and bounds the work per name.
const qsizetype MaxNameLength = 255;
const int MaxJumps = 127;
const qsizetype HeaderSize = 12;

quint16 uint16At(const QByteArray &message, qsizetype offset)
{
    return qFromBigEndian<quint16>(message.constData() + offset);
}

quint32 uint32At(const QByteArray &message, qsizetype offset)
{
    return qFromBigEndian<quint32>(message.constData() + offset);
}

// What the readers of A and TXT ask of RDATA that lies inside the message; every other TYPE is kept as it came.
bool rdataIsReadable(const QByteArray &message, qsizetype offset, quint32 type, quint16 rdlength)
{
    switch (type) {
    case AddressRecordType:
        return rdlength == 4;
    case TextRecordType:
        // Length-prefixed strings that fill the RDATA exactly.
        for (quint16 remaining = rdlength; remaining > 0;) {
            const quint8 length = quint8(message.at(offset));
            if (length >= remaining)
                return false;
            offset += length + 1;
            remaining = quint16(remaining - length - 1);
        }
        return true;
    default:
        return true;
    }
}

} // namespace

namespace {

// Walks the name at offset under the compression rules, handing each label to addLabel(bytes, length); the readers
// differ only in what they keep of it.
template<typename AddLabel>
bool walkName(const QByteArray &message, qsizetype &offset, AddLabel addLabel)
{
    const qsizetype size = message.size();
    if (offset < 0 || offset >= size)
        return false;

    qsizetype position = offset;
    qsizetype wireLength = 1; // the final zero byte
    // Each pointer must land before the previous one's target (the first: before itself), so none can loop.
    qsizetype limit = -1;
    int jumps = 0;

    for (;;) {
        const quint8 c = quint8(message.at(position));
        ++position;
        if (c == 0) {
            if (jumps == 0)
                offset = position;
            return true;
        }
        if (c <= 63) {
            if (position + c >= size) {
                qWarning("invalid label size");
                return false;
            }
            wireLength += c + 1;
            if (wireLength > MaxNameLength) {
                qWarning("name is longer than 255 bytes");
                return false;
            }
            addLabel(message.constData() + position, c);
            position += c;
            continue;
        }
        if ((c & 0xC0) != 0xC0 || position >= size - 1) {
            qWarning("out of buffer or unhandled label type");
            return false;
        }
        const qsizetype pointer = position - 1;
        const qsizetype target = ((c & 0x3F) << 8) | quint8(message.at(position));
        if (target < HeaderSize || target >= (jumps == 0 ? pointer : limit)) {
            qWarning("compression offset is out of range");
            return false;
        }
        if (++jumps > MaxJumps) {
            qWarning("too many compression pointers");
            return false;
        }
        if (jumps == 1)
            offset = position + 1;
        limit = target;
        position = target;
    }
}

} // namespace

bool readName(const QByteArray &message, qsizetype &offset, NameText &name)
{
    name.size = 0;
    return walkName(message, offset, [&name](const char *label, int size) {
        if (name.size > 0)
            name.bytes[name.size++] = '.';
        std::memcpy(name.bytes + name.size, label, size_t(size));
        name.size += size;
    });
}

bool readNameLabels(const QByteArray &message, qsizetype &offset, NameText &labels)
{
    labels.size = 0;
    return walkName(message, offset, [&labels](const char *label, int size) {
        labels.bytes[labels.size++] = char(size);
        std::memcpy(labels.bytes + labels.size, label, size_t(size));
        labels.size += size;
    });
}

bool readName(const QByteArray &message, qsizetype &offset, QByteArray &name)
{
    NameText text;
    if (!readName(message, offset, text))
        return false;
    name = QByteArray(text.bytes, text.size);
    return true;
}

bool skipName(const QByteArray &message, qsizetype &offset)
{
    return walkName(message, offset, [](const char *, int) {});
}

bool readNameAndType(const QByteArray &message, qsizetype &offset, QByteArray &name, quint32 &type)
{
    if (!readName(message, offset, name))
        return false;
    if (offset + 2 > message.size())
        return false;
    type = uint16At(message, offset);
    offset += 2;
    return true;
}

QSharedPointer<Question> readQuestion(const QByteArray &message, qsizetype &offset)
{
    QByteArray name;
    quint32 type = 0;
    if (!readNameAndType(message, offset, name, type))
        return {};
    if (offset + 2 > message.size())
        return {};
    const quint16 qclass = uint16At(message, offset);
    offset += 2;
    return QSharedPointer<Question>::create(name, int(type), qclass);
}

bool skipQuestion(const QByteArray &message, qsizetype &offset)
{
    if (!skipName(message, offset))
        return false;
    // TYPE and QCLASS.
    offset += 4;
    return offset <= message.size();
}

bool skipRecord(const QByteArray &message, qsizetype &offset)
{
    if (!skipName(message, offset) || offset + 2 > message.size())
        return false;
    const quint16 type = uint16At(message, offset);
    offset += 2;
    int rrclass = 0;
    quint32 ttl = 0;
    quint16 rdlength = 0;
    if (!readRecordHeader(message, offset, rrclass, ttl, rdlength) || !rdataIsReadable(message, offset, type, rdlength))
        return false;
    offset += rdlength;
    return true;
}

QSharedPointer<StandardRR> readRecord(const QByteArray &message, qsizetype &offset)
{
    QByteArray name;
    quint32 type = 0;
    if (!readNameAndType(message, offset, name, type))
        return {};
    switch (type) {
    case AddressRecordType:
        return readIPv4AddressRR(message, offset, name, type);
    case TextRecordType:
        return readTxtRR(message, offset, name, type);
    default:
        // SRV, HTTPS, CAA, RRSIG, OPT and the rest are relayed as they came, so they must not fail the message.
        return readUnparsedRR(message, offset, name, type);
    }
}

bool readRecordHeader(const QByteArray &message, qsizetype &offset, int &rrclass, quint32 &ttl, quint16 &rdlength)
{
    if (offset < 0 || offset + 8 > message.size())
        return false;
    rrclass = uint16At(message, offset);
    ttl = uint32At(message, offset + 2);
    rdlength = uint16At(message, offset + 6);
    offset += 8;
    return offset + rdlength <= message.size();
}

QSharedPointer<StandardRR> readIPv4AddressRR(
    const QByteArray &message, qsizetype &offset, const QByteArray &name, quint32 type)
{
    Q_UNUSED(type);
    int rrclass = 0;
    quint32 ttl = 0;
    quint16 rdlength = 0;
    if (!readRecordHeader(message, offset, rrclass, ttl, rdlength) || rdlength != 4)
        return {};
    const quint32 address = uint32At(message, offset);
    offset += 4;
    return QSharedPointer<IPv4AddressRR>::create(name, quint16(rrclass), ttl, address);
}

QSharedPointer<StandardRR> readUnparsedRR(
    const QByteArray &message, qsizetype &offset, const QByteArray &name, quint32 type)
{
    int rrclass = 0;
    quint32 ttl = 0;
    quint16 rdlength = 0;
    if (!readRecordHeader(message, offset, rrclass, ttl, rdlength))
        return {};
    const QByteArray rdata = message.mid(offset, rdlength);
    offset += rdlength;
    return QSharedPointer<UnparsedStandardRR>::create(name, int(type), quint16(rrclass), ttl, rdata);
}

QSharedPointer<StandardRR> readTxtRR(const QByteArray &message, qsizetype &offset, const QByteArray &name, quint32 type)
{
    Q_UNUSED(type);
    int rrclass = 0;
    quint32 ttl = 0;
    quint16 remaining = 0;
    if (!readRecordHeader(message, offset, rrclass, ttl, remaining))
        return {};
    QList<QByteArray> strings;
    while (remaining > 0) {
        QByteArray string;
        if (!readCharacterString(message, offset, remaining, string))
            return {};
        strings.append(string);
    }
    return QSharedPointer<TxtRR>::create(name, quint16(rrclass), ttl, strings);
}

bool readCharacterString(const QByteArray &message, qsizetype &offset, quint16 &remaining, QByteArray &out)
{
    if (remaining == 0 || offset < 0 || offset >= message.size())
        return false;
    const quint8 length = quint8(message.at(offset));
    // The length byte and its bytes must fit in what is left of the RDATA.
    if (length >= remaining || offset + 1 + length > message.size())
        return false;
    out = message.mid(offset + 1, length);
    offset += length + 1;
    remaining = quint16(remaining - length - 1);
    return true;
}

} // namespace DNS
} // namespace Velmor
