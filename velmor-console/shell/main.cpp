#include "agent.h"
#include "commandline.h"
#include "mainwindow/mainwidget.h"
#include "qtsingleapplication.h"
#include "unlocker.h"

#include "platform/trustedroots.h"

#include <sys/stat.h>

int main(int argc, char **argv)
{
    // Settings, registry values and sockets are the user's alone, whatever the caller's umask.
    ::umask(077);
    QtSingleApplication app(instanceId(), argc, argv);
    const CommandLine options = CommandLine::parse(app.arguments());

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
    return code;
}
