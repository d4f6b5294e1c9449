#ifndef VELMOR_TESTS_TESTEVENTS_H
#define VELMOR_TESTS_TESTEVENTS_H

#include "platform/kernelevent.h"

#include <vector>

#include <fcntl.h>

// Kernel events owned by a test, closed at its end.
struct TestEvents
{
    std::vector<Velmor::Platform::Handle> handles;

    Velmor::Platform::Handle add(bool manualReset = false, bool initialState = false)
    {
        handles.push_back(Velmor::Platform::createEvent(manualReset, initialState));
        return handles.back();
    }
    ~TestEvents()
    {
        for (Velmor::Platform::Handle handle : handles)
            Velmor::Platform::closeHandle(handle);
    }
};

// A descriptor number that nothing in the test process has open: a wait that includes it fails.
inline Velmor::Platform::Handle unopenedHandle()
{
    Velmor::Platform::Handle handle = 1 << 20;
    while (::fcntl(handle, F_GETFD) != -1)
        ++handle;
    return handle;
}

#endif // VELMOR_TESTS_TESTEVENTS_H
