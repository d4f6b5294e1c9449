#include "winerror.h"

#include <QtDebug>

#include <cstdio>

namespace Velmor {
namespace Platform {

QString winErrorText(quint32 code)
{
    switch (code) {
    case ErrorSuccess:
        return QStringLiteral("The operation completed successfully.");
    case ErrorFileNotFound:
        return QStringLiteral("The system cannot find the file specified.");
    case ErrorAccessDenied:
        return QStringLiteral("Access is denied.");
    case ErrorNotEnoughMemory:
        return QStringLiteral("Not enough memory resources are available to process this command.");
    case ErrorInvalidData:
        return QStringLiteral("The data is invalid.");
    case ErrorNotSupported:
        return QStringLiteral("The request is not supported.");
    case ErrorInvalidParameter:
        return QStringLiteral("The parameter is incorrect.");
    case ErrorBufferOverflow:
        return QStringLiteral("The file name is too long.");
    case ErrorInsufficientBuffer:
        return QStringLiteral("The data area passed to a system call is too small.");
    case ErrorInvalidName:
        return QStringLiteral("The filename, directory name, or volume label syntax is incorrect.");
    case ErrorNoData:
        return QStringLiteral("The pipe is being closed.");
    case ErrorIoPending:
        return QStringLiteral("Overlapped I/O operation is in progress.");
    case ErrorBadDatabase:
        return QStringLiteral("The configuration registry database is corrupt.");
    case ErrorRegistryIoFailed:
        return QStringLiteral("An I/O operation initiated by the registry failed unrecoverably. The registry could not "
                              "read in, or write out, or flush, one of the files that contain the system's image of "
                              "the registry.");
    case ErrorInvalidServiceControl:
        return QStringLiteral("The requested control is not valid for this service.");
    case ErrorServiceRequestTimeout:
        return QStringLiteral("The service did not respond to the start or control request in a timely fashion.");
    case ErrorServiceAlreadyRunning:
        return QStringLiteral("An instance of the service is already running.");
    case ErrorServiceDoesNotExist:
        return QStringLiteral("The specified service does not exist as an installed service.");
    case ErrorServiceCannotAcceptControl:
        return QStringLiteral("The service cannot accept control messages at this time.");
    case ErrorServiceNotActive:
        return QStringLiteral("The service has not been started.");
    case ErrorProcessAborted:
        return QStringLiteral("The process terminated unexpectedly.");
    case ErrorServiceExists:
        return QStringLiteral("The specified service already exists.");
    case ErrorAddressNotAssociated:
        return QStringLiteral("An address has not yet been associated with the network endpoint.");
    }
    return QString();
}

namespace {
thread_local WinError threadLastError = ErrorSuccess;
}

WinError lastError()
{
    return threadLastError;
}

void setLastError(WinError code)
{
    threadLastError = code;
}

} // namespace Platform

QString systemErrorString(int &code)
{
    if (code == -1)
        code = int(Platform::lastError());
    return Platform::winErrorText(quint32(code)).trimmed();
}

void printSystemError(const QString &message, int code)
{
    const QString text = systemErrorString(code);
    // The console of this machine reads UTF-8, as the Windows console read its OEM code page.
    const QByteArray encoded = text.toUtf8();
    if (!message.isEmpty())
        std::fprintf(stderr, "%s (%ld:%s)\n", message.toLocal8Bit().constData(), long(code), encoded.constData());
    else
        std::fprintf(stderr, "%ld:%s\n", long(code), encoded.constData());
    qCritical("%s (%s)", qUtf8Printable(message), qUtf8Printable(text));
}
} // namespace Velmor
