#ifndef VELMOR_PLATFORM_WINERROR_H
#define VELMOR_PLATFORM_WINERROR_H

#include <QString>

namespace Velmor {
namespace Platform {

// Windows status codes of the simulated machine keep their Windows numbers, so code that stores, compares or
// prints them behaves as it would there.
enum WinError : quint32 {
    ErrorSuccess = 0,
    ErrorFileNotFound = 2,
    ErrorAccessDenied = 5,
    ErrorInvalidData = 13,
    ErrorInvalidParameter = 87,
    ErrorInvalidName = 123,
    ErrorBadDatabase = 1009,
    ErrorRegistryIoFailed = 1016,
    ErrorInvalidServiceControl = 1052,
    ErrorServiceRequestTimeout = 1053,
    ErrorServiceAlreadyRunning = 1056,
    ErrorServiceDoesNotExist = 1060,
    ErrorServiceCannotAcceptControl = 1061,
    ErrorServiceNotActive = 1062,
    ErrorProcessAborted = 1067,
    ErrorServiceExists = 1073,
};

// The system's message for a code, as Windows words it; the empty text for a code the table does not hold.
QString winErrorText(quint32 code);

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_WINERROR_H
