#include "packet.h"

#include "rrreader.h"

#include <QSharedData>
#include <QtEndian>

#include <optional>
#include <utility>

namespace Velmor {
namespace DNS {

class PacketPrivate : public QSharedData
{
public:
    // Parsing and the rebuild of toByteArray are const on Packet: they derive from the bytes, so every sharer may
    // see their results.
    mutable bool parseError = false;
    mutable bool rawValid = false;
    mutable QByteArray raw;
    mutable std::optional<Packet::Sections> sections;

    Packet::Sections &ensureSections() const
    {
        if (!sections) {
            sections.emplace();
            // A bare header is a complete message with four empty sections, whatever its counts say.
            if (raw.size() == Packet::HeaderSize)
                sections->parsed = Packet::Questions | Packet::Answers | Packet::Authority | Packet::Additional;
        }
        return *sections;
    }

    quint16 field(qsizetype offset) const
    {
        if (raw.size() < offset + 2)
            return 0;
        return qFromBigEndian<quint16>(raw.constData() + offset);
    }

    void setField(qsizetype offset, quint16 value) const
    {
        if (raw.size() >= offset + 2)
            qToBigEndian(value, raw.data() + offset);
    }

    void setFlag(qsizetype offset, char bit, bool on)
    {
        if (raw.size() <= offset)
            return;
        if (on)
            raw[offset] = char(raw.at(offset) | bit);
        else
            raw[offset] = char(raw.at(offset) & ~bit);
    }
};

namespace {

const qsizetype IdOffset = 0;
const qsizetype FlagsOffset = 2;
const qsizetype RcodeOffset = 3;
const qsizetype QuestionCountOffset = 4;
const qsizetype AnswerCountOffset = 6;
const qsizetype AuthorityCountOffset = 8;
const qsizetype AdditionalCountOffset = 10;
const char ResponseBit = char(0x80);
const char RecursionDesiredBit = 0x01;

// Reads count records from offset into list; on failure the list stays empty, so it never holds part of a section.
bool readRecords(const QByteArray &raw, qsizetype &offset, quint16 count, QList<QSharedPointer<StandardRR>> &list)
{
    QList<QSharedPointer<StandardRR>> records;
    for (quint16 i = 0; i < count; ++i) {
        QSharedPointer<StandardRR> record = readRecord(raw, offset);
        if (!record)
            return false;
        records.append(record);
    }
    list = records;
    return true;
}

} // namespace

Packet::Packet()
    : d(new PacketPrivate)
{
    d->raw = QByteArray(HeaderSize, '\0');
}

Packet::Packet(const QByteArray &received)
    : d(new PacketPrivate)
{
    d->raw = received;
    d->rawValid = true;
}

Packet::Packet(const Packet &other) = default;
Packet &Packet::operator=(const Packet &other) = default;
Packet::~Packet() = default;

const QByteArray &Packet::rawData() const
{
    return d->raw;
}

QByteArray &Packet::mutableRawData()
{
    return d->raw;
}

quint16 Packet::id() const
{
    return d->field(IdOffset);
}

void Packet::setId(quint16 id)
{
    d->setField(IdOffset, id);
}

bool Packet::isResponse() const
{
    return d->raw.size() > FlagsOffset && (d->raw.at(FlagsOffset) & ResponseBit);
}

int Packet::responseCode() const
{
    return d->raw.size() > RcodeOffset ? d->raw.at(RcodeOffset) & 0x0F : 0;
}

quint16 Packet::questionCount() const
{
    return d->field(QuestionCountOffset);
}

quint16 Packet::answerCount() const
{
    return d->field(AnswerCountOffset);
}

quint16 Packet::authorityCount() const
{
    return d->field(AuthorityCountOffset);
}

quint16 Packet::additionalCount() const
{
    return d->field(AdditionalCountOffset);
}

const Packet::Sections &Packet::parse(int upTo) const
{
    Sections &s = d->ensureSections();
    const QByteArray &raw = d->raw;
    // Bytes shorter than a header have no sections to read.
    if (raw.size() < HeaderSize) {
        d->parseError = true;
        return s;
    }
    if (s.failed & (upTo | (upTo - 1))) {
        d->parseError = true;
        return s;
    }

    if (!(s.parsed & Questions)) {
        qsizetype offset = HeaderSize;
        QList<QSharedPointer<Question>> questions;
        const quint16 count = questionCount();
        for (quint16 i = 0; i < count; ++i) {
            QSharedPointer<Question> question = readQuestion(raw, offset);
            if (!question) {
                s.failed |= Questions;
                d->parseError = true;
                return s;
            }
            questions.append(question);
        }
        s.questions = questions;
        s.parsed |= Questions;
        s.endOffset = offset;
    }

    const struct
    {
        Section section;
        quint16 count;
        QList<QSharedPointer<StandardRR>> Sections::*list;
    } recordSections[] = {
        { Answers, answerCount(), &Sections::answers },
        { Authority, authorityCount(), &Sections::authority },
        { Additional, additionalCount(), &Sections::additional },
    };
    for (const auto &section : recordSections) {
        if (section.section > upTo)
            break;
        if (s.parsed & section.section)
            continue;
        qsizetype offset = s.endOffset;
        if (!readRecords(raw, offset, section.count, s.*section.list)) {
            s.failed |= section.section;
            d->parseError = true;
            return s;
        }
        s.parsed |= section.section;
        s.endOffset = offset;
    }
    d->parseError = false;
    return s;
}

bool Packet::hasParseError() const
{
    return d->parseError;
}

QList<QSharedPointer<Question>> Packet::questions() const
{
    return parse(Questions).questions;
}

QList<QSharedPointer<StandardRR>> Packet::answers() const
{
    return parse(Answers).answers;
}

bool Packet::isWellFormed() const
{
    if (d->raw.size() <= HeaderSize)
        return false;
    const quint16 count = questionCount();
    if (count == 0 || questions().size() != count)
        return false;
    const quint16 answered = answerCount();
    return answered == 0 || answers().size() == answered;
}

QByteArray Packet::toByteArray() const
{
    if (d->rawValid)
        return d->raw;

    QByteArray &raw = d->raw;
    raw.resize(HeaderSize);
    raw.reserve(512);
    Sections &s = d->ensureSections();
    d->setField(QuestionCountOffset, quint16(s.questions.size()));
    d->setField(AnswerCountOffset, quint16(s.answers.size()));
    d->setField(AuthorityCountOffset, quint16(s.authority.size()));
    d->setField(AdditionalCountOffset, quint16(s.additional.size()));
    for (const auto &question : std::as_const(s.questions))
        question->write(raw);
    for (const auto *list : { &s.answers, &s.authority, &s.additional }) {
        for (const auto &record : *list)
            record->write(raw);
    }
    d->rawValid = true;
    return raw;
}

bool Packet::isResponseTo(const Packet &request) const
{
    if (!isWellFormed() || !isResponse() || id() != request.id())
        return false;
    const quint16 count = request.questionCount();
    if (count == 0)
        return true;
    const QList<QSharedPointer<Question>> ours = questions();
    const QList<QSharedPointer<Question>> theirs = request.questions();
    if (ours.size() != theirs.size())
        return false;
    for (qsizetype i = 0; i < ours.size(); ++i) {
        const Question &a = *ours.at(i);
        const Question &b = *theirs.at(i);
        if (a.type != b.type || a.qclass != b.qclass || a.name != b.name)
            return false;
    }
    return true;
}

void Packet::setRecursionDesired(bool on)
{
    d->setFlag(FlagsOffset, RecursionDesiredBit, on);
}

void Packet::setResponse(bool on)
{
    d->setFlag(FlagsOffset, ResponseBit, on);
}

void Packet::setResponseCode(int rcode)
{
    if (d->raw.size() > RcodeOffset)
        d->raw[RcodeOffset] = char((d->raw.at(RcodeOffset) & 0xF0) | (rcode & 0x0F));
}

void Packet::setQuestions(const QList<QSharedPointer<Question>> &questions)
{
    parse(Additional);
    Sections &s = d->ensureSections();
    // The lists are now the message; sections that failed to read are left empty.
    s.questions = questions;
    s.parsed = Questions | Answers | Authority | Additional;
    s.failed = 0;
    if (d->raw.size() < HeaderSize)
        d->raw.resize(HeaderSize, '\0');
    d->rawValid = false;
}

Packet Packet::makeQuery(const QByteArray &name, int qtype)
{
    Packet query;
    QList<QSharedPointer<Question>> questions;
    questions.append(QSharedPointer<Question>::create(name, qtype, quint16(InternetClass)));
    query.setQuestions(questions);
    query.setRecursionDesired(true);
    return query;
}

bool Packet::appendIdentification(quint32 token)
{
    if (!d->rawValid)
        toByteArray();
    const quint16 count = additionalCount();
    if (d->raw.size() < HeaderSize || count == 0xFFFF || d->raw.size() + IdentificationRecordSize > MaxMessageSize)
        return false;
    QByteArray &raw = d->raw;
    raw.append('\0');
    appendUInt16(raw, IdentificationRecordType);
    appendUInt16(raw, InternetClass);
    appendUInt32(raw, 0);
    appendUInt16(raw, 4);
    appendUInt32(raw, token);
    d->setField(AdditionalCountOffset, quint16(count + 1));
    return true;
}

} // namespace DNS
} // namespace Velmor
