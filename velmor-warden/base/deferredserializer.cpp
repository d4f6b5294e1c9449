#include "deferredserializer.h"

#include "velmorwire/error.h"
#include "velmorwire/request.h"

namespace Velmor {

DeferredSerializer::DeferredSerializer(Request *request)
    : QObject(request)
{
    connect(request, &Request::finished, this, &DeferredSerializer::serializeResultToDeferred);
}

DeferredSerializer::~DeferredSerializer() = default;

void DeferredSerializer::serializeResultToDeferred()
{
    const auto *request = qobject_cast<const Request *>(sender());
    if (!request)
        return;
    if (!request->error().isSuccess())
        m_deferred.errback(request->error());
    else
        m_deferred.callback(serializeResult());
}

} // namespace Velmor
