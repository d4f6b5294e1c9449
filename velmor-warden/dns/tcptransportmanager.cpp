#include "tcptransportmanager.h"

#include "dnsclock.h"
#include "tcptransport.h"

namespace Velmor {
namespace DNS {

TcpTransportManager::TcpTransportManager(int seconds, QObject *parent)
    : QObject(parent)
    , m_seconds(seconds)
{
    m_timer.setInterval(seconds * 1000);
    connect(&m_timer, &QTimer::timeout, this, &TcpTransportManager::killInactiveTransport);
}

void TcpTransportManager::acquire(TcpTransport *transport)
{
    auto found = m_useCounts.find(transport);
    if (found == m_useCounts.end()) {
        connect(transport, &QObject::destroyed, this, &TcpTransportManager::transportDestroyed);
        found = m_useCounts.insert(transport, 0);
    }
    ++found.value();
    if (!m_timer.isActive())
        m_timer.start();
}

void TcpTransportManager::release(TcpTransport *transport)
{
    auto found = m_useCounts.find(transport);
    if (found != m_useCounts.end() && found.value() > 0)
        --found.value();
}

int TcpTransportManager::useCount(TcpTransport *transport) const
{
    return m_useCounts.value(transport, -1);
}

void TcpTransportManager::transportDestroyed(QObject *transport)
{
    m_useCounts.remove(transport);
    if (m_useCounts.isEmpty())
        m_timer.stop();
}

void TcpTransportManager::killInactiveTransport()
{
    const qint64 limit = qint64(m_seconds) * 1000;
    const qint64 time = now();
    QList<TcpTransport *> idle;
    for (auto it = m_useCounts.cbegin(); it != m_useCounts.cend(); ++it) {
        auto *transport = static_cast<TcpTransport *>(it.key());
        if (it.value() == 0 && time - transport->lastRead() > limit)
            idle.append(transport);
    }
    for (TcpTransport *transport : std::as_const(idle)) {
        disconnect(transport, nullptr, this, nullptr);
        m_useCounts.remove(transport);
        delete transport;
    }
    if (m_useCounts.isEmpty())
        m_timer.stop();
}

} // namespace DNS
} // namespace Velmor
