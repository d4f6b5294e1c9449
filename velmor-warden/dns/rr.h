#ifndef VELMOR_DNS_RR_H
#define VELMOR_DNS_RR_H

#include <QByteArray>
#include <QList>

namespace Velmor {
namespace DNS {

// The record types the service decodes; every other TYPE is carried as raw RDATA.
enum RecordType {
    AddressRecordType = 1,
    TextRecordType = 16,
    // The additional record that carries the selected profile's token to the filtering resolver.
    IdentificationRecordType = 0xFFED
};

enum RecordClass { InternetClass = 1 };

// The part every question and record shares: the owner name and the TYPE.
class RRBase
{
public:
    RRBase() = default;
    RRBase(const QByteArray &name, int type);
    virtual ~RRBase();

    // Appends the wire form of the record.
    virtual void write(QByteArray &out) const = 0;

    // Appends the name uncompressed, one length byte per '.'-separated label, then the root's zero byte.
    void writeName(QByteArray &out) const;
    void writeNameAndType(QByteArray &out) const;

    // Labels joined by '.', without a trailing dot; the root is the empty name.
    QByteArray name;
    int type = 0;
};

class Question : public RRBase
{
public:
    Question() = default;
    Question(const QByteArray &name, int type, quint16 qclass);

    void write(QByteArray &out) const override;

    quint16 qclass = InternetClass;
};

// A resource record of the answer, authority or additional section. Its own write gives the part every record
// shares, without RDLENGTH; the concrete kinds add RDLENGTH and RDATA.
class StandardRR : public RRBase
{
public:
    StandardRR() = default;
    StandardRR(const QByteArray &name, int type, quint16 rrclass, quint32 ttl);

    void write(QByteArray &out) const override;

    quint16 rrclass = InternetClass;
    quint32 ttl = 0;
};

class IPv4AddressRR : public StandardRR
{
public:
    IPv4AddressRR() = default;
    IPv4AddressRR(const QByteArray &name, quint16 rrclass, quint32 ttl, quint32 address);

    void write(QByteArray &out) const override;

    // In host order.
    quint32 address = 0;
};

// Any TYPE without a reader of its own. Names inside rdata keep the compression pointers of the message they
// came from, so the record is only meaningful written back at the same place.
class UnparsedStandardRR : public StandardRR
{
public:
    UnparsedStandardRR() = default;
    UnparsedStandardRR(const QByteArray &name, int type, quint16 rrclass, quint32 ttl, const QByteArray &rdata);

    void write(QByteArray &out) const override;

    QByteArray rdata;
};

class TxtRR : public StandardRR
{
public:
    TxtRR() = default;
    TxtRR(const QByteArray &name, quint16 rrclass, quint32 ttl, const QList<QByteArray> &strings);

    void write(QByteArray &out) const override;

    QList<QByteArray> strings;
};

// Big-endian helpers shared by the codec.
void appendUInt16(QByteArray &out, quint16 value);
void appendUInt32(QByteArray &out, quint32 value);

} // namespace DNS
} // namespace Velmor

#endif // VELMOR_DNS_RR_H
