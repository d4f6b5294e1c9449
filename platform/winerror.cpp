#include "winerror.h"

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
    case ErrorInvalidData:
        return QStringLiteral("The data is invalid.");
    case ErrorInvalidParameter:
        return QStringLiteral("The parameter is incorrect.");
    case ErrorInvalidName:
        return QStringLiteral("The filename, directory name, or volume label syntax is incorrect.");
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
    }
    return QString();
}

} // namespace Platform
} // namespace Velmor
