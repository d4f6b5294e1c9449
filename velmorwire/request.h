#ifndef VELMOR_REQUEST_H
#define VELMOR_REQUEST_H

#include "velmorwire_global.h"

#include "error.h"

#include <QObject>

namespace Velmor {

class Deferred;
class RequestManagerPrivate;

// An asynchronous operation: it finishes once with an error (code 0 for success) and emits finished().
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

Q_SIGNALS:
    void finished();

protected:
    bool m_autoDelete;
    int m_finished;
    quint16 m_timeout;
    Velmor::Error m_error;

    friend class RequestManagerPrivate;
};

// Milliseconds on a clock that system time changes do not move.
VELMORWIRE_EXPORT qint64 monotonicTime();

// The process-wide registry of requests with deadlines; a request whose deadline passes finishes with code 2.
class VELMORWIRE_EXPORT RequestManager : public QObject
{
    Q_OBJECT

public:
    static RequestManager *instance();

    explicit RequestManager(QObject *parent = nullptr);
    ~RequestManager() override;

    // Gives the request a deadline of its own timeout, or defaultTimeout seconds when it has none.
    void insert(Velmor::Request *request, quint16 defaultTimeout);
    // Deletes the request at once; it is forgotten without finishing.
    void drop(Velmor::Request *request);
    // The registered requests, earliest deadline first.
    QList<Velmor::Request *> requests() const;

private:
    static RequestManager *_instance;
    RequestManagerPrivate *d;
    friend class RequestManagerPrivate;
};

} // namespace Velmor

#endif // VELMOR_REQUEST_H
