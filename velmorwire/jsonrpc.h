#ifndef VELMOR_JSONRPC_H
#define VELMOR_JSONRPC_H

#include "velmorwire_global.h"

#include <QObject>
#include <QVariantList>

namespace Velmor {

class Error;
class JsonRPCCall;
class Request;

// The JSON-RPC 2.0 peer of one link. It never touches a transport: the link hands it every text it receives
// and fetches the texts to send when outgoingRequestReady() or outgoingResponseReady() tells it to.
class VELMORWIRE_EXPORT JsonRPC : public QObject
{
    Q_OBJECT

public:
    class Private;

    // A request text that is a batch of more items than this is answered with one -32600, none of it invoked.
    static constexpr int maximumBatchItems = 1000;
    // The longest answer text, in characters, the engine composes for one request text. A batch of small calls can
    // ask for answers of megabytes each: past this, answerTooLong() is emitted in place of the answer.
    static constexpr qsizetype maximumAnswerLength = 16 * 1024 * 1024;

    explicit JsonRPC(QObject *parent = nullptr);
    ~JsonRPC() override;

    // The call is queued; connect to its finished() after this returns.
    Velmor::JsonRPCCall *call(const char *method, const QVariantList &params = QVariantList());
    void notify(const char *method, const QVariantList &params = QVariantList());
    // A notification's text, made once to be queued on many links with notifyText.
    static QString notificationText(const char *method, const QVariantList &params);
    void notifyText(const char *method, const QString &text);

    void useGrouping(bool grouping);
    void setErrorCodeOffset(quint16 offset);
    // The most values one received text may hold (Json::parse); a text over it is unreadable.
    void setValueBudget(qsizetype values);

    bool hasPendingOutgoingRequest() const;
    // The next text to send; its calls wait for their responses under context (null: no context, and each
    // call gets the request manager's default deadline).
    QString serializeOutgoingRequest(Velmor::Request *context);

    bool incomingResponse(const QByteArray &data);
    // Every call of the context that the text does not answer fails with Error::InvalidResponse. Handed over (moved),
    // the bytes are freed before the text is parsed.
    bool incomingContextedResponse(QByteArray data, Velmor::Request *context);
    void dropOutgoing(Velmor::Request *context, const Velmor::Error &error);
    // Fails every written call still waiting; queued messages stay queued.
    void dropAllOutgoing(const Velmor::Error &error);

    // The handler's own methods answer incoming requests by name and parameter count.
    void setRequestHandler(QObject *handler);
    void incomingRequest(const QByteArray &data);

Q_SIGNALS:
    void outgoingRequestReady();
    void outgoingResponseReady(const QString &response);
    // The answers to one request text would be longer than maximumAnswerLength; none of them is sent.
    void answerTooLong();

private:
    Q_DISABLE_COPY(JsonRPC)
    Private *d;
    friend class Private;
};

} // namespace Velmor

#endif // VELMOR_JSONRPC_H
