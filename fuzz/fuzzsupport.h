#ifndef VELMOR_FUZZSUPPORT_H
#define VELMOR_FUZZSUPPORT_H

#include <QtGlobal>

#include <cstdlib>

namespace Fuzz {

// A broken promise of the code under test: abort, so libFuzzer keeps the input.
inline void check(bool condition)
{
    if (!condition)
        std::abort();
}

// The code under test logs what it refuses; a line per input would drown libFuzzer's own output.
inline void silenceMessages()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
}

} // namespace Fuzz

#endif // VELMOR_FUZZSUPPORT_H
