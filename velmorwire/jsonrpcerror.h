#ifndef VELMOR_JSONRPCERROR_H
#define VELMOR_JSONRPCERROR_H

#include "velmorwire_global.h"

#include <QString>
#include <QVariant>

namespace Velmor {

class Error;

// A JSON-RPC 2.0 error object: a signed 16-bit code, a message and optional data.
class VELMORWIRE_EXPORT JsonRPCError
{
public:
    // The codes JSON-RPC 2.0 defines; it reserves -32768 to -32000 for them.
    enum StandardCode : qint16 {
        ParseError = -32700,
        InvalidRequest = -32600,
        MethodNotFound = -32601,
        InvalidParams = -32602,
        InternalError = -32603,
    };

    JsonRPCError();
    // Keeps the low 16 bits of the error's code, read as signed.
    JsonRPCError(const Velmor::Error &error);

    bool fromVariant(const QVariant &value);
    QVariant toVariant() const;
    // The text JSON-RPC 2.0 gives the code, or a null string.
    QString standardMessage() const;

    qint16 code;
    QString message;
    QVariant data;
};

} // namespace Velmor

#endif // VELMOR_JSONRPCERROR_H
