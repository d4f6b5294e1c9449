#include "json.h"

#include <QVariantList>
#include <QVariantMap>

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <locale.h>
#include <map>
#include <stdlib.h>
#include <string>
#include <type_traits>

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

// What the outline pass reads values and texts into: nothing is kept.
struct Nothing
{
};

// One grammar for both passes: Build makes the QVariant tree, the outline pass only checks the text and counts
// its values, so that a document can be refused before anything of it is built.
template<bool Build>
class Reader
{
public:
    using Value = std::conditional_t<Build, QVariant, Nothing>;
    using Text = std::conditional_t<Build, QString, Nothing>;

    Reader(QStringView text, qsizetype valueBudget)
        : p(reinterpret_cast<const char16_t *>(text.utf16()))
        , end(p + text.size())
        , budget(valueBudget)
    { }

    bool readDocument(Value &out)
    {
        if (!readValue(out))
            return false;
        skipWhitespace();
        return p == end;
    }

    qsizetype values = 0;
    qsizetype rootItems = -1;

private:
    const char16_t *p;
    const char16_t *const end;
    const qsizetype budget;
    int depth = 0;
    // The objects of one text mostly repeat the same few keys (10,000 domain entries have three); a key read
    // before is shared with its earlier copy instead of being allocated again.
    std::conditional_t<Build, std::array<QString, 32>, Nothing> recentKeys;

    // The budget is spent in proportion to memory: one for each value, two for each key, which brings its own text
    // and a node of the object's map.
    bool spend(qsizetype cost)
    {
        values += cost;
        return values <= budget;
    }

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

    template<typename T>
    static void set(Value &out, T &&value)
    {
        if constexpr (Build)
            out = QVariant(std::forward<T>(value));
    }

    bool readValue(Value &out);
    template<typename ReadItem>
    bool readItems(char16_t close, qsizetype *items, ReadItem readItem);
    bool readObject(Value &out);
    bool readArray(Value &out);
    bool readString(Text &out, bool isKey = false);
    bool readEscape(Text &out);
    qsizetype decodedLength(const char16_t *at) const;
    int readHex4(const char16_t *at) const;
    bool readNumber(Value &out);
};

template<bool Build>
bool Reader<Build>::readValue(Value &out)
{
    skipWhitespace();
    if (p == end || !spend(1))
        return false;
    switch (*p) {
    case u'{':
        return readObject(out);
    case u'[':
        return readArray(out);
    case u'"': {
        Text text;
        if (!readString(text))
            return false;
        set(out, std::move(text));
        return true;
    }
    case u't':
        set(out, true);
        return readLiteral(u"true", 4);
    case u'f':
        set(out, false);
        return readLiteral(u"false", 5);
    case u'n':
        if constexpr (Build)
            out = QVariant();
        return readLiteral(u"null", 4);
    default:
        return readNumber(out);
    }
}

// After the opening character: items separated by commas up to the closing character, or none at all.
template<bool Build>
template<typename ReadItem>
bool Reader<Build>::readItems(char16_t close, qsizetype *items, ReadItem readItem)
{
    if (++depth > MaxDepth)
        return false;
    ++p;
    skipWhitespace();
    if (p == end || *p != close) {
        for (;;) {
            if (!readItem())
                return false;
            ++*items;
            skipWhitespace();
            if (p == end)
                return false;
            const char16_t c = *p++;
            if (c == close)
                break;
            if (c != u',')
                return false;
        }
    } else {
        ++p;
    }
    --depth;
    return true;
}

template<bool Build>
bool Reader<Build>::readObject(Value &out)
{
    // The writer sends keys in ascending order, so appending at the end is the usual case and costs no search;
    // insert_or_assign lets the last of duplicate keys win.
    std::conditional_t<Build, std::map<QString, QVariant>, Nothing> members;
    qsizetype count = 0;
    const bool ok = readItems(u'}', &count, [&] {
        skipWhitespace();
        Text key;
        Value value;
        if (p == end || *p != u'"' || !spend(2) || !readString(key, true) || !consume(u':') || !readValue(value))
            return false;
        if constexpr (Build)
            members.insert_or_assign(members.end(), std::move(key), std::move(value));
        return true;
    });
    if constexpr (Build) {
        if (ok)
            out = QVariant(QVariantMap(std::move(members)));
    }
    return ok;
}

template<bool Build>
bool Reader<Build>::readArray(Value &out)
{
    std::conditional_t<Build, QVariantList, Nothing> items;
    const bool root = depth == 0;
    qsizetype count = 0;
    const bool ok = readItems(u']', &count, [&] {
        Value value;
        if (!readValue(value))
            return false;
        if constexpr (Build)
            items.append(std::move(value));
        return true;
    });
    if (ok && root)
        rootItems = count;
    if constexpr (Build) {
        if (ok)
            out = QVariant(std::move(items));
    }
    return ok;
}

template<bool Build>
bool Reader<Build>::readString(Text &out, bool isKey)
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
        if constexpr (Build) {
            if (isKey && length > 0) {
                QString &recent = recentKeys[(length + run[0] * 7 + run[length - 1] * 13) & 31];
                if (recent.size() != length || !std::equal(run, run + length, recent.utf16()))
                    recent = QString(reinterpret_cast<const QChar *>(run), length);
                out = recent;
                return true;
            }
            // Built from a non-null pointer, so "" gives an empty string that is not null.
            out = QString(reinterpret_cast<const QChar *>(run), length);
        }
        return true;
    }

    if constexpr (Build)
        out.reserve(decodedLength(run));
    for (;;) {
        while (p != end && *p != u'"' && *p != u'\\')
            ++p;
        if (p == end)
            return false;
        if constexpr (Build)
            out.append(reinterpret_cast<const QChar *>(run), p - run);
        if (*p++ == u'"')
            return true;
        if (!readEscape(out))
            return false;
        run = p;
    }
}

// The length of the string from at to its closing quote once its escapes are read: each gives one character.
// Text allocated at its size from the start is never moved or left with spare room.
template<bool Build>
qsizetype Reader<Build>::decodedLength(const char16_t *at) const
{
    qsizetype length = 0;
    while (at != end && *at != u'"') {
        const qsizetype step = *at != u'\\' ? 1 : (end - at > 1 && at[1] == u'u') ? 6 : 2;
        at += std::min(step, qsizetype(end - at));
        ++length;
    }
    return length;
}

template<bool Build>
int Reader<Build>::readHex4(const char16_t *at) const
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

template<bool Build>
bool Reader<Build>::readEscape(Text &out)
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
                if constexpr (Build)
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
    if constexpr (Build)
        out += QChar(c);
    return true;
}

template<bool Build>
bool Reader<Build>::readNumber(Value &out)
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
    if constexpr (!Build)
        return true;

    if (!isDouble && fitsIn64Bits) {
        constexpr quint64 int32Limit = quint64(std::numeric_limits<qint32>::max());
        constexpr quint64 int64Limit = quint64(std::numeric_limits<qint64>::max());
        if (!negative) {
            if (magnitude <= int32Limit)
                set(out, int(magnitude));
            else if (magnitude <= int64Limit)
                set(out, qint64(magnitude));
            else
                set(out, magnitude);
            return true;
        }
        if (magnitude <= int32Limit + 1) {
            set(out, int(-qint64(magnitude)));
            return true;
        }
        if (magnitude <= int64Limit + 1) {
            set(out, magnitude == int64Limit + 1 ? std::numeric_limits<qint64>::min() : -qint64(magnitude));
            return true;
        }
    }

    // The token is plain ASCII and a syntactically sound number, which from_chars reads whole; a copy into chars
    // lets the locale-independent converters read it.
    std::string digits(p - start, '\0');
    std::copy(start, p, digits.begin());
    double value = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        value = convertOutOfRange(digits.c_str());
    else if (result.ec != std::errc())
        return false;
    set(out, value);
    return true;
}

} // namespace

QVariant parse(const QString &text, qsizetype valueBudget)
{
    Reader<true> reader(text, valueBudget);
    QVariant value;
    if (!reader.readDocument(value))
        return QVariant();
    return value;
}

Outline outline(const QString &text)
{
    Reader<false> reader(text, std::numeric_limits<qsizetype>::max());
    Nothing nothing;
    Outline result;
    result.wellFormed = reader.readDocument(nothing);
    if (result.wellFormed) {
        result.values = reader.values;
        result.arrayItems = reader.rootItems;
    }
    return result;
}

} // namespace Json
} // namespace Velmor
