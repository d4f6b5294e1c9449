#ifndef VELMOR_REQUESTMANAGER_H
#define VELMOR_REQUESTMANAGER_H

#include "velmorwire_global.h"

#include <QList>
#include <QObject>

namespace Velmor {

class Request;
class RequestManagerPrivate;

// Milliseconds on a clock that system time changes do not move.
VELMORWIRE_EXPORT qint64 monotonicTime();

// The process-wide registry of requests with deadlines; a request whose deadline passes finishes with
// Error::Timeout.
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

#endif // VELMOR_REQUESTMANAGER_H
