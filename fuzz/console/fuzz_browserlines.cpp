// Opera and Firefox preference lines through the check's patterns, merge and toText: no crash, and a text exactly
// when there is a proxy, ending with a line break.
#include "fuzzsupport.h"

#include "model/browserproxysettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const BrowserProxyPatterns patterns;
    const QStringList lines
        = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)).split(QLatin1Char('\n'));
    for (int kind : { BrowserProxySettings::Opera, BrowserProxySettings::Firefox }) {
        BrowserProxySettings settings;
        for (const QString &line : lines) {
            const BrowserProxySettings one = BrowserProxySettings::fromLine(patterns, kind, line);
            Fuzz::check(one.toText().isEmpty() == !one.hasProxy());
            settings.merge(one);
        }
        const QString text = settings.toText();
        Fuzz::check(text.isEmpty() == !settings.hasProxy());
        Fuzz::check(
            text.isEmpty() || (text.endsWith(QLatin1Char('\n')) && text.contains(QLatin1String("PROXY TYPE:"))));
    }
    return 0;
}
