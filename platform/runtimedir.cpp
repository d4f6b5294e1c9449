#include "runtimedir.h"

#include <QDir>
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

// The folder, made with mode 0700 when missing; empty unless it is a private folder of this user.
QString privateFolderAt(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return QString();
    return isPrivateFolder(path, true) ? folder : QString();
}

} // namespace

QString userRuntimeDir()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return isPrivateFolder(QFile::encodeName(runtime), false) ? runtime : QString();

    const QString shared
        = privateFolderAt(QDir::tempPath() + QStringLiteral("/velmor-") + QString::number(::geteuid()));
    if (!shared.isEmpty())
        return shared;
    // Another user took the name in the shared folder: the user's own state folder cannot be taken so.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!state.startsWith(QLatin1Char('/')))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    if (!QDir().mkpath(state))
        return QString();
    return privateFolderAt(state + QStringLiteral("/velmor-runtime"));
}

} // namespace Platform
} // namespace Velmor
