#include "velmorwire/deferred.h"
#include "velmorwire/error.h"
#include "velmorwire/hostlist.h"
#include "velmorwire/jsonrpc.h"
#include "velmorwire/jsonrpccall.h"
#include "velmorwire/jsonrpccallresponse.h"
#include "velmorwire/request.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

using namespace Velmor;

// A type of the system that arrives as a JSON array and converts only when every item is valid.
struct PortList
{
    QList<quint16> ports;
};
Q_DECLARE_METATYPE(PortList)

namespace {

void registerPortList()
{
    QMetaType::registerConverterFunction(
        [](const void *from, void *to) {
            PortList list;
            for (const QVariant &item : *static_cast<const QVariantList *>(from)) {
                bool ok = false;
                const uint port = item.toString().toUInt(&ok);
                if (item.typeId() != QMetaType::QString || !ok || port > 65535)
                    return false;
                list.ports.append(quint16(port));
            }
            *static_cast<PortList *>(to) = list;
            return true;
        },
        QMetaType::fromType<QVariantList>(), QMetaType::fromType<PortList>());
}

} // namespace

namespace Velmor {

// Answers requests with typed slots; every invocation records its arguments with their types.
class Handler : public QObject
{
    Q_OBJECT

public:
    QStringList invoked;
    Deferred pending;
    JsonRPC *engine = nullptr;

    void record(const QString &what) { invoked.append(what); }

public Q_SLOTS:
    void setProfile(quint32 id) { record(QStringLiteral("setProfile(%1)").arg(id)); }
    void port(quint16 value) { record(QStringLiteral("port(%1)").arg(value)); }
    int add(int a, int b)
    {
        record(QStringLiteral("add"));
        return a + b;
    }
    QString name(const QString &text) { return text; }
    bool flag(bool value) { return !value; }
    double half(double value) { return value / 2; }
    QStringList strings(const QStringList &list) { return list; }
    QVariantMap map(const QVariantMap &value) { return value; }
    QVariant echo(const QVariant &value) { return value; }
    int ports(const PortList &list) { return int(list.ports.size()); }
    QString setOriginalDns(const QString &id, const HostList &servers)
    {
        return id + QLatin1Char(' ') + servers.value(1).toString();
    }
    Error fail(int code) { return Error(uint(code), code ? QStringLiteral("failed") : QString()); }
    Deferred later() { return pending; }
    Deferred already(const QVariant &value) { return Deferred().callback(value); }
    void addDomain(int, const QString &, const QString &) { record(QStringLiteral("addDomain3")); }
    void addDomain(int, const QString &, const QString &, const QString &) { record(QStringLiteral("addDomain4")); }
    QVariantHash hash()
    {
        QVariantHash h;
        for (const char *key : { "delta", "alpha", "echo", "charlie", "bravo", "foxtrot", "golf", "hotel" })
            h.insert(QLatin1String(key), QLatin1String(key).size());
        return h;
    }
    void quit()
    {
        record(QStringLiteral("quit"));
        delete engine;
        engine = nullptr;
    }

Q_SIGNALS:
    void notified(int value);
};

// A handler of another class, for an engine whose handler is replaced.
class Doubler : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    int twice(int value) { return 2 * value; }
};

} // namespace Velmor

// Collects what the engine sends.
struct Wire
{
    explicit Wire(JsonRPC *engine)
        : spy(engine, &JsonRPC::outgoingResponseReady)
    { }
    QStringList texts()
    {
        QStringList all;
        for (const QList<QVariant> &arguments : std::as_const(spy))
            all.append(arguments.at(0).toString());
        spy.clear();
        return all;
    }
    QSignalSpy spy;
};

class tst_JsonRPCDispatch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void answers_data();
    void answers();
    void typedParameters_data();
    void typedParameters();
    void wrongTypeNotificationIsDropped();
    void valueBudget_data();
    void valueBudget();
    void offsetLowersCodes_data();
    void offsetLowersCodes();
    void deferredAnswer_data();
    void deferredAnswer();
    void batchWaitsForItsLastDeferred();
    void secondFiringSendsNothing();
    void engineGoneBeforeDeferredFires();
    void handlerMayDestroyTheEngine();
    void handlerGoneAnswersMethodNotFound();
    void replacedHandlerTakesItsMethodsAlong();
    void answerWaitingForRequest();
};

void tst_JsonRPCDispatch::initTestCase()
{
    registerErrorMetaType();
    registerDeferredMetaType();
    registerPortList();
    registerHostListConverter();
}

void tst_JsonRPCDispatch::answers_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("invoked");

    const QString nullError7 = QStringLiteral(R"({"error":{"code":-32600,"message":"Invalid Request"},"id":null,)"
                                              R"("jsonrpc":"2.0"})");
    QTest::newRow("call without return value")
        << QByteArray(R"({"id":7,"jsonrpc":"2.0","method":"setProfile","params":[5]})")
        << R"({"id":7,"jsonrpc":"2.0","result":null})" << QStringList { "setProfile(5)" };
    QTest::newRow("string id comes back") << QByteArray(R"({"id":"x7","jsonrpc":"2.0","method":"add","params":[2,3]})")
                                          << R"({"id":"x7","jsonrpc":"2.0","result":5})" << QStringList { "add" };
    QTest::newRow("null id is a request") << QByteArray(R"({"id":null,"jsonrpc":"2.0","method":"add","params":[2,3]})")
                                          << R"({"id":null,"jsonrpc":"2.0","result":5})" << QStringList { "add" };
    QTest::newRow("variant result keeps wire rules")
        << QByteArray(R"({"id":1,"jsonrpc":"2.0","method":"echo","params":[{"z":"a/b","a":0.5}]})")
        << R"({"id":1,"jsonrpc":"2.0","result":{"a":0.5,"z":"a\/b"}})" << QStringList();
    QTest::newRow("hash result has sorted keys")
        << QByteArray(R"({"id":1,"jsonrpc":"2.0","method":"hash"})")
        << R"({"id":1,"jsonrpc":"2.0","result":{"alpha":5,"bravo":5,"charlie":7,"delta":5,"echo":4,)"
           R"("foxtrot":7,"golf":4,"hotel":5}})"
        << QStringList();
    QTest::newRow("failed error") << QByteArray(R"({"id":1,"jsonrpc":"2.0","method":"fail","params":[1]})")
                                  << R"({"error":{"code":1,"message":"failed"},"id":1,"jsonrpc":"2.0"})"
                                  << QStringList();
    QTest::newRow("successful error") << QByteArray(R"({"id":1,"jsonrpc":"2.0","method":"fail","params":[0]})")
                                      << R"({"id":1,"jsonrpc":"2.0","result":null})" << QStringList();
    QTest::newRow("unreadable text") << QByteArray("{\"id\":1,")
                                     << R"({"error":{"code":-32700,"message":"Parse error"},"id":null,"jsonrpc":"2.0"})"
                                     << QStringList();
    QTest::newRow("literal null") << QByteArray("null")
                                  << R"({"error":{"code":-32700,"message":"Parse error"},"id":null,"jsonrpc":"2.0"})"
                                  << QStringList();
    QTest::newRow("empty text") << QByteArray()
                                << R"({"error":{"code":-32700,"message":"Parse error"},"id":null,"jsonrpc":"2.0"})"
                                << QStringList();
    QTest::newRow("empty array is one answer") << QByteArray("[]") << nullError7 << QStringList();
    QTest::newRow("number") << QByteArray("5") << nullError7 << QStringList();
    QTest::newRow("empty object is a silent notification") << QByteArray("{}") << QString() << QStringList();
    QTest::newRow("invalid items of a batch are answered")
        << QByteArray(R"([{},7])") << "[" + nullError7 + "," + nullError7 + "]" << QStringList();
    // Without "method" the look-up fails, as for a request without one.
    QTest::newRow("only jsonrpc in a batch")
        << QByteArray(R"([{"jsonrpc":"2.0"}])")
        << R"([{"error":{"code":-32601,"message":"Method not found"},"id":null,"jsonrpc":"2.0"}])" << QStringList();
    QTest::newRow("batch of notifications sends nothing")
        << QByteArray(R"([{"jsonrpc":"2.0","method":"setProfile","params":[1]},)"
                      R"({"jsonrpc":"2.0","method":"setProfile","params":[2]}])")
        << QString() << QStringList { "setProfile(1)", "setProfile(2)" };
    QTest::newRow("batch of one is still an array")
        << QByteArray(R"([{"id":3,"jsonrpc":"2.0","method":"add","params":[1,1]}])")
        << R"([{"id":3,"jsonrpc":"2.0","result":2}])" << QStringList { "add" };
    QTest::newRow("id true makes an invalid notification")
        << QByteArray(R"({"id":true,"jsonrpc":"2.0","method":"add","params":[1,1]})") << QString() << QStringList();
    QTest::newRow("id true in a batch") << QByteArray(R"([{"id":true,"jsonrpc":"2.0","method":"add","params":[1,1]}])")
                                        << "[" + nullError7 + "]" << QStringList();
    QTest::newRow("bad member before id: no answer")
        << QByteArray(R"({"ID":1,"id":7,"jsonrpc":"2.0","method":"add","params":[1,1]})") << QString() << QStringList();
    QTest::newRow("bad member after id: -32600")
        << QByteArray(R"({"id":7,"jsonrpc":"2.0","method":"add","params":[1,1],"zz":0})") << nullError7
        << QStringList();
    QTest::newRow("named params") << QByteArray(R"({"id":7,"jsonrpc":"2.0","method":"add","params":{"a":1}})")
                                  << nullError7 << QStringList();
    QTest::newRow("jsonrpc as a number") << QByteArray(R"({"id":7,"jsonrpc":2.0,"method":"add","params":[1,1]})")
                                         << nullError7 << QStringList();
    QTest::newRow("empty method") << QByteArray(R"({"id":7,"jsonrpc":"2.0","method":""})") << nullError7
                                  << QStringList();
    QTest::newRow("no method") << QByteArray(R"({"id":7,"jsonrpc":"2.0"})")
                               << R"({"error":{"code":-32601,"message":"Method not found"},"id":7,"jsonrpc":"2.0"})"
                               << QStringList();
    QTest::newRow("unknown method")
        << QByteArray(R"({"id":7,"jsonrpc":"2.0","method":"deleteLater"})")
        << R"({"error":{"code":-32601,"message":"Method not found"},"id":7,"jsonrpc":"2.0"})" << QStringList();
    QTest::newRow("unknown notification in a batch")
        << QByteArray(R"([{"jsonrpc":"2.0","method":"nothing"}])")
        << R"([{"error":{"code":-32601,"message":"Method not found"},"id":null,"jsonrpc":"2.0"}])" << QStringList();
    QTest::newRow("overloads by count")
        << QByteArray(R"([{"id":1,"jsonrpc":"2.0","method":"addDomain","params":[1,"a","b"]},)"
                      R"({"id":2,"jsonrpc":"2.0","method":"addDomain","params":[1,"a","b","c"]},)"
                      R"({"id":3,"jsonrpc":"2.0","method":"addDomain","params":[1,"a"]}])")
        << R"([{"id":1,"jsonrpc":"2.0","result":null},{"id":2,"jsonrpc":"2.0","result":null},)"
           R"({"error":{"code":-32601,"message":"Method not found"},"id":3,"jsonrpc":"2.0"}])"
        << QStringList { "addDomain3", "addDomain4" };
    QTest::newRow("signals are callable") << QByteArray(R"({"id":1,"jsonrpc":"2.0","method":"notified","params":[1]})")
                                          << R"({"id":1,"jsonrpc":"2.0","result":null})" << QStringList();
    QTest::newRow("text ends at a NUL byte")
        << QByteArray(R"({"id":1,"jsonrpc":"2.0","method":"add","params":[1,2]})") + '\0' + "garbage"
        << R"({"id":1,"jsonrpc":"2.0","result":3})" << QStringList { "add" };
    // A batch's answers cost memory item by item, so one too long is refused before any of it is built.
    const QByteArray notification = R"({"jsonrpc":"2.0","method":"setProfile","params":[1]})";
    QStringList invokedAtLimit;
    for (int i = 0; i < JsonRPC::maximumBatchItems; ++i)
        invokedAtLimit.append("setProfile(1)");
    QTest::newRow("batch at the item limit") << "[" + (notification + ",").repeated(JsonRPC::maximumBatchItems - 1)
            + notification + "]" << QString() << invokedAtLimit;
    QTest::newRow("batch over the item limit") << "[" + (notification + ",").repeated(JsonRPC::maximumBatchItems)
            + notification + "]" << nullError7 << QStringList();
    QTest::newRow("unreadable batch over the item limit")
        << "[" + (notification + ",").repeated(JsonRPC::maximumBatchItems) + notification
        << R"({"error":{"code":-32700,"message":"Parse error"},"id":null,"jsonrpc":"2.0"})" << QStringList();
    QTest::newRow("NUL inside the text")
        << QByteArray(R"({"id":1,)") + '\0' + R"("jsonrpc":"2.0","method":"add","params":[1,2]})"
        << R"({"error":{"code":-32700,"message":"Parse error"},"id":null,"jsonrpc":"2.0"})" << QStringList();
}

void tst_JsonRPCDispatch::answers()
{
    QFETCH(QByteArray, request);
    QFETCH(QString, answer);
    QFETCH(QStringList, invoked);

    Handler handler;
    JsonRPC engine;
    engine.setRequestHandler(&handler);
    Wire wire(&engine);
    if (answer.isNull() && invoked.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, "Invalid JSON-RPC notification.");

    engine.incomingRequest(request);
    QCOMPARE(wire.texts(), answer.isNull() ? QStringList() : QStringList { answer });
    QCOMPARE(handler.invoked, invoked);
}

void tst_JsonRPCDispatch::typedParameters_data()
{
    QTest::addColumn<QByteArray>("call");
    QTest::addColumn<QString>("result");

    const QString refused = QStringLiteral("refused");
    QTest::newRow("quint32 from integer") << QByteArray(R"("setProfile",[4294967295])") << "null";
    QTest::newRow("quint32 from integral double") << QByteArray(R"("setProfile",[5.0])") << "null";
    QTest::newRow("quint32 from fraction") << QByteArray(R"("setProfile",[5.5])") << refused;
    QTest::newRow("quint32 from negative") << QByteArray(R"("setProfile",[-1])") << refused;
    QTest::newRow("quint32 beyond range") << QByteArray(R"("setProfile",[4294967296])") << refused;
    QTest::newRow("quint32 from text") << QByteArray(R"("setProfile",["5"])") << refused;
    QTest::newRow("quint32 from null") << QByteArray(R"("setProfile",[null])") << refused;
    QTest::newRow("quint32 from bool") << QByteArray(R"("setProfile",[true])") << refused;
    QTest::newRow("quint16 at its top") << QByteArray(R"("port",[65535])") << "null";
    QTest::newRow("quint16 beyond range") << QByteArray(R"("port",[65536])") << refused;
    QTest::newRow("int range ends") << QByteArray(R"("add",[2147483647,-2147483648])") << "-1";
    QTest::newRow("int beyond range") << QByteArray(R"("add",[2147483648,0])") << refused;
    QTest::newRow("int from huge double") << QByteArray(R"("add",[1.0e300,0])") << refused;
    QTest::newRow("string") << QByteArray(R"("name",["a"])") << R"("a")";
    QTest::newRow("string from number") << QByteArray(R"("name",[5])") << refused;
    QTest::newRow("string from null") << QByteArray(R"("name",[null])") << refused;
    QTest::newRow("bool") << QByteArray(R"("flag",[false])") << "true";
    QTest::newRow("bool from number") << QByteArray(R"("flag",[1])") << refused;
    QTest::newRow("double from integer") << QByteArray(R"("half",[3])") << "1.5";
    QTest::newRow("double from text") << QByteArray(R"("half",["3"])") << refused;
    QTest::newRow("string list") << QByteArray(R"("strings",[["a","b"]])") << R"(["a","b"])";
    QTest::newRow("string list with a number") << QByteArray(R"("strings",[["a",1]])") << refused;
    QTest::newRow("string list from text") << QByteArray(R"("strings",["a"])") << refused;
    QTest::newRow("map") << QByteArray(R"("map",[{"k":1}])") << R"({"k":1})";
    QTest::newRow("map from list") << QByteArray(R"("map",[[1]])") << refused;
    QTest::newRow("variant takes null") << QByteArray(R"("echo",[null])") << "null";
    QTest::newRow("registered converter") << QByteArray(R"("ports",[["53","5353"]])") << "2";
    QTest::newRow("registered converter refuses") << QByteArray(R"("ports",[["53","x"]])") << refused;
    QTest::newRow("no converter from text") << QByteArray(R"("ports",["53"])") << refused;
    QTest::newRow("address list") << QByteArray(R"("setOriginalDns",["eth0",["10.0.0.1","192.168.1.1"]])")
                                  << R"("eth0 192.168.1.1")";
    QTest::newRow("address list with IPv6")
        << QByteArray(R"("setOriginalDns",["eth0",["10.0.0.1","2001:db8::53"]])") << R"("eth0 2001:db8::53")";
    QTest::newRow("address list with a bad address")
        << QByteArray(R"("setOriginalDns",["eth0",["10.0.0.1","10.1"]])") << refused;
}

void tst_JsonRPCDispatch::typedParameters()
{
    QFETCH(QByteArray, call);
    QFETCH(QString, result);

    Handler handler;
    JsonRPC engine;
    engine.setRequestHandler(&handler);
    Wire wire(&engine);
    const int params = call.indexOf(',');
    engine.incomingRequest(
        R"({"id":1,"jsonrpc":"2.0","method":)" + call.left(params) + R"(,"params":)" + call.mid(params + 1) + "}");
    const QString expected = result == QLatin1String("refused")
        ? QStringLiteral(R"({"error":{"code":-32602,"message":"Invalid params"},"id":1,"jsonrpc":"2.0"})")
        : QStringLiteral(R"({"id":1,"jsonrpc":"2.0","result":%1})").arg(result);
    QCOMPARE(wire.texts(), QStringList { expected });
    if (result == QLatin1String("refused"))
        QCOMPARE(handler.invoked, QStringList());
}

void tst_JsonRPCDispatch::wrongTypeNotificationIsDropped()
{
    Handler handler;
    JsonRPC engine;
    engine.setRequestHandler(&handler);
    Wire wire(&engine);
    QTest::ignoreMessage(QtDebugMsg, "Failed to call slot setProfile1");
    engine.incomingRequest(R"({"jsonrpc":"2.0","method":"setProfile","params":["5"]})");
    QTest::ignoreMessage(QtDebugMsg, "Failed to call slot setProfile1");
    engine.incomingRequest(R"([{"jsonrpc":"2.0","method":"setProfile","params":["5"]}])");
    QTest::ignoreMessage(QtWarningMsg, "failed to find slot nothing");
    engine.incomingRequest(R"({"jsonrpc":"2.0","method":"nothing"})");
    QTest::ignoreMessage(QtWarningMsg, "failed to find slot ");
    engine.incomingRequest(R"({"jsonrpc":"2.0"})");
    QCOMPARE(wire.texts(), QStringList());
    QCOMPARE(handler.invoked, QStringList());
}

// A text that holds more values than the engine's budget is unreadable, as a request and as a response.
void tst_JsonRPCDispatch::valueBudget_data()
{
    QTest::addColumn<int>("budget");
    QTest::addColumn<bool>("read");

    // The request and the response below both cost 14: the object, four keys, three scalars, an array and 5.
    QTest::newRow("at the budget") << 14 << true;
    QTest::newRow("one over") << 13 << false;
}

void tst_JsonRPCDispatch::valueBudget()
{
    QFETCH(int, budget);
    QFETCH(bool, read);

    Handler handler;
    JsonRPC engine;
    engine.setValueBudget(budget);
    engine.setRequestHandler(&handler);
    Wire wire(&engine);
    engine.incomingRequest(R"({"id":7,"jsonrpc":"2.0","method":"setProfile","params":[5]})");
    QCOMPARE(wire.texts(),
        QStringList { read ? R"({"id":7,"jsonrpc":"2.0","result":null})"
                           : R"({"error":{"code":-32700,"message":"Parse error"},"id":null,"jsonrpc":"2.0"})" });

    JsonRPCCall *call = engine.call("ask");
    engine.serializeOutgoingRequest(nullptr);
    QSignalSpy finished(call, &Request::finished);
    const QByteArray response = R"({"id":1,"jsonrpc":"2.0","result":[1,2,3,4]})";
    if (!read)
        QTest::ignoreMessage(QtDebugMsg, QByteArray("Failed to parse json data: " + response).constData());
    QCOMPARE(engine.incomingResponse(response), read);
    QCOMPARE(finished.size(), read ? 1 : 0);
    if (!read)
        delete call;
}

void tst_JsonRPCDispatch::offsetLowersCodes_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("error");

    QTest::newRow("offset 1000, code 5") << 1000 << QByteArray(R"("fail","params":[5])")
                                         << R"({"code":-995,"message":"failed"})";
    QTest::newRow("offset 1000, -32601 wraps") << 1000 << QByteArray(R"("none")") << R"({"code":31935})";
    QTest::newRow("offset 0, code 5") << 0 << QByteArray(R"("fail","params":[5])")
                                      << R"({"code":5,"message":"failed"})";
    QTest::newRow("code keeps its low 16 bits")
        << 0 << QByteArray(R"("fail","params":[70000])") << R"({"code":4464,"message":"failed"})";
}

void tst_JsonRPCDispatch::offsetLowersCodes()
{
    QFETCH(int, offset);
    QFETCH(QByteArray, method);
    QFETCH(QString, error);

    Handler handler;
    JsonRPC engine;
    engine.setErrorCodeOffset(quint16(offset));
    engine.setRequestHandler(&handler);
    Wire wire(&engine);
    engine.incomingRequest(R"({"id":2,"jsonrpc":"2.0","method":)" + method + "}");
    QCOMPARE(wire.texts(), QStringList { QStringLiteral(R"({"error":%1,"id":2,"jsonrpc":"2.0"})").arg(error) });
}

void tst_JsonRPCDispatch::deferredAnswer_data()
{
    QTest::addColumn<bool>("fails");
    QTest::addColumn<QString>("answer");

    QTest::newRow("callback") << false << R"({"id":4,"jsonrpc":"2.0","result":"report"})";
    QTest::newRow("errback") << true << R"({"error":{"code":30,"message":"refused"},"id":4,"jsonrpc":"2.0"})";
}

void tst_JsonRPCDispatch::deferredAnswer()
{
    QFETCH(bool, fails);
    QFETCH(QString, answer);

    Handler handler;
    JsonRPC engine;
    engine.setRequestHandler(&handler);
    Wire wire(&engine);
    engine.incomingRequest(R"({"id":4,"jsonrpc":"2.0","method":"later"})");
    QCOMPARE(wire.texts(), QStringList());

    if (fails)
        handler.pending.errback(Error(30, QStringLiteral("refused")));
    else
        handler.pending.callback(QStringLiteral("report"));
    QCOMPARE(wire.texts(), QStringList { answer });

    // A Deferred that fired before the method returned answers at once.
    engine.incomingRequest(R"({"id":5,"jsonrpc":"2.0","method":"already","params":[1]})");
    QCOMPARE(wire.texts(), QStringList { R"({"id":5,"jsonrpc":"2.0","result":1})" });
}

void tst_JsonRPCDispatch::batchWaitsForItsLastDeferred()
{
    Handler handler;
    JsonRPC engine;
    engine.setRequestHandler(&handler);
    Wire wire(&engine);
    engine.incomingRequest(R"([{"id":1,"jsonrpc":"2.0","method":"add","params":[1,1]},)"
                           R"({"id":2,"jsonrpc":"2.0","method":"later"},)"
                           R"({"jsonrpc":"2.0","method":"later"},)"
                           R"({"id":3,"jsonrpc":"2.0","method":"already","params":["x"]}])");
    // A later request text is answered while the earlier one still waits.
    engine.incomingRequest(R"({"id":9,"jsonrpc":"2.0","method":"add","params":[4,5]})");
    QCOMPARE(wire.texts(), QStringList { R"({"id":9,"jsonrpc":"2.0","result":9})" });

    handler.pending.callback(true);
    QCOMPARE(wire.texts(),
        QStringList { R"([{"id":1,"jsonrpc":"2.0","result":2},{"id":2,"jsonrpc":"2.0","result":true},)"
                      R"({"id":3,"jsonrpc":"2.0","result":"x"}])" });
}

void tst_JsonRPCDispatch::secondFiringSendsNothing()
{
    Handler handler;
    JsonRPC engine;
    engine.setRequestHandler(&handler);
    Wire wire(&engine);
    engine.incomingRequest(R"({"id":1,"jsonrpc":"2.0","method":"later"})");
    handler.pending.callback(1);
    QCOMPARE(wire.texts().size(), 1);
    handler.pending.callback(2);
    handler.pending.errback(Error(5, QString()));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    handler.pending.callback(3);
    QCOMPARE(wire.texts(), QStringList());
}

void tst_JsonRPCDispatch::engineGoneBeforeDeferredFires()
{
    Handler handler;
    auto engine = new JsonRPC;
    engine->setRequestHandler(&handler);
    QSignalSpy answers(engine, &JsonRPC::outgoingResponseReady);
    engine->incomingRequest(R"([{"id":1,"jsonrpc":"2.0","method":"later"},{"id":2,"jsonrpc":"2.0","method":"later"}])");
    QCOMPARE(answers.size(), 0);
    // The waiting answers belong to the engine and go with it; the Deferred firing later reaches nobody.
    delete engine;
    handler.pending.callback(QStringLiteral("late"));
    handler.pending.errback(Error(1, QString()));
    QCOMPARE(answers.size(), 0);
}

void tst_JsonRPCDispatch::handlerMayDestroyTheEngine()
{
    Handler handler;
    handler.engine = new JsonRPC;
    QPointer<JsonRPC> engine(handler.engine);
    engine->setRequestHandler(&handler);
    engine->incomingRequest(R"([{"id":1,"jsonrpc":"2.0","method":"later"},{"id":2,"jsonrpc":"2.0","method":"quit"},)"
                            R"({"id":3,"jsonrpc":"2.0","method":"add","params":[1,1]}])");
    QVERIFY(!engine);
    QCOMPARE(handler.invoked, QStringList { "quit" });
    handler.pending.callback(1);
}

void tst_JsonRPCDispatch::handlerGoneAnswersMethodNotFound()
{
    auto handler = new Handler;
    JsonRPC engine;
    engine.setRequestHandler(handler);
    delete handler;
    Wire wire(&engine);
    engine.incomingRequest(R"({"id":1,"jsonrpc":"2.0","method":"add","params":[1,1]})");
    QCOMPARE(wire.texts(),
        QStringList { R"({"error":{"code":-32601,"message":"Method not found"},"id":1,"jsonrpc":"2.0"})" });
}

void tst_JsonRPCDispatch::replacedHandlerTakesItsMethodsAlong()
{
    Handler first;
    Doubler second;
    JsonRPC engine;
    engine.setRequestHandler(&first);
    engine.setRequestHandler(&second);
    Wire wire(&engine);
    // A method of the first handler's class must never run on an object of another class.
    engine.incomingRequest(R"([{"id":1,"jsonrpc":"2.0","method":"add","params":[1,1]},)"
                           R"({"id":2,"jsonrpc":"2.0","method":"twice","params":[4]}])");
    QCOMPARE(wire.texts(),
        QStringList { R"([{"error":{"code":-32601,"message":"Method not found"},"id":1,"jsonrpc":"2.0"},)"
                      R"({"id":2,"jsonrpc":"2.0","result":8}])" });
    QCOMPARE(first.invoked, QStringList());
}

void tst_JsonRPCDispatch::answerWaitingForRequest()
{
    Request failing;
    JsonRPCCallResponse failed(&failing);
    QVERIFY(failed.isDeferred());
    QSignalSpy ready(&failed, &JsonRPCCallResponse::ready);
    failing.requestFinished(Error(Error::Timeout, QString()));
    QCOMPARE(ready.size(), 1);
    QVERIFY(!failed.isDeferred());
    QCOMPARE(failed.stringify(), QStringLiteral(R"({"error":{"code":2},"id":null,"jsonrpc":"2.0"})"));

    Request succeeding;
    JsonRPCCallResponse succeeded(&succeeding);
    succeeding.requestFinished(Error());
    QCOMPARE(succeeded.stringify(), QStringLiteral(R"({"id":null,"jsonrpc":"2.0","result":null})"));
}

QTEST_GUILESS_MAIN(tst_JsonRPCDispatch)
#include "tst_jsonrpcdispatch.moc"
