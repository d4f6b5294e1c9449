#ifndef VELMOR_NETWORKCONFIGURATIONWATCHER_H
#define VELMOR_NETWORKCONFIGURATIONWATCHER_H

#include "platform/iphelper.h"

#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace Velmor {

// Tells its listeners that the IPv4 address table changed. While armed it keeps one address-change request open;
// the event waiter's worker thread runs the listeners when it fires and then opens the next request. One object per
// process, never destroyed.
class NetworkConfigurationWatcher
{
public:
    static NetworkConfigurationWatcher *instance();

    // Listeners run on the event waiter's worker thread, under the watcher's lock: they must only hand the news
    // over (for example queue a call) and must not call back into the watcher. Returns an id for removeListener.
    int addListener(const std::function<void()> &listener);
    // Once it returns, the listener is not running and is not called again.
    void removeListener(int id);

    // Opens a request unless one is open.
    void arm();
    // Withdraws the open request; no listener is called for a change until the next arm().
    void cancel();

private:
    NetworkConfigurationWatcher();
    ~NetworkConfigurationWatcher() = delete;
    NetworkConfigurationWatcher(const NetworkConfigurationWatcher &) = delete;
    NetworkConfigurationWatcher &operator=(const NetworkConfigurationWatcher &) = delete;

    void addressChanged();
    void openRequest();

    // Guards everything below. wanted says arm() was called since the last cancel(), so the worker's re-arm after
    // a change cannot open a request that a cancel() meanwhile withdrew.
    std::mutex m_lock;
    Platform::IpHelper::Overlapped m_overlapped;
    Platform::Handle m_event = Platform::InvalidHandle;
    Platform::Handle m_handle = Platform::InvalidHandle;
    bool m_armed = false;
    bool m_wanted = false;
    std::vector<std::pair<int, std::function<void()>>> m_listeners;
    int m_nextListener = 1;
};

} // namespace Velmor

#endif // VELMOR_NETWORKCONFIGURATIONWATCHER_H
