#ifndef VELMOR_REQUEST_H
#define VELMOR_REQUEST_H

#include "velmorwire_global.h"

#include "error.h"

#include <QObject>

namespace Velmor {

class Deferred;
class RequestManagerPrivate;

// An asynchronous operation: it finishes once with an error (Error::Success when it succeeded) and emits finished().
class VELMORWIRE_EXPORT Request : public QObject
{
    Q_OBJECT

public:
    explicit Request(QObject *parent = nullptr);
    ~Request() override;

    // A Deferred that fires when this request finishes.
    virtual Velmor::Deferred deferred();
    // Stores the outcome and emits finished().
    virtual void requestFinished(const Velmor::Error &error);

    const Velmor::Error &error() const { return m_error; }
    quint16 timeout() const { return m_timeout; }
    // Seconds until the deadline, counted from when the request is registered; 0 takes the registrar's default.
    void setTimeout(quint16 seconds) { m_timeout = seconds; }

Q_SIGNALS:
    void finished();

protected:
    bool m_autoDelete;
    int m_finished;
    quint16 m_timeout;
    Velmor::Error m_error;

    friend class RequestManagerPrivate;
    friend class RequestManager;
};

} // namespace Velmor

#endif // VELMOR_REQUEST_H
