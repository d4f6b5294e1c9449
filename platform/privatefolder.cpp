#include "privatefolder.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Velmor {
namespace Platform {

namespace {

// One level below an open folder, made when missing; the descriptor of the parent stays open.
int openLevel(int parent, const QByteArray &name)
{
    if (name.isEmpty() || name == "." || name == ".." || name.contains('/')) {
        errno = EINVAL;
        return -1;
    }
    if (::mkdirat(parent, name.constData(), 0700) != 0 && errno != EEXIST)
        return -1;
    const int fd = ::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat info
    {
    };
    int failure = 0;
    if (::fstat(fd, &info) != 0)
        failure = errno;
    else if (info.st_uid != ::geteuid())
        failure = EACCES;
    else if ((info.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0)
        failure = errno;
    if (failure != 0) {
        ::close(fd);
        errno = failure;
        return -1;
    }
    return fd;
}

} // namespace

int openPrivateFolder(const QString &base, const QStringList &levels)
{
    int fd = ::open(QFile::encodeName(base).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (const QString &level : levels) {
        if (fd < 0)
            return -1;
        const int next = openLevel(fd, QFile::encodeName(level));
        const int saved = errno;
        ::close(fd);
        errno = saved;
        fd = next;
    }
    return fd;
}

QString privateFolderPath(const QString &base, const QStringList &levels)
{
    const int fd = openPrivateFolder(base, levels);
    if (fd < 0)
        return QString();
    ::close(fd);
    return levels.isEmpty() ? base : base + QLatin1Char('/') + levels.join(QLatin1Char('/'));
}

} // namespace Platform
} // namespace Velmor
