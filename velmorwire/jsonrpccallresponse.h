#ifndef VELMOR_JSONRPCCALLRESPONSE_H
#define VELMOR_JSONRPCCALLRESPONSE_H

#include "velmorwire_global.h"

#include "deferred.h"
#include "error.h"
#include "jsonrpcerror.h"

#include <QObject>
#include <QVariant>

namespace Velmor {

class Request;

// One answer to an incoming request: a result, an error object, or a result that waits for a Deferred.
class VELMORWIRE_EXPORT JsonRPCCallResponse : public QObject
{
    Q_OBJECT

public:
    explicit JsonRPCCallResponse(const QVariant &result);
    explicit JsonRPCCallResponse(const Velmor::JsonRPCError &error);
    // Complete at once when the Deferred has already fired.
    explicit JsonRPCCallResponse(const Velmor::Deferred &deferred);
    // Waits for the request; a failed request becomes the error object, a successful one a null result.
    explicit JsonRPCCallResponse(const Velmor::Request *request);
    ~JsonRPCCallResponse() override;

    bool isDeferred() const { return waiting; }
    QString stringify() const;

    void setId(const QVariant &value) { id = value; }
    // Lowers the error object's code by the link's offset, in 16-bit arithmetic.
    void lowerErrorCode(quint16 offset);

Q_SIGNALS:
    void ready();

private Q_SLOTS:
    void resultReady(const QVariant &result);
    void errorReady(const Error &error);
    void requestFinished();

private:
    Q_DISABLE_COPY(JsonRPCCallResponse)

    bool failed;
    bool waiting;
    QVariant result;
    Velmor::JsonRPCError error;
    Velmor::Deferred deferred;
    QVariant id;
};

} // namespace Velmor

#endif // VELMOR_JSONRPCCALLRESPONSE_H
