#ifndef VELMOR_DNS_TCPTRANSPORTMANAGER_H
#define VELMOR_DNS_TCPTRANSPORTMANAGER_H

#include <QHash>
#include <QObject>
#include <QTimer>

namespace Velmor {
namespace DNS {

class TcpTransport;

// Counts the users of TCP connections and closes those that nobody uses and that stayed idle for the limit;
// such a connection goes between one and two limits after its last activity.
class TcpTransportManager : public QObject
{
    Q_OBJECT

public:
    explicit TcpTransportManager(int seconds, QObject *parent = nullptr);

    void acquire(Velmor::DNS::TcpTransport *transport);
    void release(Velmor::DNS::TcpTransport *transport);
    int useCount(Velmor::DNS::TcpTransport *transport) const;
    int transportCount() const { return int(m_useCounts.size()); }

public Q_SLOTS:
    void killInactiveTransport();

private Q_SLOTS:
    void transportDestroyed(QObject *transport);

private:
    int m_seconds;
    QHash<QObject *, int> m_useCounts;
    QTimer m_timer;
};

} // namespace DNS
} // namespace Velmor

#endif // VELMOR_DNS_TCPTRANSPORTMANAGER_H
