// A datagram received by the identification check, for a query whose id the first two bytes give: no crash, one
// log line, and the three fields filled exactly when the answer is taken.
#include "fuzzsupport.h"

#include "diagnostics/blackanswer.h"

#include <QtGlobal>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool silenced = (Fuzz::silenceMessages(), true);
    Q_UNUSED(silenced);
    if (size < 2)
        return 0;
    const quint16 id = quint16((data[0] << 8) | data[1]);
    const QByteArray datagram(reinterpret_cast<const char *>(data) + 2, qsizetype(size - 2));
    BlackTestResult result;
    QString log;
    const bool taken = readBlackAnswer(datagram, id, &result, &log);
    Fuzz::check(log.endsWith(QLatin1Char('\n')) && log.count(QLatin1Char('\n')) >= 1);
    Fuzz::check(taken == !result.p.isNull());
    if (taken)
        Fuzz::check(!result.ip.isNull() && !result.t.isNull() && log.startsWith(QLatin1String("black.")));
    return 0;
}
