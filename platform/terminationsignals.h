#ifndef VELMOR_PLATFORM_TERMINATIONSIGNALS_H
#define VELMOR_PLATFORM_TERMINATIONSIGNALS_H

#include <QObject>

class QSocketNotifier;

namespace Velmor {
namespace Platform {

// Turns SIGTERM and SIGINT into a signal on the thread that owns this object, so that a service running in
// the foreground stops as it would on the service manager's stop control. One instance per process; the
// default dispositions come back when it is destroyed.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

Q_SIGNALS:
    void received(int signalNumber);

private:
    void notifier_activated();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_TERMINATIONSIGNALS_H
