#ifndef VELMOR_DEFERRED_P_H
#define VELMOR_DEFERRED_P_H

#include "deferred.h"
#include "error.h"

#include <QObject>
#include <QSharedData>
#include <QVariant>

namespace Velmor {

class Request;

class DeferredPrivate : public QObject, public QSharedData
{
    Q_OBJECT

public:
    DeferredPrivate();

    bool m_fired = false;
    bool m_failed = false;
    QVariant m_result;
    Velmor::Error m_error;

Q_SIGNALS:
    void callback(QVariant);
    void errback(Error);
};

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

} // namespace Velmor

#endif // VELMOR_DEFERRED_P_H
