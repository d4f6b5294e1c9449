#ifndef VELMOR_DEFERREDSERIALIZER_H
#define VELMOR_DEFERREDSERIALIZER_H

#include "velmorwire/deferred.h"

#include <QObject>
#include <QVariant>

namespace Velmor {

class Request;

// Answers an IPC call with the result of an account request in its JSON form, or with the request's error. A child
// of the request, so it goes with it, right after the answer.
class DeferredSerializer : public QObject
{
    Q_OBJECT

public:
    explicit DeferredSerializer(Velmor::Request *request);
    ~DeferredSerializer() override;

    Velmor::Deferred deferred() const { return m_deferred; }

protected:
    // The finished request's result in its JSON form.
    virtual QVariant serializeResult() const = 0;

private Q_SLOTS:
    void serializeResultToDeferred();

private:
    Q_DISABLE_COPY(DeferredSerializer)

    Velmor::Deferred m_deferred;
};

} // namespace Velmor

#endif // VELMOR_DEFERREDSERIALIZER_H
