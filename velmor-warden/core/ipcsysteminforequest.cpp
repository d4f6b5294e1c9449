#include "ipcsysteminforequest.h"

#include "diagnostics/checkblackvelmor.h"
#include "diagnostics/checknouserproxy.h"
#include "diagnostics/dnschecks.h"
#include "diagnostics/systemreporttext.h"

#include "server.h"

namespace Velmor {

IPCSystemInfoRequest::IPCSystemInfoRequest(const Deferred &deferred, Server *server)
    : QObject(server)
    , server(server)
    , runningChecks(0)
    , delivered(false)
{
    // One report at a time, however many calls arrive: each report starts commands and threads of its own, and
    // the calls of one packet would otherwise start them all at once.
    if (auto *recent = server->findChild<IPCSystemInfoRecentReport *>(QString(), Qt::FindDirectChildrenOnly)) {
        Deferred(deferred).callback(recent->report);
        delivered = true;
        deleteLater();
        return;
    }
    const QList<IPCSystemInfoRequest *> others
        = server->findChildren<IPCSystemInfoRequest *>(Qt::FindDirectChildrenOnly);
    for (IPCSystemInfoRequest *other : others) {
        if (other != this && !other->delivered && !other->deferreds.isEmpty()) {
            other->deferreds.append(deferred);
            delivered = true;
            deleteLater();
            return;
        }
    }
    deferreds.append(deferred);
    connect(&commands, &ReportCommands::done, this, &IPCSystemInfoRequest::composeReport);
    commands.start();

    // The check asks the way the computer's own queries go: the local proxy by token, the resolver by IP.
    if (server->identificationType() == 1) {
        blackResult.dnsServer = server->localDnsProxyAddress(true);
        blackResult.dnsPort = server->localDnsProxyPort();
    } else {
        blackResult.dnsServer = server->upstreamProxyAddress();
        blackResult.dnsPort = server->upstreamProxyPort();
    }
    startCheck(new CheckBlackVelmor(&blackResult));
    startCheck(new CheckTransparentProxy(&transparentProxyResult));
    startCheck(new CheckDNSOnAllEnabledAdapters(&adaptersResult));
    startCheck(new CheckDNSOnGatway(&gatewayResult));
    startCheck(new CheckNoUserProxy(&userProxyResult));
}

IPCSystemInfoRequest::~IPCSystemInfoRequest()
{
    pool.waitForDone();
}

void IPCSystemInfoRequest::startCheck(base_test *check)
{
    ++runningChecks;
    // Queued to the main thread: the records are read there, and only after the last check said it is done.
    check->setFinishedHandler(
        [this] { QMetaObject::invokeMethod(this, &IPCSystemInfoRequest::checkFinished, Qt::QueuedConnection); });
    pool.start(check, 0);
}

void IPCSystemInfoRequest::checkFinished()
{
    --runningChecks;
    composeReport();
}

void IPCSystemInfoRequest::composeReport()
{
    if (delivered || runningChecks > 0 || !commands.isDone())
        return;
    delivered = true;
    ServiceReportInputs inputs;
    inputs.localDnsAddress = server->localDnsProxyAddress(true);
    inputs.localDnsPort = server->localDnsProxyPort();
    inputs.adapters = adaptersResult;
    inputs.gateway = gatewayResult;
    inputs.userProxy = userProxyResult;
    inputs.transparentProxy = transparentProxyResult;
    inputs.black = blackResult;
    inputs.identificationType = server->identificationType();
    inputs.profileToken = server->profileToken();
    inputs.account = reportAccount(server->cabinet());
    inputs.commandsOutput = commands.output();
    const QVariant report(composeServiceReport(inputs));
    new IPCSystemInfoRecentReport(report, server);
    for (Deferred &waiting : deferreds)
        waiting.callback(report);
    deleteLater();
}

IPCSystemInfoRecentReport::IPCSystemInfoRecentReport(const QVariant &report, Server *server)
    : QObject(server)
    , report(report)
{
    // Only the newest is kept.
    const QList<IPCSystemInfoRecentReport *> older
        = server->findChildren<IPCSystemInfoRecentReport *>(Qt::FindDirectChildrenOnly);
    for (IPCSystemInfoRecentReport *other : older) {
        if (other != this)
            delete other;
    }
    m_expiry.setSingleShot(true);
    connect(&m_expiry, &QTimer::timeout, this, &QObject::deleteLater);
    m_expiry.start(IPCSystemInfoRequest::reportSharedMs);
}

} // namespace Velmor
