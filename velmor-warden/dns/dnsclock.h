#ifndef VELMOR_DNS_DNSCLOCK_H
#define VELMOR_DNS_DNSCLOCK_H

#include <QtGlobal>

namespace Velmor {
namespace DNS {

// Milliseconds on the clock of the idle and header deadlines: monotonic unless replaced, so tests can move it.
using Clock = qint64 (*)();
qint64 now();
// nullptr brings back the monotonic clock.
void setClock(Clock clock);

} // namespace DNS
} // namespace Velmor

#endif // VELMOR_DNS_DNSCLOCK_H
