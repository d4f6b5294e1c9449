#include "jsonrpccallresponse.h"

#include "json.h"
#include "request.h"

#include <QVariantMap>

namespace Velmor {

JsonRPCCallResponse::JsonRPCCallResponse(const QVariant &result)
    : failed(false)
    , waiting(false)
    , result(result)
{ }

JsonRPCCallResponse::JsonRPCCallResponse(const JsonRPCError &error)
    : failed(true)
    , waiting(false)
    , error(error)
{ }

JsonRPCCallResponse::JsonRPCCallResponse(const Deferred &deferred)
    : failed(false)
    , waiting(true)
    , deferred(deferred)
{
    this->deferred.addCallback(this, "1resultReady(QVariant)");
    this->deferred.addErrback(this, "1errorReady(Error)");
}

JsonRPCCallResponse::JsonRPCCallResponse(const Request *request)
    : failed(false)
    , waiting(true)
{
    connect(request, &Request::finished, this, &JsonRPCCallResponse::requestFinished);
}

JsonRPCCallResponse::~JsonRPCCallResponse() = default;

QString JsonRPCCallResponse::stringify() const
{
    // A map, not a hash: the same answer must always be the same bytes.
    QVariantMap answer;
    answer.insert(QStringLiteral("jsonrpc"), QStringLiteral("2.0"));
    answer.insert(QStringLiteral("id"), id);
    if (failed)
        answer.insert(QStringLiteral("error"), error.toVariant());
    else
        answer.insert(QStringLiteral("result"), result);
    return Json::stringify(answer);
}

void JsonRPCCallResponse::lowerErrorCode(quint16 offset)
{
    if (failed)
        error.code = qint16(quint16(quint16(error.code) - offset));
}

// A Deferred may be fired twice; only its first outcome answers the request.
void JsonRPCCallResponse::resultReady(const QVariant &value)
{
    if (!waiting)
        return;
    waiting = false;
    result = value;
    Q_EMIT ready();
}

void JsonRPCCallResponse::errorReady(const Error &value)
{
    if (!waiting)
        return;
    waiting = false;
    failed = true;
    error = JsonRPCError(value);
    Q_EMIT ready();
}

void JsonRPCCallResponse::requestFinished()
{
    const auto request = qobject_cast<const Request *>(sender());
    if (!waiting || !request)
        return;
    waiting = false;
    if (!request->error().isSuccess()) {
        failed = true;
        error = JsonRPCError(request->error());
    }
    Q_EMIT ready();
}

} // namespace Velmor
