#include "jsonrpcerror.h"

#include "error.h"
#include "wirevalue_p.h"

#include <QVariantMap>

namespace Velmor {

JsonRPCError::JsonRPCError()
    : code(0)
{ }

JsonRPCError::JsonRPCError(const Velmor::Error &error)
    : code(qint16(quint16(error.code() & 0xffff)))
    , message(error.message())
    , data(error.data())
{ }

QString JsonRPCError::standardMessage() const
{
    switch (code) {
    case ParseError:
        return QStringLiteral("Parse error");
    case InvalidRequest:
        return QStringLiteral("Invalid Request");
    case MethodNotFound:
        return QStringLiteral("Method not found");
    case InvalidParams:
        return QStringLiteral("Invalid params");
    case InternalError:
        return QStringLiteral("Internal error");
    default:
        return QString();
    }
}

QVariant JsonRPCError::toVariant() const
{
    QVariantMap map;
    map.insert(QStringLiteral("code"), int(code));
    // The range JSON-RPC 2.0 reserves for predefined errors always carries the standard text.
    if (code >= -32767 && code <= -32000)
        map.insert(QStringLiteral("message"), standardMessage());
    else if (!message.isEmpty())
        map.insert(QStringLiteral("message"), message);
    if (data.isValid())
        map.insert(QStringLiteral("data"), data);
    return map;
}

bool JsonRPCError::fromVariant(const QVariant &value)
{
    if (value.typeId() != QMetaType::QVariantMap)
        return false;
    const QVariantMap map = value.toMap();
    // The data is taken before the checks below, so a refused object still leaves it in place.
    data = map.value(QStringLiteral("data"));

    const QVariant codeValue = map.value(QStringLiteral("code"));
    if (codeValue.typeId() != QMetaType::Int)
        return false;
    code = qint16(quint16(codeValue.toInt() & 0xffff));

    const QVariant messageValue = map.value(QStringLiteral("message"));
    if (Internal::isJsonNull(messageValue)) {
        message = QString();
        return true;
    }
    if (messageValue.typeId() != QMetaType::QString)
        return false;
    message = messageValue.toString();
    return true;
}

} // namespace Velmor
