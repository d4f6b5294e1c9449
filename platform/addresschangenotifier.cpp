#include "iphelper.h"

#include "machinenetwork.h"
#include "root.h"
#include "winerror.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <errno.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Velmor {
namespace Platform {
namespace IpHelper {

namespace {

// What distinguishes one content of machine.json from the next: a rename brings another inode, a write in place
// another modification time.
struct FileStamp
{
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified {};
    timespec changed {};

    bool operator==(const FileStamp &other) const
    {
        return device == other.device && inode == other.inode && size == other.size
            && modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec
            && changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

FileStamp stampOf(const QByteArray &path)
{
    FileStamp stamp;
    struct stat status;
    if (::stat(path.constData(), &status) == 0) {
        stamp.device = status.st_dev;
        stamp.inode = status.st_ino;
        stamp.size = status.st_size;
        stamp.modified = status.st_mtim;
        stamp.changed = status.st_ctim;
    }
    return stamp;
}

struct Request
{
    Overlapped *overlapped;
    // The file as the request found it: an inotify event that arrives late, for a change made before the request,
    // finds the file unchanged against it and does not fire the request.
    FileStamp stamp;
};

// One thread watches the machine's root with inotify and sets the event of every open request when machine.json
// is renamed onto or closed after writing.
class AddressChangeNotifier
{
public:
    ~AddressChangeNotifier()
    {
        std::unique_lock<std::mutex> guard(m_lock);
        if (m_thread.joinable()) {
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = ::write(m_wake, &one, sizeof one);
            guard.unlock();
            m_thread.join();
            guard.lock();
        }
        if (m_inotify >= 0)
            ::close(m_inotify);
        if (m_wake >= 0)
            ::close(m_wake);
    }

    quint32 add(Overlapped *overlapped)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const quint32 status = watchRoot();
        if (status != ErrorSuccess)
            return status;
        const auto open = std::find_if(m_requests.cbegin(), m_requests.cend(),
            [overlapped](const Request &request) { return request.overlapped == overlapped; });
        if (open == m_requests.cend())
            m_requests.push_back(Request { overlapped, stampOf(m_file) });
        return ErrorIoPending;
    }

    bool cancel(Overlapped *overlapped)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto open = std::find_if(m_requests.begin(), m_requests.end(),
            [overlapped](const Request &request) { return request.overlapped == overlapped; });
        if (open == m_requests.end())
            return false;
        m_requests.erase(open);
        return true;
    }

private:
    // Called under the lock; follows the root when it changed since the last request.
    quint32 watchRoot()
    {
        if (m_inotify < 0) {
            m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
            m_wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
            if (m_inotify < 0 || m_wake < 0)
                return ErrorNotEnoughMemory;
        }
        const QString root = rootPath();
        if (root != m_root || m_watch < 0) {
            const int watch = ::inotify_add_watch(
                m_inotify, QFile::encodeName(root).constData(), IN_MOVED_TO | IN_CLOSE_WRITE | IN_ONLYDIR);
            if (watch < 0)
                return ErrorNotEnoughMemory;
            if (m_watch >= 0 && m_watch != watch)
                ::inotify_rm_watch(m_inotify, m_watch);
            m_watch = watch;
            m_root = root;
            m_file = QFile::encodeName(machineNetworkPath());
        }
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread([this] { run(); });
            } catch (const std::system_error &) {
                return ErrorNotEnoughMemory;
            }
        }
        return ErrorSuccess;
    }

    void run()
    {
        pollfd fds[2] = { { m_inotify, POLLIN, 0 }, { m_wake, POLLIN, 0 } };
        alignas(inotify_event) char buffer[16 * 1024];
        for (;;) {
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (fds[1].revents)
                return;
            bool changed = false;
            for (;;) {
                const ssize_t got = ::read(m_inotify, buffer, sizeof buffer);
                if (got <= 0)
                    break;
                changed = changed || concernsMachineFile(buffer, got);
            }
            if (changed)
                fire();
        }
    }

    bool concernsMachineFile(const char *buffer, ssize_t length)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (ssize_t offset = 0; offset < length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + offset);
            offset += ssize_t(sizeof(inotify_event) + event->len);
            // A lost queue may have held a change; the file's stamp tells.
            if (event->mask & IN_Q_OVERFLOW)
                return true;
            if (event->wd == m_watch && event->len > 0 && ::strcmp(event->name, "machine.json") == 0)
                return true;
        }
        return false;
    }

    void fire()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const FileStamp now = stampOf(m_file);
        auto keep = m_requests.begin();
        for (const Request &request : m_requests) {
            if (request.stamp == now)
                *keep++ = request;
            else
                setEvent(request.overlapped->event);
        }
        m_requests.erase(keep, m_requests.end());
    }

    // Guards everything below; the thread only reads the descriptors, which live as long as it does.
    std::mutex m_lock;
    int m_inotify = -1;
    int m_wake = -1;
    int m_watch = -1;
    QString m_root;
    QByteArray m_file;
    std::vector<Request> m_requests;
    std::thread m_thread;
};

AddressChangeNotifier &notifier()
{
    static AddressChangeNotifier instance;
    return instance;
}

quint32 finish(quint32 status)
{
    setLastError(WinError(status));
    return status;
}

} // namespace

quint32 notifyAddrChange(Handle *handle, Overlapped *overlapped)
{
    if (!overlapped || !handle)
        return finish(overlapped ? ErrorInvalidParameter : ErrorNotSupported);
    MachineNetwork machine;
    // Seeds a missing file first, so the seeding is not taken for a change; a file that does not parse yet may
    // still be replaced by one that does, which is a change worth reporting.
    if (loadMachineNetwork(&machine) == ErrorSuccess && machine.failures.contains(QStringLiteral("NotifyAddrChange")))
        return finish(machine.failures.value(QStringLiteral("NotifyAddrChange")));
    *handle = overlapped->event;
    return finish(notifier().add(overlapped));
}

bool cancelIPChangeNotify(Overlapped *overlapped)
{
    const bool cancelled = overlapped && notifier().cancel(overlapped);
    setLastError(cancelled ? ErrorSuccess : ErrorInvalidParameter);
    return cancelled;
}

} // namespace IpHelper
} // namespace Platform
} // namespace Velmor
