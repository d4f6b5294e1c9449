#include "settingslocks.h"

#include <QDirIterator>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace Velmor {
namespace Platform {

namespace {

// Between creating its lock file and locking it, a live holder spends microseconds.
const qint64 minimumAgeMs = 100;

qint64 ageMs(const struct stat &info)
{
    timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    return (qint64(now.tv_sec) - qint64(info.st_mtim.tv_sec)) * 1000
        + (qint64(now.tv_nsec) - qint64(info.st_mtim.tv_nsec)) / 1000000;
}

// Removes the file when it is empty and no one holds its lock: seen the first time, only once it is old enough
// (else youngFor tells for how long it is too young); seen again, when it is still the file first seen.
bool removeIfAbandoned(const QByteArray &path, const struct stat *first, struct stat *seen, qint64 *youngFor)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    bool removed = false;
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0
        && (!first || (info.st_ino == first->st_ino && info.st_dev == first->st_dev))) {
        const qint64 age = ageMs(info);
        if (!first && age < minimumAgeMs) {
            // Only a file no one holds is worth waiting for.
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && seen && youngFor) {
                *seen = info;
                *youngFor = minimumAgeMs - qMax<qint64>(age, 0);
            }
        } else if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // The lock is taken the way a holder takes it, so a holder that locked it meanwhile keeps it.
            struct stat current;
            // Still the same, still empty file under that name.
            if (::lstat(path.constData(), &current) == 0 && current.st_ino == info.st_ino
                && current.st_dev == info.st_dev && current.st_size == 0)
                removed = ::unlink(path.constData()) == 0;
        }
    }
    ::close(fd);
    return removed;
}

} // namespace

void clearAbandonedSettingsLocks(const QString &directory)
{
    QDirIterator it(directory, { QStringLiteral("*.lock") }, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QByteArray path = QFile::encodeName(it.next());
        struct stat seen;
        qint64 youngFor = 0;
        if (removeIfAbandoned(path, nullptr, &seen, &youngFor) || youngFor <= 0)
            continue;
        // Left by a process killed a moment ago, or made by a live one that locks it in a few microseconds: once it
        // is old enough, the same file still empty and unlocked was left. Either way a start never waits for it.
        const timespec pause { 0, long(qMin(youngFor, minimumAgeMs)) * 1000000L };
        ::nanosleep(&pause, nullptr);
        removeIfAbandoned(path, &seen, nullptr, nullptr);
    }
}

} // namespace Platform
} // namespace Velmor
