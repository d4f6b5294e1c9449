#include "jsonrpc.h"
#include "jsonrpc_p.h"

#include "deferred.h"
#include "error.h"
#include "json.h"
#include "jsonrpccallresponse.h"
#include "jsonrpcparameter_p.h"
#include "wirevalue_p.h"

#include <QDebug>
#include <QMetaMethod>

#include <array>
#include <memory>

namespace Velmor {

namespace {

// QMetaMethod::invoke takes at most ten arguments.
const int maximumParameters = 10;

JsonRPCCallResponse *errorAnswer(qint16 code, const QVariant &id)
{
    JsonRPCError error;
    error.code = code;
    auto answer = new JsonRPCCallResponse(error);
    answer->setId(id);
    return answer;
}

} // namespace

DeferredResponse::DeferredResponse(bool batch, const QList<JsonRPCCallResponse *> &responses, QObject *parent)
    : QObject(parent)
    , batch(batch)
    , responses(responses)
    , outstanding(0)
{ }

// The engine owns the answers through their holder, so none outlives the engine.
DeferredResponse::~DeferredResponse()
{
    qDeleteAll(responses);
}

void DeferredResponse::waitFor(JsonRPCCallResponse *answer)
{
    ++outstanding;
    connect(answer, &JsonRPCCallResponse::ready, this, &DeferredResponse::responseReady);
}

void DeferredResponse::responseReady()
{
    if (--outstanding == 0)
        Q_EMIT ready();
}

void JsonRPC::setRequestHandler(QObject *handler)
{
    // A method of an earlier handler's class must never be invoked on an object of another class.
    d->methods.clear();
    d->handler = handler;
    if (!handler)
        return;
    const QMetaObject *meta = handler->metaObject();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        const QByteArray key = method.name() + QByteArray::number(method.parameterCount());
        d->methods.insert(key, method);
    }
}

// The text is measured before any of it is built: a batch costs memory answer by answer, however small its items.
qint16 JsonRPC::Private::readRequestText(const QByteArray &data, QVariant *value) const
{
    const QString text = jsonRpcText(data);
    const Json::Outline outline = Json::outline(text);
    if (!outline.wellFormed)
        return JsonRPCError::ParseError;
    if (outline.arrayItems > maximumBatchItems)
        return JsonRPCError::InvalidRequest;
    if (outline.values > valueBudget)
        return JsonRPCError::ParseError;
    *value = Json::parse(text, valueBudget);
    const bool isList = value->typeId() == QMetaType::QVariantList;
    if (Internal::isJsonNull(*value))
        return JsonRPCError::ParseError;
    if ((!isList && value->typeId() != QMetaType::QVariantMap) || (isList && outline.arrayItems == 0))
        return JsonRPCError::InvalidRequest;
    return 0;
}

void JsonRPC::incomingRequest(const QByteArray &data)
{
    QVariant value;
    const qint16 failure = d->readRequestText(data, &value);
    if (failure) {
        std::unique_ptr<JsonRPCCallResponse> answer(errorAnswer(failure, QVariant()));
        d->emitAnswers({ answer.get() }, false);
        return;
    }

    const bool isList = value.typeId() == QMetaType::QVariantList;
    QVariantList items = isList ? value.toList() : QVariantList { value };
    value.clear();
    // The handler's methods run synchronously and may destroy the engine.
    QPointer<Private> self(d);
    QList<JsonRPCCallResponse *> answers;
    qsizetype answerLength = 0;
    for (const QVariant &item : std::as_const(items)) {
        JsonRPCCallResponse *answer = d->answerItem(item, isList);
        if (answer)
            answers.append(answer);
        if (!self) {
            qDeleteAll(answers);
            return;
        }
        // Measured as they come: each answer of a batch of small calls may hold megabytes, and all of them must not
        // be held before the first is written.
        if (answer && !answer->isDeferred()) {
            answerLength += answer->stringify().size();
            if (answerLength > maximumAnswerLength) {
                qDeleteAll(answers);
                Q_EMIT answerTooLong();
                return;
            }
        }
    }
    // What the answers do not hold of the request goes before their text is written.
    items.clear();

    d->sendOrHold(answers, isList);
}

// Answers that all exist are sent at once; otherwise they wait together until the last of them is ready.
void JsonRPC::Private::sendOrHold(const QList<JsonRPCCallResponse *> &answers, bool batch)
{
    QList<JsonRPCCallResponse *> waiting;
    for (JsonRPCCallResponse *answer : answers) {
        if (answer->isDeferred())
            waiting.append(answer);
    }
    if (waiting.isEmpty()) {
        if (!answers.isEmpty())
            emitAnswers(answers, batch);
        qDeleteAll(answers);
        return;
    }

    auto holder = new DeferredResponse(batch, answers, this);
    for (JsonRPCCallResponse *answer : std::as_const(waiting))
        holder->waitFor(answer);
    connect(holder, &DeferredResponse::ready, this, &Private::deferredResponseReady);
}

JsonRPCCallResponse *JsonRPC::Private::answerItem(const QVariant &item, bool batch)
{
    const QVariantMap map = item.typeId() == QMetaType::QVariantMap ? item.toMap() : QVariantMap();
    bool isNotification = true;
    bool valid = !map.isEmpty();
    QVariant id;
    QString version;
    QString method;
    QVariantList params;
    // Keys are visited in sorted order, so whether a faulty item counts as a request depends on whether its
    // "id" comes before the fault.
    for (auto it = map.cbegin(); valid && it != map.cend(); ++it) {
        const QString &key = it.key();
        const QVariant &member = it.value();
        if (key == QLatin1String("id")) {
            valid = CallId::fromVariant(member).valid;
            if (valid) {
                id = member;
                isNotification = false;
            }
        } else if (key == QLatin1String("jsonrpc")) {
            version = member.toString();
            valid = version == QLatin1String("2.0");
        } else if (key == QLatin1String("method")) {
            valid = member.typeId() == QMetaType::QString && !member.toString().isEmpty();
            method = member.toString();
        } else if (key == QLatin1String("params")) {
            valid = member.typeId() == QMetaType::QVariantList;
            params = member.toList();
        } else {
            valid = false;
        }
    }
    if (valid && version.isEmpty())
        valid = false;
    if (!valid) {
        if (isNotification && !batch) {
            if (requestLogBudget.take())
                qDebug("Invalid JSON-RPC notification.%s", qPrintable(requestLogBudget.note()));
            return nullptr;
        }
        return errorAnswer(JsonRPCError::InvalidRequest, QVariant());
    }

    const QByteArray key = method.toUtf8() + QByteArray::number(params.size());
    const auto entry = methods.constFind(key);
    if (!handler || entry == methods.cend()) {
        if (isNotification && !batch) {
            if (requestLogBudget.take())
                qWarning("failed to find slot %s%s", qPrintable(peerText(method)), qPrintable(requestLogBudget.note()));
            return nullptr;
        }
        return errorAnswer(JsonRPCError::MethodNotFound, id);
    }

    const QMetaMethod target = *entry;
    QVariant returned;
    if (!invoke(target, params, &returned)) {
        if (isNotification) {
            if (requestLogBudget.take())
                qDebug("Failed to call slot %s%s", qPrintable(peerText(key)), qPrintable(requestLogBudget.note()));
            return nullptr;
        }
        return errorAnswer(JsonRPCError::InvalidParams, id);
    }
    if (isNotification)
        return nullptr;

    JsonRPCCallResponse *answer = nullptr;
    const int returnType = target.returnType();
    if (returnType == registerDeferredMetaType()) {
        answer = new JsonRPCCallResponse(returned.value<Deferred>());
    } else if (returnType == registerErrorMetaType()) {
        const Error error = returned.value<Error>();
        answer = error.isSuccess() ? new JsonRPCCallResponse(QVariant()) : new JsonRPCCallResponse(JsonRPCError(error));
    } else {
        answer = new JsonRPCCallResponse(returned);
    }
    answer->setId(id);
    return answer;
}

bool JsonRPC::Private::invoke(const QMetaMethod &method, const QVariantList &params, QVariant *returned)
{
    const int count = method.parameterCount();
    if (count > maximumParameters || count != params.size())
        return false;

    std::array<QVariant, maximumParameters> values;
    std::array<QByteArray, maximumParameters> names;
    std::array<QGenericArgument, maximumParameters> arguments;
    for (int i = 0; i < count; ++i) {
        names[i] = method.parameterTypeName(i);
        QMetaType type = method.parameterMetaType(i);
        if (!type.isValid())
            type = QMetaType::fromName(names[i]);
        if (!convertJsonRPCParameter(params.at(i), type, &values[i]))
            return false;
        // A QVariant parameter takes the variant itself, every other type the value held in it.
        const void *data
            = type.id() == QMetaType::QVariant ? static_cast<const void *>(&values[i]) : values[i].constData();
        arguments[i] = QGenericArgument(names[i].constData(), data);
    }

    QGenericReturnArgument result;
    const QMetaType returnType = method.returnMetaType();
    if (returnType.id() == QMetaType::QVariant) {
        result = QGenericReturnArgument(method.typeName(), returned);
    } else if (returnType.id() != QMetaType::Void) {
        // An unregistered return type has no storage; calling without it would drop the answer's value.
        if (!returnType.isValid())
            return false;
        *returned = QVariant(returnType);
        result = QGenericReturnArgument(method.typeName(), returned->data());
    }

    return method.invoke(handler.data(), Qt::DirectConnection, result, arguments[0], arguments[1], arguments[2],
        arguments[3], arguments[4], arguments[5], arguments[6], arguments[7], arguments[8], arguments[9]);
}

void JsonRPC::Private::emitAnswers(const QList<JsonRPCCallResponse *> &responses, bool batch)
{
    // One text grows answer by answer, so a batch never holds its answers twice.
    QString text;
    if (batch)
        text += QLatin1Char('[');
    for (JsonRPCCallResponse *answer : responses) {
        if (batch && text.size() > 1)
            text += QLatin1Char(',');
        answer->lowerErrorCode(errorCodeOffset);
        text += answer->stringify();
        if (text.size() > maximumAnswerLength) {
            Q_EMIT q->answerTooLong();
            return;
        }
        if (!batch)
            break;
    }
    if (batch)
        text += QLatin1Char(']');
    Q_EMIT q->outgoingResponseReady(text);
}

void JsonRPC::Private::deferredResponseReady()
{
    auto holder = qobject_cast<DeferredResponse *>(sender());
    if (!holder)
        return;
    // The holder is still inside the Deferred's emission; it goes at the next return to the event loop, or
    // with the engine, whichever comes first.
    disconnect(holder, nullptr, this, nullptr);
    holder->deleteLater();
    emitAnswers(holder->responses, holder->batch);
}

} // namespace Velmor
