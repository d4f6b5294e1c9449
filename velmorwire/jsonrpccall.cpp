#include "jsonrpccall.h"

#include "json.h"

#include <QVariantMap>

namespace Velmor {

JsonRPCCall::JsonRPCCall(unsigned int id, const char *method, const QVariantList &params)
    : Request(nullptr)
    , m_id(id)
    , m_method(QString::fromLatin1(method))
    , m_params(params)
    , m_parentRequest(nullptr)
{ }

JsonRPCCall::~JsonRPCCall() = default;

QString JsonRPCCall::stringify() const
{
    if (!m_text.isNull())
        return m_text;
    QVariantMap message;
    message.insert(QStringLiteral("jsonrpc"), QStringLiteral("2.0"));
    message.insert(QStringLiteral("method"), m_method);
    if (m_id != 0)
        message.insert(QStringLiteral("id"), QVariant::fromValue<uint>(m_id));
    if (!m_params.isEmpty())
        message.insert(QStringLiteral("params"), m_params);
    return Json::stringify(message);
}

void JsonRPCCall::setResult(const QVariant &result)
{
    m_result = result;
    requestFinished(Error());
}

void JsonRPCCall::setRpcError(const JsonRPCError &error)
{
    m_rpcError = error;
    // Zero is refused like a negative code: an error object must never read as success.
    if (error.code > 0) {
        requestFinished(Error(quint32(error.code), error.message));
        return;
    }
    const QString text
        = QStringLiteral("Server returned JSON-RPC error %1: %2").arg(int(error.code)).arg(error.standardMessage());
    requestFinished(Error(Error::InvalidResponse, text));
}

void JsonRPCCall::abort(const Error &error)
{
    m_rpcError = JsonRPCError(error);
    requestFinished(error);
}

} // namespace Velmor
