#include "filelock.h"

#include "root.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace Velmor {
namespace Platform {

FileLock::FileLock(const QString &path, Kind kind, mode_t mode)
    : m_fd(openFile(path, O_RDONLY | O_CREAT, mode))
{
    if (m_fd >= 0)
        ::flock(m_fd, kind == Shared ? LOCK_SH : LOCK_EX);
}

FileLock::~FileLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void FileLock::makeExclusive()
{
    if (m_fd >= 0)
        ::flock(m_fd, LOCK_EX);
}

} // namespace Platform
} // namespace Velmor
