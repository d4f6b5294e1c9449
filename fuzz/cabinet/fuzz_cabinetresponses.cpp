// Hands a reply body to a POST that carries one call of every request class of the account protocol; every
// request must finish exactly once, whatever the body says, and reading a malformed result must stay safe.
#include "fuzzsupport.h"

#include "cabinet/legacycabinetrequests.h"

#include "velmorwire/jsonrpc.h"
#include "velmorwire/jsonrpccall.h"

#include <QCoreApplication>
#include <QHostInfo>
#include <QPointer>

#include <cstdlib>
#include <vector>

using namespace Velmor;

namespace {

class Carrier : public Request
{
public:
    Carrier() { m_autoDelete = false; }
};

class Receiver : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    void takeHostInfo(const QHostInfo &info) { addresses += info.addresses().size(); }

public:
    int addresses = 0;
};

struct Pending
{
    const char *method;
    QVariantList params;
    CabinetRequest *request;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    qRegisterMetaType<QHostInfo>("QHostInfo");
    Fuzz::silenceMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), int(size));
    Receiver receiver;
    std::vector<Pending> pending {
        { "systemInfo", {}, new LegacyCabinetSystemInfoRequest },
        { "userInfo", {}, new LegacyCabinetUserInfoRequest },
        { "profiles", {}, new LegacyCabinetProfilesRequest },
        { "register", { "ann", "pw" }, new LegacyCabinetRegisterRequest },
        { "testAuth", { "ann", "pw" }, new LegacyCabinetTestAuthRequest },
        { "myip", {}, new LegacyCabinetMyIpRequest(&receiver, SLOT(takeHostInfo(QHostInfo))) },
        { "categories", {}, new LegacyCabinetCatagoriesRequest },
        { "userFilter", { 101u }, new LegacyCabinetUserFilterRequest(101) },
        { "domains", { 101u, "alias" }, new LegacyCabinetDomainsRequest(101, CabinetDomain::Alias) },
        { "addDomain", { 101u, "black", "a.example" }, new LegacyCabinetAddDomainRequest(101, CabinetDomain::Black) },
        { "addProfile", { "Kids" }, new LegacyCabinetAddProfileRequest },
        { "schedule", { 101u }, new LegacyCabinetScheduleRequest(101) },
        { "profileScheduleActivity", { 101u }, new LegacyCabinetProfileActivityRequest(101) },
        { "updateNic", { 101u, "VelmorAgent" }, new LegacyCabinetUpdateNicRequest },
    };

    JsonRPC engine;
    engine.setErrorCodeOffset(1000);
    std::vector<int> finished(pending.size(), 0);
    QList<QPointer<JsonRPCCall>> calls;
    for (size_t i = 0; i < pending.size(); ++i) {
        JsonRPCCall *call = engine.call(pending[i].method, pending[i].params);
        pending[i].request->setParent(call);
        QObject::connect(call, SIGNAL(finished()), pending[i].request, SLOT(callFinished()));
        QObject::connect(pending[i].request, &Request::finished, [&finished, i] { ++finished[i]; });
        calls.append(call);
    }

    Carrier carrier;
    engine.serializeOutgoingRequest(&carrier);
    engine.incomingContextedResponse(body, &carrier);
    for (const int count : finished) {
        if (count != 1)
            std::abort();
    }
    for (const QPointer<JsonRPCCall> &call : std::as_const(calls))
        delete call.data();
    return 0;
}

#include "fuzz_cabinetresponses.moc"
