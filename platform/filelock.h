#ifndef VELMOR_PLATFORM_FILELOCK_H
#define VELMOR_PLATFORM_FILELOCK_H

#include <QString>

#include <sys/types.h>

namespace Velmor {
namespace Platform {

// Holds flock(2) on a lock file, made with mode when missing, for the life of the object: between threads and
// processes alike. A lock file that cannot be opened holds nothing, and the work goes on unguarded.
class FileLock
{
public:
    enum Kind { Shared, Exclusive };

    FileLock(const QString &path, Kind kind, mode_t mode);
    ~FileLock();
    Q_DISABLE_COPY(FileLock)

    // Trades a shared lock for the exclusive one; others may take it in between.
    void makeExclusive();

private:
    int m_fd;
};

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_FILELOCK_H
