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

} // namespace

void clearAbandonedSettingsLocks(const QString &directory)
{
    QDirIterator it(directory, { QStringLiteral("*.lock") }, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QByteArray path = QFile::encodeName(it.next());
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat info;
        // The lock is taken the way a holder takes it, so a holder that locked it meanwhile keeps it.
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0 && ageMs(info) >= minimumAgeMs
            && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            struct stat current;
            // Still the same, still empty file under that name.
            if (::lstat(path.constData(), &current) == 0 && current.st_ino == info.st_ino
                && current.st_dev == info.st_dev && current.st_size == 0)
                ::unlink(path.constData());
        }
        ::close(fd);
    }
}

} // namespace Platform
} // namespace Velmor
