#include "eventlog.h"

#include "fieldtext.h"
#include "root.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace Velmor {
namespace Platform {
namespace EventLog {

namespace {

QString logPath()
{
    return rootPath(QStringLiteral("eventlog/Application.log"));
}

} // namespace

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
    // The system takes the text as a zero-terminated string. Kept whole, a zero would reach the query tool's
    // output, whose readers stop there and lose every later entry.
    const QString line = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) + QLatin1Char('\t')
        + escapeField(source) + QLatin1Char('\t') + QString::number(int(type)) + QLatin1Char('\t') + QString::number(id)
        + QLatin1Char('\t') + escapeField(text.left(text.indexOf(QChar(0)))) + QLatin1Char('\n');
    const QByteArray bytes = line.toUtf8();
    const int fd = ::open(QFile::encodeName(logPath()).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    // O_APPEND makes each write land whole at the end of the file.
    const ssize_t written = ::write(fd, bytes.constData(), size_t(bytes.size()));
    ::close(fd);
    return written == bytes.size();
}

QList<Entry> entries()
{
    QList<Entry> result;
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly))
        return result;
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
