#include "commandline.h"

#include "platform/usersid.h"

#include <algorithm>
#include <iterator>

namespace {

// Qt's own options, which the application object takes from the command line: with a value, and without.
const char *const qtOptionsWithValue[]
    = { "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry", "-qwindowicon",
          "-qwindowtitle", "-session", "-display", "-geometry", "-style", "-stylesheet", "-name", "-title" };
const char *const qtFlags[] = { "-reverse", "-widgetcount", "-nograb", "-dograb", "-sync" };

bool isOneOf(const QString &argument, const char *const *begin, const char *const *end)
{
    return std::any_of(begin, end, [&argument](const char *option) { return argument == QLatin1String(option); });
}

} // namespace

CommandLine CommandLine::parse(const QStringList &arguments)
{
    CommandLine options;
    const QStringList given = arguments.mid(1);
    bool reasonTaken = false;
    for (qsizetype i = 0; i < given.size(); ++i) {
        const QString &argument = given.at(i);
        if (argument == QLatin1String("-c")) {
            options.close = true;
        } else if (argument == QLatin1String("-h")) {
            options.hidden = true;
        } else if (argument == QLatin1String("-a")) {
            options.activate = true;
        } else if (argument == QLatin1String("--help")) {
            options.help = true;
        } else if (argument == QLatin1String("-p")) {
            options.unlock = true;
            // The reason is the argument right after the first "-p", unless it is an option.
            if (i + 1 < given.size() && !given.at(i + 1).startsWith(QLatin1Char('-'))) {
                if (!reasonTaken)
                    options.reason = given.at(i + 1);
                ++i;
            }
            reasonTaken = true;
        } else if (isOneOf(argument.section(QLatin1Char('='), 0, 0), std::begin(qtOptionsWithValue),
                       std::end(qtOptionsWithValue))) {
            if (!argument.contains(QLatin1Char('=')))
                ++i;
        } else if (!isOneOf(argument, std::begin(qtFlags), std::end(qtFlags))
            && !argument.startsWith(QLatin1String("-qmljsdebugger="))) {
            options.unknown.append(argument);
        }
    }
    return options;
}

QString CommandLine::usage()
{
    return QStringLiteral("Usage: velmor-console [-h] [-a] [-p [reason]] [-c] [--help]\n"
                          "  -h            start hidden: only the tray icon, no window\n"
                          "  -a            activate and raise the window shown at start\n"
                          "  -p [reason]   ask the running copy to unlock the settings (exit code 100 granted,\n"
                          "                101 cancelled); reason \"uninstall\" asks for the uninstall password\n"
                          "  -c            close the running copy\n"
                          "  --help        print these options and exit\n"
                          "Qt's own options (-platform, -style, -display, ...) are taken as well.\n");
}

QString instanceId()
{
    return QStringLiteral("velmor-agent%1") + Velmor::Platform::currentUserSid();
}

namespace InstanceMessage {

QString unlock(const QString &reason)
{
    return QStringLiteral("unlock ") + reason;
}

bool isUnlock(const QString &message)
{
    return message.startsWith(QLatin1String("unlock"));
}

QString unlockReason(const QString &message)
{
    return message.mid(message.lastIndexOf(QLatin1Char(' ')) + 1);
}

} // namespace InstanceMessage
