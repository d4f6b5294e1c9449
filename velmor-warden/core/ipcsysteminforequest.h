#ifndef VELMOR_DIAGNOSTICS_IPCSYSTEMINFOREQUEST_H
#define VELMOR_DIAGNOSTICS_IPCSYSTEMINFOREQUEST_H

#include "diagnostics/blackanswer.h"
#include "diagnostics/checktransparentproxy.h"
#include "diagnostics/reportcommands.h"

#include "velmorwire/deferred.h"
#include "velmorwire/testresult.h"

#include <QObject>
#include <QThreadPool>
#include <QTimer>

class base_test;

namespace Velmor {

class Server;

// The answer to the desktop's "systemInfo" calls: it starts the report's commands and its five checks at once,
// waits for all of them while the main thread goes on serving (the identification check queries the service's own
// DNS proxy), composes the service's half of the report, fires each of its Deferreds with it exactly once and
// deletes itself. A request made while another one runs adds its Deferred to that one's and goes; one made within
// reportSharedMs of a finished report gets that report at once. The server is its parent; what the report says of
// the service and the account is read from it when the report is composed.
class IPCSystemInfoRequest : public QObject
{
    Q_OBJECT

public:
    // A peer asking in a loop, on as many connections as it may hold, gets the same report again rather than
    // starting the commands and checks for each call: a report costs the machine a good deal of work.
    static constexpr int reportSharedMs = 5000;

    IPCSystemInfoRequest(const Velmor::Deferred &deferred, Velmor::Server *server);
    // Waits for checks still running: they write into this object.
    ~IPCSystemInfoRequest() override;

private Q_SLOTS:
    void checkFinished();
    void composeReport();

private:
    Q_DISABLE_COPY(IPCSystemInfoRequest)

    void startCheck(base_test *check);

    QList<Velmor::Deferred> deferreds;
    Velmor::Server *server;
    ReportCommands commands;
    TestResult adaptersResult;
    TestResult gatewayResult;
    TestResult userProxyResult;
    TransparentProxyResult transparentProxyResult;
    BlackTestResult blackResult;
    int runningChecks;
    bool delivered;
    // Last, so that it is destroyed first and waits for its checks while their records still exist.
    QThreadPool pool;
};

// The report last composed, a child of the server until reportSharedMs after it was composed.
class IPCSystemInfoRecentReport : public QObject
{
    Q_OBJECT

public:
    IPCSystemInfoRecentReport(const QVariant &report, Velmor::Server *server);

    const QVariant report;

private:
    QTimer m_expiry;
};

} // namespace Velmor

#endif // VELMOR_DIAGNOSTICS_IPCSYSTEMINFOREQUEST_H
