#ifndef VELMOR_DIAGNOSTICS_SYSTEMREPORTTEXT_H
#define VELMOR_DIAGNOSTICS_SYSTEMREPORTTEXT_H

#include "blackanswer.h"
#include "checktransparentproxy.h"

#include "velmorwire/cabinetprofile.h"

#include <QHostAddress>
#include <QList>

namespace Velmor {
class Cabinet;
}

// What the account client shows of the account at the moment the report is composed.
struct ReportAccount
{
    bool connected = false;
    quint32 currentProfileId = 0;
    quint32 selectedProfileId = 0;
    // By id: the client's table has no order of its own.
    // Every profile by id; only the selected one keeps its token.
    QList<Velmor::CabinetProfile> profiles;
};

ReportAccount reportAccount(const Velmor::Cabinet *cabinet);

// Everything the service's half of the system report is made of.
struct ServiceReportInputs
{
    QHostAddress localDnsAddress;
    quint16 localDnsPort = 53;
    TestResult adapters;
    TestResult gateway;
    TestResult userProxy;
    TransparentProxyResult transparentProxy;
    BlackTestResult black;
    // 1 by token, otherwise by IP.
    int identificationType = 0;
    quint32 profileToken = 0;
    ReportAccount account;
    QString commandsOutput;
};

// The local proxy's address, the five check logs, the identification block, the profiles and the commands'
// output. Every line with several values fills them in one pass, so a "%1" inside a value stays as it is.
QString composeServiceReport(const ServiceReportInputs &inputs);

// What the filtering resolver saw set against the service's own state.
QString identificationBlock(const ServiceReportInputs &inputs);

#endif // VELMOR_DIAGNOSTICS_SYSTEMREPORTTEXT_H
