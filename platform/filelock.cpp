#include "filelock.h"

#include "root.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Velmor {
namespace Platform {

int openLockFile(const QString &path, int flags, mode_t mode, const std::function<bool(int fd)> &mustStay)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0
        && (info.st_uid != ::geteuid() || (info.st_mode & 07777 & ~mode) != 0)) {
        bool keep = false;
        if (mustStay) {
            const int old = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
            keep = old >= 0 && mustStay(old);
            if (old >= 0)
                ::close(old);
        }
        if (!keep && !writeFileAtomically(path, QByteArray(), mode))
            return -1;
    }
    return openFile(path, flags | O_CREAT, mode);
}

FileLock::FileLock(const QString &path, Kind kind, mode_t mode, int timeoutMs)
    : m_fd(openLockFile(path, O_RDONLY, mode))
{
    lock(kind == Shared ? LOCK_SH : LOCK_EX, timeoutMs);
}

FileLock::~FileLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FileLock::makeExclusive(int timeoutMs)
{
    return lock(LOCK_EX, timeoutMs);
}

bool FileLock::lock(int operation, int timeoutMs)
{
    if (m_fd < 0)
        return false;
    // Polled rather than waited for in the kernel: a holder that never lets go must not hold the caller too.
    const QDeadlineTimer deadline(timeoutMs);
    int pause = 1;
    forever {
        if (::flock(m_fd, operation | LOCK_NB) == 0)
            return m_locked = true;
        if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired())
            break;
        QThread::msleep(ulong(qMin<qint64>(pause, qMax<qint64>(deadline.remainingTime(), 1))));
        pause = qMin(pause * 2, 16);
    }
    // A failed conversion may have given up the shared lock: what is held is unknown, so nothing is relied on.
    if (operation == LOCK_EX)
        ::flock(m_fd, LOCK_UN);
    return m_locked = false;
}

} // namespace Platform
} // namespace Velmor
