#include "json.h"

#include <QVariantList>
#include <QVariantMap>

#include <algorithm>
#include <charconv>
#include <limits>
#include <locale.h>
#include <map>
#include <stdlib.h>
#include <string>

namespace Velmor {
namespace Json {

namespace {

// Deep enough for any message of the system, shallow enough that recursion cannot exhaust a thread's stack.
constexpr int MaxDepth = 512;

constexpr char16_t ReplacementCharacter = 0xfffd;

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// Out-of-range numbers only: strtod gives infinity or zero where from_chars gives up, and the C locale keeps
// the decimal point a point whatever locale the program runs in.
double convertOutOfRange(const char *digits)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return strtod_l(digits, nullptr, cLocale);
}

class Reader
{
public:
    Reader(const char16_t *begin, const char16_t *end)
        : p(begin)
        , end(end)
    { }

    bool readDocument(QVariant &out)
    {
        if (!readValue(out))
            return false;
        skipWhitespace();
        return p == end;
    }

private:
    const char16_t *p;
    const char16_t *const end;
    int depth = 0;
    // The objects of one text mostly repeat the same few keys (10,000 domain entries have three); a key read
    // before is shared with its earlier copy instead of being allocated again.
    QString recentKeys[32];

    void skipWhitespace()
    {
        while (p != end && (*p == u' ' || *p == u'\n' || *p == u'\r' || *p == u'\t'))
            ++p;
    }

    bool consume(char16_t c)
    {
        skipWhitespace();
        if (p == end || *p != c)
            return false;
        ++p;
        return true;
    }

    bool readLiteral(const char16_t *word, int length)
    {
        if (end - p < length || !std::equal(word, word + length, p))
            return false;
        p += length;
        return true;
    }

    bool readValue(QVariant &out);
    template<typename ReadItem>
    bool readItems(char16_t close, ReadItem readItem);
    bool readObject(QVariant &out);
    bool readArray(QVariant &out);
    bool readString(QString &out, bool isKey = false);
    bool readEscape(QString &out);
    int readHex4(const char16_t *at) const;
    bool readNumber(QVariant &out);
};

bool Reader::readValue(QVariant &out)
{
    skipWhitespace();
    if (p == end)
        return false;
    switch (*p) {
    case u'{':
        return readObject(out);
    case u'[':
        return readArray(out);
    case u'"': {
        QString text;
        if (!readString(text))
            return false;
        out = QVariant(text);
        return true;
    }
    case u't':
        out = QVariant(true);
        return readLiteral(u"true", 4);
    case u'f':
        out = QVariant(false);
        return readLiteral(u"false", 5);
    case u'n':
        out = QVariant();
        return readLiteral(u"null", 4);
    default:
        return readNumber(out);
    }
}

// After the opening character: items separated by commas up to the closing character, or none at all.
template<typename ReadItem>
bool Reader::readItems(char16_t close, ReadItem readItem)
{
    if (++depth > MaxDepth)
        return false;
    ++p;
    skipWhitespace();
    if (p != end && *p == close) {
        ++p;
        --depth;
        return true;
    }
    for (;;) {
        if (!readItem())
            return false;
        skipWhitespace();
        if (p == end)
            return false;
        const char16_t c = *p++;
        if (c == close) {
            --depth;
            return true;
        }
        if (c != u',')
            return false;
    }
}

bool Reader::readObject(QVariant &out)
{
    // The writer sends keys in ascending order, so appending at the end is the usual case and costs no search;
    // insert_or_assign lets the last of duplicate keys win.
    std::map<QString, QVariant> members;
    const bool ok = readItems(u'}', [&] {
        skipWhitespace();
        QString key;
        QVariant value;
        if (p == end || *p != u'"' || !readString(key, true) || !consume(u':') || !readValue(value))
            return false;
        members.insert_or_assign(members.end(), std::move(key), std::move(value));
        return true;
    });
    if (ok)
        out = QVariant(QVariantMap(std::move(members)));
    return ok;
}

bool Reader::readArray(QVariant &out)
{
    QVariantList items;
    const bool ok = readItems(u']', [&] {
        QVariant value;
        if (!readValue(value))
            return false;
        items.append(std::move(value));
        return true;
    });
    if (ok)
        out = QVariant(items);
    return ok;
}

bool Reader::readString(QString &out, bool isKey)
{
    ++p;
    const char16_t *run = p;
    while (p != end && *p != u'"' && *p != u'\\')
        ++p;
    if (p == end)
        return false;
    if (*p == u'"') {
        const qsizetype length = p - run;
        ++p;
        if (isKey && length > 0) {
            QString &recent = recentKeys[(length + run[0] * 7 + run[length - 1] * 13) & 31];
            if (recent.size() != length || !std::equal(run, run + length, recent.utf16()))
                recent = QString(reinterpret_cast<const QChar *>(run), length);
            out = recent;
            return true;
        }
        // Built from a non-null pointer, so "" gives an empty string that is not null.
        out = QString(reinterpret_cast<const QChar *>(run), length);
        return true;
    }

    out.reserve((p - run) + 16);
    for (;;) {
        while (p != end && *p != u'"' && *p != u'\\')
            ++p;
        if (p == end)
            return false;
        out.append(reinterpret_cast<const QChar *>(run), p - run);
        if (*p++ == u'"')
            return true;
        if (!readEscape(out))
            return false;
        run = p;
    }
}

int Reader::readHex4(const char16_t *at) const
{
    if (end - at < 4)
        return -1;
    int value = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = hexValue(at[i]);
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

bool Reader::readEscape(QString &out)
{
    if (p == end)
        return false;
    char16_t c = *p++;
    switch (c) {
    case u'"':
    case u'\\':
    case u'/':
        break;
    case u'b':
        c = u'\b';
        break;
    case u'f':
        c = u'\f';
        break;
    case u'n':
        c = u'\n';
        break;
    case u'r':
        c = u'\r';
        break;
    case u't':
        c = u'\t';
        break;
    case u'u': {
        const int code = readHex4(p);
        if (code < 0)
            return false;
        p += 4;
        c = char16_t(code);
        if (QChar::isHighSurrogate(c)) {
            // Only a pair makes a character; half of one would reach the program as text no encoder can write.
            const int low = (end - p >= 6 && p[0] == u'\\' && p[1] == u'u') ? readHex4(p + 2) : -1;
            if (low >= 0 && QChar::isLowSurrogate(char32_t(low))) {
                out += QChar(c);
                c = char16_t(low);
                p += 6;
            } else {
                c = ReplacementCharacter;
            }
        } else if (QChar::isLowSurrogate(c)) {
            c = ReplacementCharacter;
        }
        break;
    }
    default:
        return false;
    }
    out += QChar(c);
    return true;
}

bool Reader::readNumber(QVariant &out)
{
    const char16_t *const start = p;
    const bool negative = *p == u'-';
    if (negative)
        ++p;

    // The integer part, accumulated as it is checked; beyond 64 bits it is read as a double.
    quint64 magnitude = 0;
    bool fitsIn64Bits = true;
    if (p == end || !isDigit(*p))
        return false;
    if (*p == u'0') {
        ++p;
    } else {
        for (; p != end && isDigit(*p); ++p) {
            const unsigned digit = *p - u'0';
            if (magnitude > (std::numeric_limits<quint64>::max() - digit) / 10)
                fitsIn64Bits = false;
            magnitude = magnitude * 10 + digit;
        }
    }

    bool isDouble = false;
    if (p != end && *p == u'.') {
        isDouble = true;
        ++p;
        if (p == end || !isDigit(*p))
            return false;
        while (p != end && isDigit(*p))
            ++p;
    }
    if (p != end && (*p == u'e' || *p == u'E')) {
        isDouble = true;
        ++p;
        if (p != end && (*p == u'+' || *p == u'-'))
            ++p;
        if (p == end || !isDigit(*p))
            return false;
        while (p != end && isDigit(*p))
            ++p;
    }

    if (!isDouble && fitsIn64Bits) {
        constexpr quint64 int32Limit = quint64(std::numeric_limits<qint32>::max());
        constexpr quint64 int64Limit = quint64(std::numeric_limits<qint64>::max());
        if (!negative) {
            if (magnitude <= int32Limit)
                out = QVariant(int(magnitude));
            else if (magnitude <= int64Limit)
                out = QVariant(qint64(magnitude));
            else
                out = QVariant(magnitude);
            return true;
        }
        if (magnitude <= int32Limit + 1) {
            out = QVariant(int(-qint64(magnitude)));
            return true;
        }
        if (magnitude <= int64Limit + 1) {
            out = QVariant(magnitude == int64Limit + 1 ? std::numeric_limits<qint64>::min() : -qint64(magnitude));
            return true;
        }
    }

    // The token is plain ASCII; a copy into chars lets the locale-independent converters read it.
    std::string digits(p - start, '\0');
    std::copy(start, p, digits.begin());
    double value = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        value = convertOutOfRange(digits.c_str());
    else if (result.ec != std::errc())
        return false;
    out = QVariant(value);
    return true;
}

} // namespace

QVariant parse(const QString &text)
{
    const char16_t *begin = reinterpret_cast<const char16_t *>(text.constData());
    Reader reader(begin, begin + text.size());
    QVariant value;
    if (!reader.readDocument(value))
        return QVariant();
    return value;
}

} // namespace Json
} // namespace Velmor
