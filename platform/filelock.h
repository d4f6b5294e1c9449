#ifndef VELMOR_PLATFORM_FILELOCK_H
#define VELMOR_PLATFORM_FILELOCK_H

#include <QString>

#include <functional>

#include <sys/types.h>

namespace Velmor {
namespace Platform {

// Opens the lock file at path (made with mode when missing) with flags. A file that someone else could have opened,
// one of another owner or with a wider mode than mode, is first replaced by a fresh one, so that a lock taken
// through that file holds nothing; unless mustStay, asked with a descriptor of the old file, says it has to stay.
// A descriptor, or -1 with errno set.
int openLockFile(const QString &path, int flags, mode_t mode, const std::function<bool(int fd)> &mustStay = {});

// Holds flock(2) on a lock file (see openLockFile) for the life of the object: between threads and processes
// alike. No wait is longer than timeoutMs: a lock that cannot be had by then, or a lock file that cannot be opened,
// holds nothing, and the caller decides whether the work goes on unguarded.
class FileLock
{
public:
    enum Kind { Shared, Exclusive };

    FileLock(const QString &path, Kind kind, mode_t mode, int timeoutMs);
    ~FileLock();
    Q_DISABLE_COPY(FileLock)

    bool isLocked() const { return m_locked; }

    // Trades a shared lock for the exclusive one, waiting at most timeoutMs; others may take it in between. False
    // when it is not held afterwards.
    bool makeExclusive(int timeoutMs);

private:
    bool lock(int operation, int timeoutMs);

    int m_fd;
    bool m_locked = false;
};

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_FILELOCK_H
