// Reads arbitrary bytes as the links do (UTF-8 text), then checks that what the reader accepted survives the
// writer: read, write, read again must agree, and the second write must give the first text byte for byte. The
// outline must agree with the reader: the same texts well formed, the value count the smallest budget that reads
// the text, and the items of a top-level array.
#include "velmorwire/json.h"

#include <QVariantList>
#include <QVariantMap>

#include <cstdio>
#include <cstdlib>

namespace {

bool isNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

// Doubles keep six significant digits on the way out, and one with no fraction left comes back as an integer
// (or as null when it was infinite), so a double agrees with whatever writes the same text.
bool agree(const QVariant &first, const QVariant &second)
{
    if (first.typeId() == QMetaType::Double)
        return (isNumber(second) || !second.isValid())
            && Velmor::Json::stringify(first) == Velmor::Json::stringify(second);
    if (first.typeId() != second.typeId())
        return false;
    switch (first.typeId()) {
    case QMetaType::QVariantList: {
        const QVariantList a = first.toList();
        const QVariantList b = second.toList();
        if (a.size() != b.size())
            return false;
        for (qsizetype i = 0; i < a.size(); ++i) {
            if (!agree(a.at(i), b.at(i)))
                return false;
        }
        return true;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap a = first.toMap();
        const QVariantMap b = second.toMap();
        if (a.keys() != b.keys())
            return false;
        for (auto it = a.cbegin(); it != a.cend(); ++it) {
            if (!agree(it.value(), b.value(it.key())))
                return false;
        }
        return true;
    }
    default:
        return first == second;
    }
}

[[noreturn]] void fail(const char *what, const QString &text)
{
    std::fprintf(stderr, "%s: %s\n", what, text.toUtf8().constData());
    std::abort();
}

void checkOutline(const QString &text, const QVariant &value)
{
    const Velmor::Json::Outline outline = Velmor::Json::outline(text);
    // Only the literal null reads well and still gives an invalid variant.
    const bool isNull = outline.wellFormed && outline.values == 1 && !value.isValid();
    if (outline.wellFormed != (value.isValid() || isNull))
        fail("the outline and the reader disagree on the text", text);
    if (!outline.wellFormed)
        return;
    if (Velmor::Json::parse(text, outline.values).isValid() != !isNull)
        fail("the text does not read within the outline's value count", text);
    if (Velmor::Json::parse(text, outline.values - 1).isValid())
        fail("the text reads within less than the outline's value count", text);
    const qsizetype items = value.typeId() == QMetaType::QVariantList ? value.toList().size() : -1;
    if (outline.arrayItems != items)
        fail("the outline counts other array items", text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QVariant first = Velmor::Json::parse(text);
    checkOutline(text, first);
    if (!first.isValid())
        return 0;

    const QString written = Velmor::Json::stringify(first);
    const QVariant second = Velmor::Json::parse(written);
    if (!second.isValid() && written != QLatin1String("null"))
        fail("the reader refuses the writer's text", written);
    if (!agree(first, second))
        fail("the second reading differs from the first", written);
    const QString rewritten = Velmor::Json::stringify(second);
    if (rewritten != written)
        fail("the second writing differs from the first", written + QLatin1String(" / ") + rewritten);
    return 0;
}
