#include "networkconfigurationwatcher.h"

#include "base/eventwaiter.h"
#include "platform/winerror.h"

#include <algorithm>

namespace Velmor {

NetworkConfigurationWatcher *NetworkConfigurationWatcher::instance()
{
    static NetworkConfigurationWatcher *watcher = new NetworkConfigurationWatcher;
    return watcher;
}

NetworkConfigurationWatcher::NetworkConfigurationWatcher()
    : m_event(Platform::createEvent(false, false))
{
    // Without an event no request is ever opened, and no change is reported.
    if (m_event == Platform::InvalidHandle)
        return;
    m_overlapped.event = m_event;
    EventWaiter::instance()->addEvent(m_event, [this] { addressChanged(); });
}

int NetworkConfigurationWatcher::addListener(const std::function<void()> &listener)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_listeners.emplace_back(m_nextListener, listener);
    return m_nextListener++;
}

void NetworkConfigurationWatcher::removeListener(int id)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_listeners.erase(std::remove_if(m_listeners.begin(), m_listeners.end(),
                          [id](const std::pair<int, std::function<void()>> &entry) { return entry.first == id; }),
        m_listeners.end());
}

void NetworkConfigurationWatcher::arm()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_wanted = true;
    openRequest();
}

void NetworkConfigurationWatcher::cancel()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_wanted = false;
    if (!m_armed)
        return;
    Platform::IpHelper::cancelIPChangeNotify(&m_overlapped);
    m_armed = false;
}

void NetworkConfigurationWatcher::openRequest()
{
    if (m_armed || m_event == Platform::InvalidHandle)
        return;
    const quint32 status = Platform::IpHelper::notifyAddrChange(&m_handle, &m_overlapped);
    // A refused request stays unreported: no change is heard of until the next arm().
    m_armed = status == Platform::ErrorSuccess || Platform::lastError() == Platform::ErrorIoPending;
}

void NetworkConfigurationWatcher::addressChanged()
{
    std::lock_guard<std::mutex> guard(m_lock);
    // The request was withdrawn after it fired: the change came before the cancel and is not reported.
    if (!m_armed)
        return;
    m_armed = false;
    for (const auto &entry : m_listeners)
        entry.second();
    if (m_wanted)
        openRequest();
}

} // namespace Velmor
