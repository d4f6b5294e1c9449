#include "root.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Velmor {
namespace Platform {

namespace {

// The name of a writer's temporary file carries its process id, so a later start can tell a leftover of a killed
// writer from a file that is being written.
const QRegularExpression &temporaryName()
{
    static const QRegularExpression pattern(QStringLiteral("^\\.tmp-(\\d+)-[A-Za-z0-9]{6}$"));
    return pattern;
}

// Leftovers of earlier versions (registrations and registry keys), whose names tell no process.
const QRegularExpression &formerTemporaryName()
{
    static const QRegularExpression pattern(QStringLiteral("^\\.new-[A-Za-z0-9]{6}$|\\.key\\.[A-Za-z0-9]{6}$"));
    return pattern;
}

// QSettings' own temporary files: only their age tells a leftover.
const QRegularExpression &settingsTemporaryName()
{
    static const QRegularExpression pattern(QStringLiteral("\\.ini\\.[A-Za-z0-9]{6}$"));
    return pattern;
}

const qint64 SettingsTemporaryLifetimeSecs = 60;

bool isPrivateFolder(const QString &relative)
{
    const QString top = relative.section(QLatin1Char('/'), 0, 0);
    return top == QLatin1String("appdata") || top == QLatin1String("keys");
}

// An existing folder we may use: not a link, ours, or root's and closed to others.
bool adoptFolder(const QByteArray &path, mode_t mode)
{
    struct stat info = {};
    if (::lstat(path.constData(), &info) != 0)
        return false;
    if (!S_ISDIR(info.st_mode)) {
        errno = S_ISLNK(info.st_mode) ? ELOOP : ENOTDIR;
        return false;
    }
    if (info.st_uid == ::geteuid())
        return (info.st_mode & 07777) == mode || ::chmod(path.constData(), mode) == 0;
    if (info.st_uid == 0 && !(info.st_mode & (S_IWGRP | S_IWOTH)))
        return true;
    errno = EPERM;
    return false;
}

// Opens a new temporary file beside path, named after this process; its name goes to *name.
int openTemporary(const QString &path, mode_t mode, QByteArray *name)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray suffix(6, '\0');
        for (char &c : suffix)
            c = letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
        *name = folder + "/.tmp-" + QByteArray::number(::getpid()) + '-' + suffix;
        const int fd = ::open(name->constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            if (::fchmod(fd, mode) == 0)
                return fd;
            const int error = errno;
            ::close(fd);
            ::unlink(name->constData());
            errno = error;
            return -1;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

bool writeAll(int fd, const QByteArray &data)
{
    qsizetype written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + written, size_t(data.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}

// Writes a temporary file beside path and hands it to publish (rename or link), removing it whatever happens.
template<typename Publish>
bool writeThroughTemporary(const QString &path, const QByteArray &data, mode_t mode, Publish publish)
{
    QByteArray temporary;
    const int fd = openTemporary(path, mode, &temporary);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, data) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && publish(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        ok = false;
        error = errno;
    }
    ::unlink(temporary.constData()); // after a rename, nothing is left by that name
    errno = error;
    return ok;
}

bool isProcessGone(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

} // namespace

QString rootPath()
{
    QString root = qEnvironmentVariable("VELMOR_ROOT");
    if (root.isEmpty()) {
        if (::geteuid() == 0) {
            root = QStringLiteral("/var/lib/velmor");
        } else {
            QString state = qEnvironmentVariable("XDG_STATE_HOME");
            if (state.isEmpty())
                state = QDir::homePath() + QStringLiteral("/.local/state");
            root = state + QStringLiteral("/velmor");
        }
    }
    ensureDir(root, PublicFolderMode);
    return root;
}

QString rootPath(const QString &relative)
{
    const QString root = rootPath();
    const QString path = root + QLatin1Char('/') + relative;
    const QString folder = QFileInfo(path).absolutePath();
    if (folder != QFileInfo(root).absoluteFilePath())
        ensureDir(folder, isPrivateFolder(relative) ? PrivateFolderMode : PublicFolderMode);
    return path;
}

bool ensureDir(const QString &path, mode_t mode)
{
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QByteArray target = QFile::encodeName(absolute);
    struct stat info = {};
    if (::lstat(target.constData(), &info) == 0)
        return adoptFolder(target, mode);
    // Make the missing folders from the top down; each is chmod-ed, since mkdir takes the umask off its mode.
    const QStringList parts = absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString current;
    for (const QString &part : parts) {
        current += QLatin1Char('/') + part;
        const QByteArray folder = QFile::encodeName(current);
        if (::mkdir(folder.constData(), mode) == 0) {
            if (::chmod(folder.constData(), mode) != 0)
                return false;
        } else if (errno != EEXIST) {
            return false;
        }
    }
    return adoptFolder(target, mode);
}

QString folderProblem(const QString &path, mode_t mode)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info = {};
    if (::lstat(name.constData(), &info) != 0)
        return errno == ENOENT ? QString()
                               : QStringLiteral("the folder %1 cannot be seen (%2)").arg(path, qt_error_string(errno));
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("%1 is not a folder but %2")
            .arg(path, S_ISLNK(info.st_mode) ? QStringLiteral("a link") : QStringLiteral("a file"));
    if (info.st_uid != ::geteuid() && info.st_uid != 0)
        return QStringLiteral("the folder %1 belongs to another user (uid %2)").arg(path).arg(info.st_uid);
    if (mode != 0 && info.st_uid == ::geteuid() && (info.st_mode & 07777) != mode) {
        if (::chmod(name.constData(), mode) != 0)
            return QStringLiteral("the folder %1 cannot get mode %2 (%3)")
                .arg(path, QString::number(mode, 8), qt_error_string(errno));
        return QString();
    }
    // Another user could rename what it holds and put his own in its place; a sticky folder lets him only add.
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) && !(info.st_mode & S_ISVTX))
        return QStringLiteral("the folder %1 can be written by other users (mode %2)")
            .arg(path, QString::number(info.st_mode & 07777, 8));
    return QString();
}

int openFile(const QString &path, int flags, mode_t mode)
{
    // Without O_NONBLOCK, opening a FIFO waits for its other end, as long as whoever put it there likes.
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, mode);
    if (fd < 0)
        return -1;
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        errno = ENXIO;
        return -1;
    }
    if (info.st_uid == ::geteuid() && (info.st_mode & 07777) != mode)
        ::fchmod(fd, mode);
    return fd;
}

bool writeFileAtomically(const QString &path, const QByteArray &data, mode_t mode)
{
    // rename() replaces a link at path itself, not the file it points to.
    return writeThroughTemporary(path, data, mode, ::rename);
}

bool createFileAtomically(const QString &path, const QByteArray &data, mode_t mode)
{
    // link() fails on any existing target, so of two processes making the same file only one succeeds.
    return writeThroughTemporary(path, data, mode, ::link);
}

void removeStaleTemporaryFiles()
{
    const QDateTime settingsCutOff = QDateTime::currentDateTimeUtc().addSecs(-SettingsTemporaryLifetimeSecs);
    QDirIterator it(rootPath(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isSymLink())
            continue;
        const QString name = info.fileName();
        const QRegularExpressionMatch temporary = temporaryName().match(name);
        const bool stale = temporary.hasMatch() ? isProcessGone(temporary.captured(1).toLongLong())
                                                : formerTemporaryName().match(name).hasMatch()
                || (settingsTemporaryName().match(name).hasMatch() && info.lastModified() < settingsCutOff);
        if (stale)
            QFile::remove(path);
    }
}

} // namespace Platform
} // namespace Velmor
