#ifndef VELMOR_PLATFORM_FIELDTEXT_H
#define VELMOR_PLATFORM_FIELDTEXT_H

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace Velmor {
namespace Platform {

// The machine's text files hold one record per line, its fields separated by tabs. Inside a field backslash,
// tab, carriage return and line feed are written as \\, \t, \r and \n, so any text survives a round trip.
QString escapeField(const QString &text);
QString unescapeField(const QString &text);

// One line, line feed included.
QByteArray formatRecord(const QStringList &fields);

// Every line of a file as its unescaped fields; empty lines are skipped.
QList<QStringList> parseRecords(const QByteArray &data);

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_FIELDTEXT_H
