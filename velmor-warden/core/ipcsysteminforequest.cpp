#include "ipcsysteminforequest.h"

#include "diagnostics/checkblackvelmor.h"
#include "diagnostics/checknouserproxy.h"
#include "diagnostics/dnschecks.h"
#include "diagnostics/systemreporttext.h"

#include "server.h"

namespace Velmor {

IPCSystemInfoRequest::IPCSystemInfoRequest(const Deferred &deferred, Server *server)
    : QObject(server)
    , deferred(deferred)
    , server(server)
    , runningChecks(0)
    , delivered(false)
{
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
    deferred.callback(QVariant(composeServiceReport(inputs)));
    deleteLater();
}

} // namespace Velmor
