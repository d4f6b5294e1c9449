#include "rr.h"

#include <QtEndian>

namespace Velmor {
namespace DNS {

void appendUInt16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToBigEndian(value, bytes);
    out.append(bytes, 2);
}

void appendUInt32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    out.append(bytes, 4);
}

RRBase::RRBase(const QByteArray &name, int type)
    : name(name)
    , type(type)
{ }

RRBase::~RRBase() = default;

void RRBase::writeName(QByteArray &out) const
{
    // An empty label would be the root's zero byte in the middle of the name, so "a.bc." and "a..bc" are written
    // as "a.bc"; a label longer than 63 bytes has no length byte and is cut.
    const QList<QByteArray> labels = name.split('.');
    for (const QByteArray &label : labels) {
        if (label.isEmpty())
            continue;
        const qsizetype length = qMin<qsizetype>(label.size(), 63);
        out.append(char(length));
        out.append(label.constData(), length);
    }
    out.append('\0');
}

void RRBase::writeNameAndType(QByteArray &out) const
{
    writeName(out);
    appendUInt16(out, quint16(type));
}

Question::Question(const QByteArray &name, int type, quint16 qclass)
    : RRBase(name, type)
    , qclass(qclass)
{ }

void Question::write(QByteArray &out) const
{
    writeNameAndType(out);
    appendUInt16(out, qclass);
}

StandardRR::StandardRR(const QByteArray &name, int type, quint16 rrclass, quint32 ttl)
    : RRBase(name, type)
    , rrclass(rrclass)
    , ttl(ttl)
{ }

void StandardRR::write(QByteArray &out) const
{
    writeNameAndType(out);
    appendUInt16(out, rrclass);
    appendUInt32(out, ttl);
}

IPv4AddressRR::IPv4AddressRR(const QByteArray &name, quint16 rrclass, quint32 ttl, quint32 address)
    : StandardRR(name, AddressRecordType, rrclass, ttl)
    , address(address)
{ }

void IPv4AddressRR::write(QByteArray &out) const
{
    StandardRR::write(out);
    appendUInt16(out, 4);
    appendUInt32(out, address);
}

UnparsedStandardRR::UnparsedStandardRR(
    const QByteArray &name, int type, quint16 rrclass, quint32 ttl, const QByteArray &rdata)
    : StandardRR(name, type, rrclass, ttl)
    , rdata(rdata)
{ }

void UnparsedStandardRR::write(QByteArray &out) const
{
    StandardRR::write(out);
    appendUInt16(out, quint16(rdata.size()));
    out.append(rdata);
}

TxtRR::TxtRR(const QByteArray &name, quint16 rrclass, quint32 ttl, const QList<QByteArray> &strings)
    : StandardRR(name, TextRecordType, rrclass, ttl)
    , strings(strings)
{ }

void TxtRR::write(QByteArray &out) const
{
    StandardRR::write(out);
    QByteArray rdata;
    for (const QByteArray &string : strings) {
        const qsizetype length = qMin<qsizetype>(string.size(), 255);
        rdata.append(char(length));
        rdata.append(string.constData(), length);
    }
    appendUInt16(out, quint16(rdata.size()));
    out.append(rdata);
}

} // namespace DNS
} // namespace Velmor
