#ifndef VELMOR_JSONRPCCALL_H
#define VELMOR_JSONRPCCALL_H

#include "velmorwire_global.h"

#include "jsonrpcerror.h"
#include "request.h"

#include <QVariantList>

namespace Velmor {

// One outgoing JSON-RPC call (id not 0) or notification (id 0). It finishes when its response arrives, when
// the link drops it, or at its deadline.
class VELMORWIRE_EXPORT JsonRPCCall : public Velmor::Request
{
    Q_OBJECT

public:
    JsonRPCCall(unsigned int id, const char *method, const QVariantList &params);
    ~JsonRPCCall() override;

    QString stringify() const;
    // A notification sent alike on many links is written once (see JsonRPC::notificationText).
    void setText(const QString &text) { m_text = text; }

    void setResult(const QVariant &result);
    void setRpcError(const Velmor::JsonRPCError &error);
    // Finishes with exactly the given error; the error object keeps its low 16 bits.
    void abort(const Velmor::Error &error);

    void setParentRequest(Velmor::Request *request) { m_parentRequest = request; }
    Velmor::Request *parentRequest() const { return m_parentRequest; }

    bool isNotification() const { return m_id == 0; }
    unsigned int id() const { return m_id; }

    const Velmor::JsonRPCError &rpcError() const { return m_rpcError; }
    const QVariant &result() const { return m_result; }
    // Forgets the result, for an owner whose receivers have read it: a large answer need not wait for the call's
    // deletion.
    void releaseResult() { m_result.clear(); }
    // What the call was made with, as sent: a reply handler reads its own parameters back.
    const QString &method() const { return m_method; }
    const QVariantList &params() const { return m_params; }

private:
    Q_DISABLE_COPY(JsonRPCCall)

    quint32 m_id;
    QString m_method;
    QVariantList m_params;
    QString m_text;
    Velmor::JsonRPCError m_rpcError;
    QVariant m_result;
    Velmor::Request *m_parentRequest;
};

} // namespace Velmor

#endif // VELMOR_JSONRPCCALL_H
