#ifndef VELMOR_DEFERRED_P_H
#define VELMOR_DEFERRED_P_H

#include "deferred.h"
#include "error.h"

#include <QObject>
#include <QSharedData>
#include <QVariant>

namespace Velmor {

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

} // namespace Velmor

#endif // VELMOR_DEFERRED_P_H
