#include "agent.h"
#include "commandline.h"
#include "mainwindow/mainwidget.h"
#include "qtsingleapplication.h"
#include "unlocker.h"

#include "platform/trustedroots.h"

#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    // Settings, registry values and sockets are the user's alone, whatever the caller's umask.
    ::umask(077);
    // Read before the application object exists: "--help" and a mistyped option need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine options = CommandLine::parse(arguments);
    if (options.help) {
        std::fputs(qPrintable(CommandLine::usage()), stdout);
        return 0;
    }
    if (!options.unknown.isEmpty()) {
        std::fprintf(stderr, "velmor-console: unknown option %s\n%s", qPrintable(options.unknown.constFirst()),
            qPrintable(CommandLine::usage()));
        return 2;
    }
    // Started from a terminal, warnings go to it, whatever log the Qt build would use otherwise.
    if (::isatty(STDERR_FILENO))
        qputenv("QT_FORCE_STDERR_LOGGING", "1");
    QtSingleApplication app(instanceId(), argc, argv);

    if (app.isRunning()) {
        if (options.close) {
            app.sendMessage(InstanceMessage::close, 5000);
            return 0;
        }
        if (options.unlock) {
            Unlocker unlocker(options.reason);
            return app.exec();
        }
        app.sendMessage(InstanceMessage::show, 5000);
        return 0;
    }
    if (options.close)
        return 0;
    // The updater verifies the vendor site against the machine's trusted roots, as the service does.
    Velmor::Platform::installTrustedRoots();

    int code = 0;
    {
        Agent agent;
        app.setActivationWindow(agent.mainWidget());
        app.setIgnoredMessages({ InstanceMessage::close });
        if (options.unlock)
            agent.requestUnlock(false, options.reason);
        code = app.exec();
    }
    // Calls that the link's close ended on the way out asked to be deleted later, and the event loop is over.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return code;
}
