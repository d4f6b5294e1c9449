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
    // The codes the library gives itself; every other code belongs to the part of the system that produces it.
    enum Code : quint32 {
        Success = 0,
        GeneralFailure = 1,
        // A request's deadline passed.
        Timeout = 2,
        // The IPC link was not connected when calls were to be sent.
        NotConnected = 3,
        // The peer's answer was missing or malformed, or a JSON-RPC error object with a negative code.
        InvalidResponse = 9,
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
