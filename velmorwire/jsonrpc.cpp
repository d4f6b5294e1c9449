#include "jsonrpc.h"
#include "jsonrpc_p.h"

#include "error.h"
#include "json.h"
#include "jsonrpccall.h"
#include "jsonrpccallresponse.h"
#include "requestmanager.h"
#include "wirevalue_p.h"

#include <QDebug>
#include <QPointer>

#include <utility>

namespace Velmor {

// Calls written without a context wait this long for their response.
static const quint16 defaultCallTimeout = 30;

// Qt 6 no longer stops UTF-8 decoding at a NUL byte; peers have always ended their text there.
QString jsonRpcText(const QByteArray &data)
{
    const qsizetype end = data.indexOf('\0');
    return QString::fromUtf8(QByteArrayView(data.constData(), end < 0 ? data.size() : end));
}

CallId CallId::fromVariant(const QVariant &value)
{
    CallId id;
    id.value = value;
    switch (value.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::QString:
        id.valid = true;
        break;
    default:
        break;
    }
    return id;
}

bool CallId::toNumber(quint32 *number) const
{
    Internal::WholeNumber whole;
    quint32 candidate = 0;
    if (!Internal::readWholeNumber(value, Internal::WholeNumberRule::CallId, &whole) || !whole.to(&candidate)
        || candidate == 0)
        return false;
    *number = candidate;
    return true;
}

JsonRPC::Private::Private(JsonRPC *q)
    : QObject(q)
    , q(q)
    , grouping(true)
    , errorCodeOffset(0)
    , valueBudget(Json::DefaultValueBudget)
    , lastId(0)
{
    groupingTimer.setSingleShot(true);
    groupingTimer.setInterval(0);
    connect(&groupingTimer, &QTimer::timeout, q, &JsonRPC::outgoingRequestReady);
}

// Queued messages were never written, so nobody waits for them; written calls belong to their holders.
JsonRPC::Private::~Private()
{
    qDeleteAll(outgoing);
}

JsonRPC::JsonRPC(QObject *parent)
    : QObject(parent)
    , d(new Private(this))
{ }

JsonRPC::~JsonRPC()
{
    delete d;
}

JsonRPCCall *JsonRPC::call(const char *method, const QVariantList &params)
{
    d->lastId = d->lastId == 0xffffffffu ? 1 : d->lastId + 1;
    auto call = new JsonRPCCall(d->lastId, method, params);
    d->outgoing.append(call);
    if (!d->groupingTimer.isActive())
        d->groupingTimer.start();
    return call;
}

void JsonRPC::notify(const char *method, const QVariantList &params)
{
    d->outgoing.append(new JsonRPCCall(0, method, params));
    if (!d->groupingTimer.isActive())
        d->groupingTimer.start();
}

QString JsonRPC::notificationText(const char *method, const QVariantList &params)
{
    return JsonRPCCall(0, method, params).stringify();
}

void JsonRPC::notifyText(const char *method, const QString &text)
{
    auto *call = new JsonRPCCall(0, method, QVariantList());
    call->setText(text);
    d->outgoing.append(call);
    if (!d->groupingTimer.isActive())
        d->groupingTimer.start();
}

void JsonRPC::useGrouping(bool grouping)
{
    d->grouping = grouping;
}

void JsonRPC::setErrorCodeOffset(quint16 offset)
{
    d->errorCodeOffset = offset;
}

void JsonRPC::setValueBudget(qsizetype values)
{
    d->valueBudget = values;
}

bool JsonRPC::hasPendingOutgoingRequest() const
{
    return !d->outgoing.isEmpty();
}

QString JsonRPC::serializeOutgoingRequest(Request *context)
{
    return d->takeOutgoingText(context);
}

QString JsonRPC::Private::takeOutgoingText(Request *context)
{
    QStringList texts;
    QHash<quint32, JsonRPCCall *> batch;
    while (!outgoing.isEmpty()) {
        JsonRPCCall *call = outgoing.takeFirst();
        texts.append(call->stringify());
        if (call->isNotification()) {
            delete call;
        } else {
            connect(call, &QObject::destroyed, this, &Private::callDestroyed);
            places.insert(call, Place { context, call->id() });
            if (context)
                call->setParentRequest(context);
            else
                RequestManager::instance()->insert(call, defaultCallTimeout);
            batch.insert(call->id(), call);
        }
        if (!grouping)
            break;
    }

    if (!batch.isEmpty()) {
        if (context) {
            connect(context, &Request::finished, this, &Private::parentRequestFinished, Qt::UniqueConnection);
            pending.insert(context, batch);
        } else {
            QHash<quint32, JsonRPCCall *> &calls = pending[nullptr];
            for (auto it = batch.cbegin(); it != batch.cend(); ++it)
                calls.insert(it.key(), it.value());
        }
    }

    if (texts.size() > 1)
        return QLatin1Char('[') + texts.join(QLatin1Char(',')) + QLatin1Char(']');
    return texts.value(0);
}

bool JsonRPC::incomingResponse(const QByteArray &data)
{
    if (data.isEmpty())
        return true;
    if (!d->pending.contains(nullptr)) {
        qDebug("json-rpc data received while nothing expected. ignoring..");
        return false;
    }
    return d->readResponses(data, nullptr);
}

bool JsonRPC::incomingContextedResponse(QByteArray data, Request *context)
{
    const bool expected = d->pending.contains(context);
    if (data.isEmpty()) {
        if (!expected)
            return true;
        qDebug("empty json-rpc response received while data expected");
    } else if (!expected) {
        qDebug("json-rpc data received while nothing expected. ignoring..");
        return false;
    }
    QPointer<JsonRPC> self(this);
    const bool matched = d->readResponses(std::move(data), context);
    if (self)
        dropOutgoing(context, Error(Error::InvalidResponse, QStringLiteral("No valid JSON-RPC response received")));
    return matched;
}

bool JsonRPC::Private::readResponses(QByteArray data, Request *context)
{
    QString text = jsonRpcText(data);
    // Where this was the bytes' last holder, a large answer is not kept as UTF-8 beside its text and the values
    // read from it, only the short quote of the bytes a failure logs; the text goes as soon as it is read.
    const QString quoted = peerText(data);
    data = QByteArray();
    QVariant value = Json::parse(text, valueBudget);
    const bool isList = value.typeId() == QMetaType::QVariantList;
    if ((!isList && value.typeId() != QMetaType::QVariantMap) || (isList && value.toList().isEmpty())) {
        qDebug("Failed to parse json data: %s", qPrintable(quoted));
        return false;
    }
    text = QString();

    QVariantList items = isList ? value.toList() : QVariantList { value };
    value.clear();
    // A call's finished() handler may destroy the engine while the items are read.
    QPointer<Private> self(this);
    bool matched = false;
    for (QVariant &held : items) {
        // Each item is let go once read, so a call that drops its result frees its part of a large answer.
        const QVariant item = std::exchange(held, QVariant());
        if (readResponseItem(item, context))
            matched = true;
        else if (self)
            qDebug("Invalid or unexpected json-rpc response");
        if (!self)
            break;
    }
    return matched;
}

bool JsonRPC::Private::readResponseItem(const QVariant &item, Request *context)
{
    const QVariantMap map = item.typeId() == QMetaType::QVariantMap ? item.toMap() : QVariantMap();
    if (map.isEmpty())
        return false;

    CallId id;
    bool hasVersion = false;
    bool hasResult = false;
    bool hasError = false;
    QVariant result;
    JsonRPCError error;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.key() == QLatin1String("id")) {
            id = CallId::fromVariant(it.value());
            if (!id.valid)
                return false;
        } else if (it.key() == QLatin1String("jsonrpc")) {
            if (it.value().toString() != QLatin1String("2.0"))
                return false;
            hasVersion = true;
        } else if (it.key() == QLatin1String("result")) {
            result = it.value();
            hasResult = true;
        } else if (it.key() == QLatin1String("error")) {
            if (!error.fromVariant(it.value()))
                return false;
            hasError = true;
        } else {
            return false;
        }
    }
    if (hasResult == hasError || !hasVersion || !id.valid)
        return false;

    quint32 number = 0;
    auto entry = pending.find(context);
    if (entry == pending.end() || !id.toNumber(&number))
        return false;
    JsonRPCCall *call = entry->take(number);
    if (!call)
        return false;
    places.remove(call);

    if (hasResult) {
        call->setResult(result);
    } else {
        error.code = qint16(quint16(quint16(error.code) + errorCodeOffset));
        call->setRpcError(error);
    }
    return true;
}

void JsonRPC::dropOutgoing(Request *context, const Error &error)
{
    const QHash<quint32, JsonRPCCall *> calls = d->pending.take(context);
    for (JsonRPCCall *call : calls)
        d->places.remove(call);
    d->abortCalls(calls.values(), error);
}

void JsonRPC::dropAllOutgoing(const Error &error)
{
    QList<JsonRPCCall *> calls;
    for (const auto &entry : std::as_const(d->pending))
        calls += entry.values();
    d->abortCalls(calls, error);
}

// Each abort runs the call's finished() handlers, which may destroy other calls or the engine itself.
void JsonRPC::Private::abortCalls(const QList<JsonRPCCall *> &calls, const Error &error)
{
    QList<QPointer<JsonRPCCall>> guarded;
    guarded.reserve(calls.size());
    for (JsonRPCCall *call : calls)
        guarded.append(call);
    for (const QPointer<JsonRPCCall> &call : std::as_const(guarded)) {
        if (call)
            call->abort(error);
    }
}

void JsonRPC::Private::parentRequestFinished()
{
    auto context = qobject_cast<Request *>(sender());
    if (!context || !pending.contains(context))
        return;
    q->dropOutgoing(context, context->error());
}

void JsonRPC::Private::callDestroyed(QObject *call)
{
    const auto place = places.find(call);
    if (place == places.end())
        return;
    const Place where = *place;
    places.erase(place);

    auto entry = pending.find(where.context);
    if (entry == pending.end())
        return;
    // A later call may have taken the same id after the ids wrapped around.
    // The call is half destroyed: compare addresses only.
    if (static_cast<const void *>(entry->value(where.id)) == static_cast<const void *>(call))
        entry->remove(where.id);
    if (where.context && entry->isEmpty())
        pending.erase(entry);
}

} // namespace Velmor
