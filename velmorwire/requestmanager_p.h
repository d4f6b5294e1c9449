#ifndef VELMOR_REQUESTMANAGER_P_H
#define VELMOR_REQUESTMANAGER_P_H

#include "request.h"
#include "requestmanager.h"

#include <QHash>
#include <QTimer>

#include <map>

namespace Velmor {

class VELMORWIRE_EXPORT RequestManagerPrivate : public QObject
{
    Q_OBJECT

public:
    using Clock = qint64 (*)();

    explicit RequestManagerPrivate(RequestManager *manager);
    static RequestManagerPrivate *get(RequestManager *manager) { return manager->d; }

    // Finishes every request whose deadline lies before now, then arms the timer for the earliest one left.
    void checkTimeouts();
    // Removes a registered request from both tables; returns false when it was not registered.
    bool forget(Request *request);
    // forget(), then re-arms the timer when the earliest deadline has gone; stops it when nothing is left.
    void unregister(Request *request);

    RequestManager *q;
    QTimer m_timer;
    QHash<Request *, quint64> m_deadlines;
    // Among equal deadlines the request registered last comes first.
    std::multimap<quint64, Request *> m_queue;
    // The time source of every deadline; replaceable so deadlines can be driven without waiting.
    Clock clock = &monotonicTime;

private:
    friend class RequestManager;

private Q_SLOTS:
    void request_finished();
    void request_destroyed();
    void timer_timeout();
};

} // namespace Velmor

#endif // VELMOR_REQUESTMANAGER_P_H
