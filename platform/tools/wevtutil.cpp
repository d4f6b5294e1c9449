// The event-log query tool of the simulated machine. It understands the one command the programs run,
//   wevtutil qe Application "/q:<query>" /uni:true /f:text
// and prints the matching entries of <root>/eventlog/Application.log as the Windows tool prints them.
// Anything it does not understand is refused with an error exit, never answered with a guess.

#include "eventquery.h"

#include "platform/eventlog.h"

#include <QCoreApplication>
#include <QStringEncoder>
#include <QSysInfo>

#include <cstdio>

using namespace Velmor::Platform;

namespace {

// ERROR_INVALID_PARAMETER for every refusal: Windows' own codes for a bad query or channel do not fit an exit status.
constexpr int InvalidParameter = 87;

struct Options
{
    QString query = QStringLiteral("*");
    bool unicode = false;
};

int refuse(const QString &message)
{
    std::fprintf(stderr, "%s\n", qPrintable(message));
    return InvalidParameter;
}

QString levelName(EventLog::Type type)
{
    switch (type) {
    case EventLog::Error:
        return QStringLiteral("Error");
    case EventLog::Warning:
        return QStringLiteral("Warning");
    case EventLog::Success:
    case EventLog::Information:
        break;
    }
    return QStringLiteral("Information");
}

QString formatted(int index, const EventLog::Entry &entry, const QString &computer)
{
    QString description = entry.text;
    description.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    description.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    const QStringList lines = {
        QStringLiteral("Event[%1]:").arg(index),
        QStringLiteral("  Log Name: Application"),
        QStringLiteral("  Source: ") + entry.source,
        QStringLiteral("  Date: ") + entry.time.toLocalTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")),
        QStringLiteral("  Event ID: %1").arg(entry.id),
        QStringLiteral("  Task: N/A"),
        QStringLiteral("  Level: ") + levelName(entry.type),
        QStringLiteral("  Opcode: N/A"),
        QStringLiteral("  Keyword: Classic"),
        QStringLiteral("  User: N/A"),
        QStringLiteral("  User Name: N/A"),
        QStringLiteral("  Computer: ") + computer,
        QStringLiteral("  Description: "),
        description,
        QString(),
    };
    return lines.join(QLatin1String("\r\n")) + QLatin1String("\r\n");
}

bool parseBoolean(const QString &value, bool *result)
{
    if (value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        *result = true;
    else if (value.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        *result = false;
    else
        return false;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() < 2 || arguments.at(0).compare(QLatin1String("qe"), Qt::CaseInsensitive) != 0)
        return refuse(QStringLiteral("Usage: wevtutil qe Application [/q:<query>] [/uni:true|false] [/f:text]"));
    if (arguments.at(1).compare(QLatin1String("Application"), Qt::CaseInsensitive) != 0)
        return refuse(QStringLiteral("Failed to read events. The specified channel could not be found."));

    Options options;
    for (const QString &argument : arguments.mid(2)) {
        const qsizetype colon = argument.indexOf(QLatin1Char(':'));
        if (!argument.startsWith(QLatin1Char('/')) || colon < 0)
            return refuse(QStringLiteral("Invalid option %1.").arg(argument));
        const QString name = argument.mid(1, colon - 1).toLower();
        const QString value = argument.mid(colon + 1);
        if (name == QLatin1String("q")) {
            options.query = value;
        } else if (name == QLatin1String("uni")) {
            if (!parseBoolean(value, &options.unicode))
                return refuse(QStringLiteral("Invalid value %1 for option uni.").arg(value));
        } else if (name == QLatin1String("f")) {
            if (value.compare(QLatin1String("text"), Qt::CaseInsensitive) != 0)
                return refuse(QStringLiteral("This machine prints events only as text."));
        } else {
            return refuse(QStringLiteral("Invalid option %1.").arg(argument));
        }
    }

    EventQuery query;
    if (!query.parse(options.query))
        return refuse(QStringLiteral("Failed to read events. The specified query is invalid."));

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString computer = QSysInfo::machineHostName();
    QString output;
    int index = 0;
    for (const EventLog::Entry &entry : EventLog::entries()) {
        if (query.matches(entry, now))
            output += formatted(index++, entry, computer);
    }

    QByteArray bytes;
    if (options.unicode) {
        QStringEncoder encoder(QStringConverter::Utf16LE);
        bytes = encoder(output);
    } else {
        bytes = output.toUtf8();
    }
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
