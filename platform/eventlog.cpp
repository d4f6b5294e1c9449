#include "eventlog.h"
#include "eventlog_p.h"

#include "fieldtext.h"
#include "filelock.h"
#include "root.h"

#include <QFile>

#include <atomic>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Velmor {
namespace Platform {
namespace EventLog {

namespace {

std::atomic<qint64> limit { DefaultSizeLimit };

// Long enough for another thread's trimming of a full log, short enough not to be felt by the DNS proxy.
const int LockTimeoutMs = 500;

QString logPath()
{
    return rootPath(QStringLiteral("eventlog/Application.log"));
}

qint64 sizeOf(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? qint64(info.st_size) : -1;
}

// Drops the oldest whole entries until the log is down to three quarters of the limit, so that trimming, which
// rewrites the file, happens once per quarter of the limit written, not at every entry.
void trim(const QString &path, qint64 sizeLimit)
{
    const int fd = openFile(path, O_RDONLY, PublicFileMode);
    if (fd < 0)
        return;
    QFile file;
    QByteArray content;
    if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        content = file.readAll();
    else
        ::close(fd);
    if (content.size() <= sizeLimit)
        return;
    const qsizetype keep = sizeLimit / 4 * 3;
    const qsizetype lineStart = content.indexOf('\n', content.size() - keep - 1) + 1;
    writeFileAtomically(path, lineStart > 0 ? content.mid(lineStart) : QByteArray(), PublicFileMode);
}

} // namespace

void setSizeLimit(qint64 bytes)
{
    limit = bytes > 0 ? bytes : DefaultSizeLimit;
}

qint64 sizeLimit()
{
    return limit;
}

QString typeName(Type type)
{
    switch (type) {
    case Success:
        return QStringLiteral("Success");
    case Error:
        return QStringLiteral("Error");
    case Warning:
        return QStringLiteral("Warning");
    case Information:
        return QStringLiteral("Information");
    }
    return QString();
}

bool report(const QString &source, Type type, int id, const QString &text)
{
    return report(source, type, id, text, QDateTime::currentDateTimeUtc());
}

bool report(const QString &source, Type type, int id, const QString &text, const QDateTime &time)
{
    // The system takes the text as a zero-terminated string. Kept whole, a zero would reach the query tool's
    // output, whose readers stop there and lose every later entry.
    const QString line = time.toUTC().toString(Qt::ISODateWithMs) + QLatin1Char('\t') + escapeField(source)
        + QLatin1Char('\t') + QString::number(int(type)) + QLatin1Char('\t') + QString::number(id) + QLatin1Char('\t')
        + escapeField(text.left(text.indexOf(QChar(0)))) + QLatin1Char('\n');
    const QByteArray bytes = line.toUtf8();
    const QString path = logPath();
    // Appenders share the lock, the trimmer takes it alone: an entry written to the file that the trimmer is about
    // to replace would be lost. Writing the log must never stall its caller for long, so an entry that cannot have
    // the lock soon is appended without it.
    FileLock lock(rootPath(QStringLiteral("eventlog/.lock")), FileLock::Shared, PrivateFileMode, LockTimeoutMs);
    // O_APPEND makes each write land whole at the end of the file; a link put in the log's place is not followed.
    const int fd = openFile(path, O_WRONLY | O_APPEND | O_CREAT, PublicFileMode);
    if (fd < 0)
        return false;
    const ssize_t written = ::write(fd, bytes.constData(), size_t(bytes.size()));
    struct stat info = {};
    const qint64 size = ::fstat(fd, &info) == 0 ? qint64(info.st_size) : 0;
    ::close(fd);
    const qint64 sizeLimit = limit;
    // Without the lock alone, trimming waits for a later entry.
    if (size > sizeLimit && lock.makeExclusive(LockTimeoutMs) && sizeOf(path) > sizeLimit)
        trim(path, sizeLimit);
    return written == bytes.size();
}

QList<Entry> entries()
{
    QList<Entry> result;
    const int fd = openFile(logPath(), O_RDONLY, PublicFileMode);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        return result;
    }
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QStringList fields = QString::fromUtf8(line).split(QLatin1Char('\t'));
        if (fields.size() != 5)
            continue;
        Entry entry;
        entry.time = QDateTime::fromString(fields.at(0), Qt::ISODateWithMs);
        bool typeOk = false;
        bool idOk = false;
        const int type = fields.at(2).toInt(&typeOk);
        entry.id = fields.at(3).toInt(&idOk);
        if (!entry.time.isValid() || !typeOk || !idOk
            || (type != Success && type != Error && type != Warning && type != Information))
            continue;
        entry.type = Type(type);
        entry.source = unescapeField(fields.at(1));
        entry.text = unescapeField(fields.at(4));
        result.append(entry);
    }
    return result;
}

} // namespace EventLog
} // namespace Platform
} // namespace Velmor
