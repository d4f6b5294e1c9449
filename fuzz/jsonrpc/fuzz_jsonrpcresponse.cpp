// Hands response texts to an engine with calls waiting, with and without a context request; every call must
// finish at most as the text says and the engine must stay consistent while calls finish.
#include "fuzzsupport.h"

#include "velmorwire/error.h"
#include "velmorwire/jsonrpc.h"
#include "velmorwire/jsonrpccall.h"
#include "velmorwire/request.h"

#include <QCoreApplication>
#include <QPointer>

using namespace Velmor;

namespace {

class Carrier : public Request
{
public:
    Carrier() { m_autoDelete = false; }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    Fuzz::silenceMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t mode = data[0];
    const QByteArray text(reinterpret_cast<const char *>(data + 1), int(size - 1));

    JsonRPC engine;
    engine.setErrorCodeOffset(mode & 1 ? 1000 : 0);
    const int calls = 1 + (mode >> 4) % 8;
    QList<QPointer<JsonRPCCall>> written;
    for (int i = 0; i < calls; ++i)
        written.append(engine.call("m", { i }));
    // The first call's holder deletes the last call when the first finishes, and queues a new message.
    if (mode & 2) {
        QObject::connect(written.first(), &Request::finished, written.first(), [&engine, &written] {
            if (written.size() > 1)
                delete written.last().data();
            engine.notify("afterwards");
        });
    }

    if (mode & 4) {
        Carrier carrier;
        engine.serializeOutgoingRequest(&carrier);
        engine.incomingContextedResponse(text, &carrier);
        // Every call of the context has finished now; they belong to whoever holds them.
        for (const QPointer<JsonRPCCall> &call : std::as_const(written))
            delete call.data();
    } else {
        engine.serializeOutgoingRequest(nullptr);
        engine.incomingResponse(text);
        engine.dropAllOutgoing(Error(3, QString()));
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
