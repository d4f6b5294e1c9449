// Hands request texts to the engine with a handler of typed slots; every answer must be JSON of the link's
// form, no slot may see a value of another type than it declares, and waiting answers must neither leak nor
// outlive the engine.
#include "fuzzsupport.h"

#include "velmorwire/deferred.h"
#include "velmorwire/error.h"
#include "velmorwire/json.h"
#include "velmorwire/jsonrpc.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdlib>

using namespace Velmor;

struct Addresses
{
    QStringList items;
};
Q_DECLARE_METATYPE(Addresses)

namespace Velmor {

class FuzzHandler : public QObject
{
    Q_OBJECT

public:
    QList<Deferred> waiting;

public Q_SLOTS:
    void setProfile(quint32 id) { m_sink += id; }
    void setPort(quint16 port) { m_sink += port; }
    int add(int a, int b) { return int(qint64(a) + b); }
    QString name(const QString &text) { return text + text; }
    bool flag(bool value) { return !value; }
    QVariant echo(const QVariant &value) { return value; }
    QStringList strings(const QStringList &list) { return list; }
    QVariantMap map(const QVariantMap &value) { return value; }
    QVariantList list(const QVariantList &value) { return value; }
    double half(double value) { return value / 2; }
    int addresses(const Addresses &value) { return int(value.items.size()); }
    Error fail(int code, const QString &message) { return Error(uint(code), message); }
    Deferred later()
    {
        waiting.append(Deferred());
        return waiting.last();
    }
    Deferred already(const QVariant &value) { return Deferred().callback(value); }
    void addDomain(int, const QString &, const QString &) { }
    void addDomain(int, const QString &, const QString &, const QString &) { }
    void many(int, int, int, int, int, int, int, int, int, int, int) { }

Q_SIGNALS:
    void changed(int value);

private:
    quint64 m_sink = 0;
};

} // namespace Velmor

namespace {

void checkAnswer(const QString &text)
{
    const QVariant answer = Json::parse(text);
    if (answer.typeId() != QMetaType::QVariantMap && answer.typeId() != QMetaType::QVariantList)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    Fuzz::silenceMessages();
    registerErrorMetaType();
    registerDeferredMetaType();
    QMetaType::registerConverterFunction(
        [](const void *from, void *to) {
            Addresses addresses;
            for (const QVariant &item : *static_cast<const QVariantList *>(from)) {
                if (item.typeId() != QMetaType::QString)
                    return false;
                addresses.items.append(item.toString());
            }
            *static_cast<Addresses *>(to) = addresses;
            return true;
        },
        QMetaType::fromType<QVariantList>(), QMetaType::fromType<Addresses>());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the link's offset, a budget of values so small that it is often reached, and what
    // happens to answers still waiting.
    const uint8_t mode = data[0];
    const QByteArray text(reinterpret_cast<const char *>(data + 1), int(size - 1));

    FuzzHandler handler;
    auto engine = new JsonRPC;
    engine->setErrorCodeOffset(mode & 1 ? 1000 : 0);
    if (mode & 8)
        engine->setValueBudget(mode >> 4);
    engine->setRequestHandler(&handler);
    QObject::connect(engine, &JsonRPC::outgoingResponseReady, &checkAnswer);
    engine->incomingRequest(text);

    switch ((mode >> 1) & 3) {
    case 0: // every Deferred fires
        for (Deferred &deferred : handler.waiting)
            deferred.callback(QStringLiteral("done"));
        break;
    case 1: // they fail
        for (Deferred &deferred : handler.waiting)
            deferred.errback(Error(70000, QStringLiteral("failed")));
        break;
    case 2: // the engine goes first, then they fire
        delete engine;
        engine = nullptr;
        for (Deferred &deferred : handler.waiting)
            deferred.callback(1);
        break;
    default: // they never fire
        break;
    }
    delete engine;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}

#include "fuzz_jsonrpcrequest.moc"
