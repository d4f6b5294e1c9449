#include "packet.h"

#include "rrreader.h"

#include <QSharedData>
#include <QtEndian>

#include <cstring>
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
    // Sections found readable by a walk that made no records, and where the questions end.
    mutable quint8 checked = 0;
    mutable qsizetype questionsEnd = Packet::HeaderSize;

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

    bool readable(Packet::Section section) const;

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

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

// Names compare label by label (their wire labels) and without regard to ASCII case: some resolvers answer with the
// letters of the question changed. Length bytes are below 64, so folding never touches them.
bool sameName(const NameText &x, const NameText &y)
{
    if (x.size != y.size)
        return false;
    for (int i = 0; i < x.size; ++i) {
        const char a = x.bytes[i];
        const char b = y.bytes[i];
        if (a != b && asciiLower(a) != asciiLower(b))
            return false;
    }
    return true;
}

} // namespace

// Whether every record of the section (questions or answers) can be read, found without making them. A failure
// counts as parse's does, so the section is neither walked nor warned about again.
bool PacketPrivate::readable(Packet::Section section) const
{
    Packet::Sections &s = ensureSections();
    if (s.failed & (section | (section - 1)))
        return false;
    if ((s.parsed | checked) & section)
        return true;
    qsizetype offset = Packet::HeaderSize;
    quint16 count = field(QuestionCountOffset);
    if (section == Packet::Answers) {
        if (!readable(Packet::Questions))
            return false;
        // Parsed questions without parsed answers leave parse's end just after the questions.
        offset = (checked & Packet::Questions) ? questionsEnd : s.endOffset;
        count = field(AnswerCountOffset);
    }
    for (quint16 i = 0; i < count; ++i) {
        const bool read = section == Packet::Questions ? skipQuestion(raw, offset) : skipRecord(raw, offset);
        if (!read) {
            s.failed |= section;
            return false;
        }
    }
    checked |= section;
    if (section == Packet::Questions)
        questionsEnd = offset;
    return true;
}

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
Packet::Packet(Packet &&other) noexcept = default;
Packet &Packet::operator=(Packet &&other) noexcept = default;
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
    // A message whose sections were edited is judged by the bytes it would send.
    if (!d->rawValid)
        toByteArray();
    if (d->raw.size() <= HeaderSize || questionCount() == 0)
        return false;
    return d->readable(Questions) && (answerCount() == 0 || d->readable(Answers));
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

bool Packet::isQuestionlessError() const
{
    return d->raw.size() >= HeaderSize && isResponse() && questionCount() == 0 && responseCode() != NoError;
}

bool Packet::isResponseTo(const Packet &request) const
{
    if (!isResponse() || id() != request.id())
        return false;
    if (isQuestionlessError())
        return true;
    if (!isWellFormed())
        return false;
    const QByteArray theirs = request.toByteArray();
    const quint16 count = request.questionCount();
    if (count == 0)
        return true;
    if (questionCount() != count || !request.d->readable(Questions))
        return false;
    // Both question sections are known readable: compare them name by name, then TYPE and CLASS.
    const QByteArray &ours = d->raw;
    qsizetype a = HeaderSize;
    qsizetype b = HeaderSize;
    NameText x;
    NameText y;
    for (quint16 i = 0; i < count; ++i) {
        if (!readNameLabels(ours, a, x) || !readNameLabels(theirs, b, y) || !sameName(x, y)
            || std::memcmp(ours.constData() + a, theirs.constData() + b, 4) != 0)
            return false;
        a += 4;
        b += 4;
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
    d->checked = 0;
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

void Packet::dropUnreadableSections()
{
    const QByteArray raw = toByteArray();
    if (raw.size() < HeaderSize)
        return;
    const qsizetype countOffsets[]
        = { QuestionCountOffset, AnswerCountOffset, AuthorityCountOffset, AdditionalCountOffset };
    qsizetype offset = HeaderSize;
    for (int section = 0; section < 4; ++section) {
        const quint16 count = d->field(countOffsets[section]);
        qsizetype end = offset;
        bool readable = true;
        for (quint16 i = 0; readable && i < count; ++i)
            readable = section == 0 ? skipQuestion(raw, end) : skipRecord(raw, end);
        if (!readable) {
            Packet cut(raw.left(offset));
            for (int later = section; later < 4; ++later)
                cut.d->setField(countOffsets[later], 0);
            *this = cut;
            return;
        }
        offset = end;
    }
}

bool Packet::appendIdentification(quint32 token)
{
    if (!d->rawValid)
        toByteArray();
    const quint16 count = additionalCount();
    if (d->raw.size() < HeaderSize || count == 0xFFFF || d->raw.size() + IdentificationRecordSize > MaxMessageSize)
        return false;
    // Root name, TYPE, CLASS IN, TTL 0, RDLENGTH 4, the token; appended in one piece.
    char record[IdentificationRecordSize] = {};
    qToBigEndian(quint16(IdentificationRecordType), record + 1);
    qToBigEndian(quint16(InternetClass), record + 3);
    qToBigEndian(quint16(4), record + 9);
    qToBigEndian(token, record + 11);
    d->raw.append(record, IdentificationRecordSize);
    d->setField(AdditionalCountOffset, quint16(count + 1));
    return true;
}

} // namespace DNS
} // namespace Velmor
