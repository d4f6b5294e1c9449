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
    ErrorNotEnoughMemory = 8,
    ErrorInvalidData = 13,
    ErrorNotSupported = 50,
    ErrorInvalidParameter = 87,
    ErrorBufferOverflow = 111,
    ErrorInsufficientBuffer = 122,
    ErrorInvalidName = 123,
    ErrorNoData = 232,
    ErrorIoPending = 997,
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
    ErrorAddressNotAssociated = 1228,
};

// The system's message for a code, as Windows words it; the empty text for a code the table does not hold.
QString winErrorText(quint32 code);

// The calling thread's last error, as GetLastError and SetLastError keep it: the stand-ins set it where the
// Windows call they replace would.
WinError lastError();
void setLastError(WinError code);

} // namespace Platform

// The system's text for a Windows error code, trimmed; empty for a code without one. A code of -1 is replaced by
// the calling thread's last error, so the caller sees which code was used.
QString systemErrorString(int &code);

// Writes "message (code:text)", or "code:text" for an empty message, to the standard error stream, then raises a
// critical diagnostic with the message and the text. A code of -1 means the calling thread's last error.
void printSystemError(const QString &message, int code);
} // namespace Velmor

#endif // VELMOR_PLATFORM_WINERROR_H
