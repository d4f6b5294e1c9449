#ifndef VELMOR_SYSTEMINFOREQUEST_H
#define VELMOR_SYSTEMINFOREQUEST_H

#include "velmorwire/deferred.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>

namespace Velmor {

// The answer of "systemInfo": the service's part of the system report, gathered on a worker thread (the event-log
// query blocks for up to 30 seconds) and answered on the main thread. Goes as soon as it has answered.
class SystemInfoRequest : public QObject
{
    Q_OBJECT

public:
    explicit SystemInfoRequest(QObject *parent);
    ~SystemInfoRequest() override;

    Velmor::Deferred deferred() const { return m_deferred; }

private Q_SLOTS:
    void reportReady();

private:
    Q_DISABLE_COPY(SystemInfoRequest)

    QFutureWatcher<QString> m_watcher;
    Velmor::Deferred m_deferred;
};

} // namespace Velmor

#endif // VELMOR_SYSTEMINFOREQUEST_H
