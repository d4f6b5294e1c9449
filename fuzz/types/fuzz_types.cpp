// Parses the input as JSON text and hands every node of the first levels to every fromVariant. Whatever a reader
// accepts must come back unchanged from its own toVariant, directly and through JSON text, and the HostList
// converter must accept exactly what HostList::fromVariant accepts.

#include "typereaders.h"

#include "velmorwire/accountdatatypes.h"
#include "velmorwire/json.h"

#include <cstdio>
#include <cstdlib>

using namespace Velmor;

namespace {

[[noreturn]] void fail(const char *reader, const char *what, const QString &detail)
{
    std::fprintf(stderr, "%s: %s\n%s\n", reader, what, qPrintable(detail));
    std::abort();
}

void checkReaders(const QVariant &value)
{
    for (const Velmor::Test::TypeReader &reader : Velmor::Test::typeReaders()) {
        QVariant written;
        if (!reader.read(value, &written) || !written.isValid())
            continue;
        const QString text = Json::stringify(written);

        QVariant rewritten;
        if (!reader.read(written, &rewritten))
            fail(reader.name, "refuses its own toVariant", text);
        if (rewritten != written)
            fail(reader.name, "toVariant changed after a second read",
                text + QLatin1Char('\n') + Json::stringify(rewritten));

        QVariant fromText;
        if (!reader.read(Json::parse(text), &fromText))
            fail(reader.name, "refuses its own JSON text", text);
        if (Json::stringify(fromText) != text)
            fail(reader.name, "JSON text changed after a second read",
                text + QLatin1Char('\n') + Json::stringify(fromText));
    }
}

// The converter that serves JSON-RPC parameters and HostList::fromVariant follow one rule.
void checkHostListConverter(const QVariant &value)
{
    if (value.typeId() != QMetaType::QVariantList)
        return;
    QVariant converted = value;
    const bool convertible = converted.convert(QMetaType::fromType<HostList>());
    HostList read;
    if (read.fromVariant(value) != convertible)
        fail("HostList", "the converter and fromVariant disagree", Json::stringify(value));
    if (convertible && converted.value<HostList>() != read)
        fail("HostList", "the converter and fromVariant read different addresses", Json::stringify(value));
}

void visit(const QVariant &value, int depth, int *budget)
{
    if (--*budget < 0)
        return;
    checkReaders(value);
    checkHostListConverter(value);
    if (depth == 0)
        return;
    if (value.typeId() == QMetaType::QVariantList) {
        for (const QVariant &child : value.toList())
            visit(child, depth - 1, budget);
    } else if (value.typeId() == QMetaType::QVariantMap) {
        for (const QVariant &child : value.toMap())
            visit(child, depth - 1, budget);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool registered = (registerAccountDataTypes(), true);
    Q_UNUSED(registered);
    const QVariant root = Json::parse(QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)));
    int budget = 64;
    visit(root, 2, &budget);
    return 0;
}
