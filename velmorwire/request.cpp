#include "request.h"

#include "deferred.h"

namespace Velmor {

// Fires a Deferred when its request finishes; a child of the request, so it lives as long as the request.
class DererredRequestError : public QObject
{
    Q_OBJECT

public:
    explicit DererredRequestError(Request *request);

    Request *m_request;
    Deferred m_deferred;

private Q_SLOTS:
    void requestFinished();
};

DererredRequestError::DererredRequestError(Request *request)
    : QObject(request)
    , m_request(request)
{
    connect(request, &Request::finished, this, &DererredRequestError::requestFinished);
}

void DererredRequestError::requestFinished()
{
    const Error &error = m_request->error();
    if (error.isSuccess())
        m_deferred.callback(QVariant());
    else
        m_deferred.errback(error);
}

Request::Request(QObject *parent)
    : QObject(parent)
    , m_autoDelete(true)
    , m_finished(0)
    , m_timeout(0)
{ }

Request::~Request() = default;

Deferred Request::deferred()
{
    auto *adapter = new DererredRequestError(this);
    return adapter->m_deferred;
}

void Request::requestFinished(const Error &error)
{
    m_error = Error(error.code(), error.message());
    Q_EMIT finished();
}

} // namespace Velmor

#include "request.moc"
