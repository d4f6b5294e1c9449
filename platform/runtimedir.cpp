#include "runtimedir.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace Velmor {
namespace Platform {

namespace {

bool isPrivateFolder(const QByteArray &path, bool requirePrivate)
{
    struct stat info;
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return false;
    // The session manager's folder may be group-readable by design; it must never be writable by others.
    const mode_t forbidden = requirePrivate ? mode_t(S_IRWXG | S_IRWXO) : mode_t(S_IWGRP | S_IWOTH);
    return (info.st_mode & forbidden) == 0;
}

} // namespace

QString userRuntimeDir()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return isPrivateFolder(QFile::encodeName(runtime), false) ? runtime : QString();

    const QString fallback = QStringLiteral("/tmp/velmor-") + QString::number(::geteuid());
    const QByteArray path = QFile::encodeName(fallback);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return QString();
    return isPrivateFolder(path, true) ? fallback : QString();
}

} // namespace Platform
} // namespace Velmor
