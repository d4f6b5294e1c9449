#include "json.h"

#include <QDateTime>
#include <QStringList>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace Velmor {
namespace Json {

namespace {

// Qt 6 no longer reports these as null through QVariant::isNull(); the wire still writes them null.
bool isNullValue(const QVariant &value)
{
    if (value.isNull())
        return true;
    switch (value.typeId()) {
    case QMetaType::QByteArray:
        return static_cast<const QByteArray *>(value.constData())->isNull();
    case QMetaType::QChar:
        return static_cast<const QChar *>(value.constData())->isNull();
    case QMetaType::QDate:
        return static_cast<const QDate *>(value.constData())->isNull();
    case QMetaType::QTime:
        return static_cast<const QTime *>(value.constData())->isNull();
    case QMetaType::QDateTime:
        return static_cast<const QDateTime *>(value.constData())->isNull();
    default:
        return false;
    }
}

class Writer
{
public:
    QString out;

    void write(const QVariant &value);

private:
    template<typename T>
    void writeInteger(T number);
    void writeDouble(double number);
    void writeString(QStringView text);
    void writeMember(bool first, const QString &key, const QVariant &value);
    void writeMap(const QVariantMap &map);
    void writeHash(const QVariantHash &hash);
    void writeList(const QVariantList &list);
    void writeStringList(const QStringList &list);

    template<typename T>
    static const T &get(const QVariant &value)
    {
        return *static_cast<const T *>(value.constData());
    }
};

void Writer::write(const QVariant &value)
{
    if (value.isNull()) {
        out += QLatin1String("null");
        return;
    }
    switch (value.typeId()) {
    case QMetaType::QString: {
        const QString &text = get<QString>(value);
        if (text.isNull())
            out += QLatin1String("null");
        else
            writeString(text);
        return;
    }
    case QMetaType::Bool:
        out += get<bool>(value) ? QLatin1String("true") : QLatin1String("false");
        return;
    case QMetaType::Int:
        writeInteger(get<int>(value));
        return;
    case QMetaType::UInt:
        writeInteger(get<uint>(value));
        return;
    case QMetaType::LongLong:
        writeInteger(get<qlonglong>(value));
        return;
    case QMetaType::ULongLong:
        writeInteger(get<qulonglong>(value));
        return;
    case QMetaType::Double:
        writeDouble(get<double>(value));
        return;
    case QMetaType::QVariantMap:
        writeMap(get<QVariantMap>(value));
        return;
    case QMetaType::QVariantHash:
        writeHash(get<QVariantHash>(value));
        return;
    case QMetaType::QVariantList:
        writeList(get<QVariantList>(value));
        return;
    case QMetaType::QStringList:
        writeStringList(get<QStringList>(value));
        return;
    default:
        if (isNullValue(value))
            out += QLatin1String("null");
        else
            writeString(value.toString());
        return;
    }
}

template<typename T>
void Writer::writeInteger(T number)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof(digits), number);
    out += QLatin1String(digits, result.ptr);
}

void Writer::writeDouble(double number)
{
    // "nan" and "inf" would make the whole text unreadable to every peer; null keeps the rest of it.
    if (!std::isfinite(number))
        out += QLatin1String("null");
    else
        out += QString::number(number, 'g', 6);
}

// Indexed by the characters below 0x80: the escape letter after the backslash, or 0 when written as is. NUL is
// written \u0000: a raw one would end the text for every peer that reads it as a C string.
constexpr char escapeFor(char16_t c)
{
    switch (c) {
    case u'\0':
        return 'u';
    case u'"':
        return '"';
    case u'\\':
        return '\\';
    case u'/':
        return '/';
    case u'\b':
        return 'b';
    case u'\f':
        return 'f';
    case u'\n':
        return 'n';
    case u'\r':
        return 'r';
    case u'\t':
        return 't';
    default:
        return 0;
    }
}

struct EscapeTable
{
    char letter[0x80] = {};
    constexpr EscapeTable()
    {
        for (char16_t c = 0; c < 0x80; ++c)
            letter[c] = escapeFor(c);
    }
};

constexpr EscapeTable escapes;

void Writer::writeString(QStringView text)
{
    out += u'"';
    const QChar *run = text.data();
    const QChar *const end = run + text.size();
    for (const QChar *p = run; p != end; ++p) {
        const char16_t c = p->unicode();
        if (c >= 0x80 || !escapes.letter[c])
            continue;
        out.append(run, p - run);
        const char letter = escapes.letter[c];
        if (letter == 'u') {
            out += QLatin1String("\\u0000");
        } else {
            const QChar escaped[2] = { u'\\', QLatin1Char(letter) };
            out.append(escaped, 2);
        }
        run = p + 1;
    }
    out.append(run, end - run);
    out += u'"';
}

void Writer::writeMember(bool first, const QString &key, const QVariant &value)
{
    if (!first)
        out += u',';
    writeString(key);
    out += u':';
    write(value);
}

void Writer::writeMap(const QVariantMap &map)
{
    out += u'{';
    for (auto it = map.cbegin(), end = map.cend(); it != end; ++it)
        writeMember(it == map.cbegin(), it.key(), it.value());
    out += u'}';
}

// A hash iterates in a different order in every process; sorting keeps the same data the same text.
void Writer::writeHash(const QVariantHash &hash)
{
    std::vector<QVariantHash::const_iterator> entries;
    entries.reserve(hash.size());
    for (auto it = hash.cbegin(), end = hash.cend(); it != end; ++it)
        entries.push_back(it);
    std::sort(entries.begin(), entries.end(), [](const auto &a, const auto &b) { return a.key() < b.key(); });

    out += u'{';
    for (std::size_t i = 0; i < entries.size(); ++i)
        writeMember(i == 0, entries[i].key(), entries[i].value());
    out += u'}';
}

void Writer::writeList(const QVariantList &list)
{
    out += u'[';
    bool first = true;
    for (const QVariant &item : list) {
        if (!first)
            out += u',';
        first = false;
        write(item);
    }
    out += u']';
}

void Writer::writeStringList(const QStringList &list)
{
    out += u'[';
    bool first = true;
    for (const QString &item : list) {
        if (!first)
            out += u',';
        first = false;
        writeString(item);
    }
    out += u']';
}

} // namespace

QString stringify(const QVariant &value)
{
    Writer writer;
    writer.write(value);
    return writer.out;
}

} // namespace Json
} // namespace Velmor
