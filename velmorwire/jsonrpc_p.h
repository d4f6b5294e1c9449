#ifndef VELMOR_JSONRPC_P_H
#define VELMOR_JSONRPC_P_H

#include "jsonrpc.h"
#include "peertext.h"

#include "jsonrpcerror.h"

#include <QHash>
#include <QList>
#include <QMetaMethod>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QVariant>

namespace Velmor {

class JsonRPCCall;
class JsonRPCCallResponse;

// The decoded text of a request or response: cut at its first NUL byte.
QString jsonRpcText(const QByteArray &data);

// The id member of a request or a response: any JSON scalar but a bool is valid. A response finds the call
// whose number it names as an integer, an integral double or the number's decimal text.
struct CallId
{
    bool valid = false;
    QVariant value;

    static CallId fromVariant(const QVariant &value);
    bool toNumber(quint32 *number) const;
};

// The answers of one request text while some of them still wait for their Deferred.
class DeferredResponse : public QObject
{
    Q_OBJECT

public:
    DeferredResponse(bool batch, const QList<JsonRPCCallResponse *> &responses, QObject *parent);
    ~DeferredResponse() override;

    void waitFor(JsonRPCCallResponse *answer);

    bool batch;
    QList<JsonRPCCallResponse *> responses;
    int outstanding;

Q_SIGNALS:
    void ready();

private Q_SLOTS:
    void responseReady();
};

class VELMORWIRE_EXPORT JsonRPC::Private : public QObject
{
    Q_OBJECT

public:
    explicit Private(JsonRPC *q);
    ~Private() override;

    struct Place
    {
        Request *context;
        quint32 id;
    };

    QString takeOutgoingText(Request *context);
    bool readResponses(QByteArray data, Request *context);
    bool readResponseItem(const QVariant &item, Request *context);
    void abortCalls(const QList<JsonRPCCall *> &calls, const Error &error);

    qint16 readRequestText(const QByteArray &data, QVariant *value) const;
    JsonRPCCallResponse *answerItem(const QVariant &item, bool batch);
    bool invoke(const QMetaMethod &method, const QVariantList &params, QVariant *returned);
    void sendOrHold(const QList<JsonRPCCallResponse *> &answers, bool batch);
    void emitAnswers(const QList<JsonRPCCallResponse *> &responses, bool batch);

    JsonRPC *q;
    bool grouping;
    quint16 errorCodeOffset;
    qsizetype valueBudget;
    // What the peer's requests may make the log take.
    PeerLogBudget requestLogBudget;
    quint32 lastId;
    QList<JsonRPCCall *> outgoing;
    QHash<Request *, QHash<quint32, JsonRPCCall *>> pending;
    // Where each written call waits, so that a destroyed call leaves the table without being read.
    QHash<const QObject *, Place> places;
    QTimer groupingTimer;

    QPointer<QObject> handler;
    QHash<QByteArray, QMetaMethod> methods;

private Q_SLOTS:
    void parentRequestFinished();
    void callDestroyed(QObject *call);
    void deferredResponseReady();
};

} // namespace Velmor

#endif // VELMOR_JSONRPC_P_H
