#ifndef VELMOR_FUZZCHECK_H
#define VELMOR_FUZZCHECK_H

#include <cstdlib>

namespace Fuzz {

// A broken promise of the code under test: abort, so libFuzzer keeps the input.
inline void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace Fuzz

#endif // VELMOR_FUZZCHECK_H
