#ifndef VELMOR_TESTS_APPLICATIONLOG_H
#define VELMOR_TESTS_APPLICATIONLOG_H

#include "platform/root.h"

#include <QDateTime>
#include <QFile>
#include <QString>

// Appends an entry with a time of the test's choice to the Application event log of the current root, in the
// log's own line format. The texts must hold no tab, line break or backslash, which the log would escape.
inline bool appendLogEntry(const QDateTime &time, const QString &source, int type, int id, const QString &text)
{
    QFile log(Velmor::Platform::rootPath(QStringLiteral("eventlog/Application.log")));
    if (!log.open(QIODevice::Append))
        return false;
    const QString line
        = QStringLiteral("%1\t%2\t%3\t%4\t%5\n")
              .arg(time.toUTC().toString(Qt::ISODateWithMs), source, QString::number(type), QString::number(id), text);
    return log.write(line.toUtf8()) > 0;
}

#endif // VELMOR_TESTS_APPLICATIONLOG_H
