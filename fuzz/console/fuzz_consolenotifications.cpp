// The service's notifications with their sixteen names and any parameters, into a live notification
// handler, account model and controller (with their main window and tray): nothing may crash, leak or
// read a value of another type than a slot declares. The first input byte chooses the name, the rest is the
// parameter text.
#include "app/agent.h"
#include "app/systemtrayicon.h"
#include "mainwindow/mainwidget.h"
#include "model/requesthandler.h"

#include "velmorwire/jsonrpc.h"
#include "velmorwire/methodnames.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>

#include <memory>

namespace {

using namespace Velmor;

// In this order: the first byte of the inputs in fuzz/corpus picks the name by its index.
const char *const names[] = { ServicePush::setSettings, ServicePush::setSystemInfo, ServicePush::setCategories,
    ServicePush::setIdentification, ServicePush::setIdentificationError, ServicePush::setCredentials,
    ServicePush::setUserInfo, ServicePush::setProfiles, ServicePush::setSelectedProfile,
    ServicePush::setProfileScheduleActivity, ServicePush::setNetworks, ServicePush::setSettingsLocked,
    ServicePush::setGlobalFiltering, ServicePush::setNetworkProtection, ServicePush::setUserFilter,
    ServicePush::setDomains };

struct Desktop
{
    QTemporaryDir root;
    std::unique_ptr<QApplication> app;
    std::unique_ptr<Agent> agent;
    std::unique_ptr<Velmor::JsonRPC> engine;
};

Desktop *desktop()
{
    static Desktop *instance = [] {
        auto d = new Desktop;
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("VELMOR_ROOT", QFile::encodeName(d->root.path()));
        // No service: the link stays unconnected, and this is not a first start, so nothing is sent.
        qputenv("VELMOR_IPC_PORT", "1");
        QDir().mkpath(d->root.path() + QLatin1String("/settings/Velmor"));
        QFile settings(d->root.path() + QLatin1String("/settings/Velmor/Agent.ini"));
        if (settings.open(QIODevice::WriteOnly))
            settings.write("[General]\nfirststart=false\n");
        settings.close();
        static int argc = 1;
        static char name[] = "fuzz_consolenotifications";
        static char *argv[] = { name, nullptr };
        d->app = std::make_unique<QApplication>(argc, argv);
        d->agent = std::make_unique<Agent>();
        d->engine = std::make_unique<Velmor::JsonRPC>();
        d->engine->setRequestHandler(d->agent->requestHandler());
        // Fonts are loaded once for the life of the process; that happens here, not inside a unit, where
        // it would read as a leak.
        d->agent->mainWidget()->grab();
        d->agent->trayIcon()->contextMenu()->grab();
        QCoreApplication::sendPostedEvents();
        return d;
    }();
    return instance;
}

} // namespace

// What fontconfig and D-Bus keep for the life of the process (as scripts/lsan.supp says for the tests).
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig\nleak:libdbus\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Desktop *d = desktop();
    if (size < 1)
        return 0;
    const char *name = names[data[0] % (sizeof(names) / sizeof(names[0]))];
    const QByteArray params(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const QByteArray text = QByteArray("{\"jsonrpc\":\"2.0\",\"method\":\"") + name + "\",\"params\":" + params + "}";
    d->engine->incomingRequest(text);
    // Deferred deletions and queued updates run as they would between two packets.
    QCoreApplication::sendPostedEvents();
    return 0;
}
