#ifndef VELMOR_ERROR_H
#define VELMOR_ERROR_H

#include "velmorwire_global.h"

#include <QMetaType>
#include <QString>
#include <QVariant>

namespace Velmor {

// The one failure value of the system: code 0 is success, every other code a failure.
class VELMORWIRE_EXPORT Error
{
public:
    // The codes that cross the link between the service and the desktop program; both sides name them from here.
    enum Code : quint32 {
        Success = 0,
        GeneralFailure = 1,
        // A request's deadline passed.
        Timeout = 2,
        // The IPC link was not connected when calls were to be sent.
        NotConnected = 3,
        // A connection without DNS servers of its own was to get back the ones DHCP gave it, and DHCP gave none.
        NoDhcpServers = 4,
        // Access denied, the adapter not found, or a write of its settings failed.
        AccessDenied = 5,
        // The list of the machine's adapters could not be read.
        AdapterListUnavailable = 6,
        // The operation is not supported here.
        NotSupported = 8,
        // The peer's answer was missing or malformed, or a JSON-RPC error object with a negative code.
        InvalidResponse = 9,
        // The account service refused the credentials.
        AuthenticationFailed = 30,
        // The account service could not be reached, or did not answer in time.
        NetworkFailure = 31,
        // The account service refused to make the account.
        RegistrationRefused = 33,
        // The account service's error 51: it refused the address that identifies the computer.
        AddressRefused = 1051,
    };

    Error();
    Error(unsigned int code, const QString &message);
    virtual ~Error();

    Error(const Error &other) = default;
    Error &operator=(const Error &other) = default;

    unsigned int code() const { return m_code; }
    QString message() const { return m_message; }
    bool isSuccess() const { return m_code == 0; }

    // Extra data carried as the "data" member of a JSON-RPC error object made from this error.
    virtual QVariant data() const;

    QVariant toVariant() const;
    bool fromVariant(const QVariant &value);

private:
    quint32 m_code;
    QString m_message;
};

// Registers the type as "Velmor::Error" and its short alias "Error"; returns the type id.
VELMORWIRE_EXPORT int registerErrorMetaType();

} // namespace Velmor

Q_DECLARE_METATYPE(Velmor::Error)

#endif // VELMOR_ERROR_H
