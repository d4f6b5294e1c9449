#include "velmorwire/jsonrpc.h"
#include "velmorwire/jsonrpc_p.h"
#include "velmorwire/jsonrpccall.h"
#include "velmorwire/requestmanager.h"
#include "velmorwire/requestmanager_p.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

using namespace Velmor;

namespace {

qint64 fakeNow = 1000000;
qint64 fakeClock()
{
    return fakeNow;
}

// A context request of a link that carries each text in a request of its own.
class Carrier : public Request
{
public:
    Carrier() { m_autoDelete = false; }
};

// Watches a call until it is deleted, keeping what it finished with.
struct Outcome
{
    explicit Outcome(JsonRPCCall *call)
        : call(call)
    {
        QObject::connect(call, &Request::finished, call, [this, call] {
            ++finishes;
            code = call->error().code();
            message = call->error().message();
            rpcCode = call->rpcError().code;
            result = call->result();
        });
    }
    QPointer<JsonRPCCall> call;
    int finishes = 0;
    uint code = 0;
    QString message;
    int rpcCode = 0;
    QVariant result;
};

QByteArray responseWithId(const QByteArray &id)
{
    return "{\"id\":" + id + ",\"jsonrpc\":\"2.0\",\"result\":\"ok\"}";
}

} // namespace

class tst_JsonRPCCalls : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void messageText_data();
    void messageText();
    void groupingOnSendsOneBatch();
    void groupingOffSendsOneMessageEach();
    void preparedNotificationJoinsTheBatch();
    void idsWrapAroundSkippingZero();
    void responseIds_data();
    void responseIds();
    void responseItemRules_data();
    void responseItemRules();
    void errorObjects_data();
    void errorObjects();
    void batchAnswerMatchesByIdPastInvalidItems();
    void batchAnswerFreesEachReleasedResult();
    void responseBeforeAnyCall();
    void contextAnswerFailsTheUnanswered();
    void contextFailureFailsItsCalls();
    void notificationsLeaveNoContextEntry();
    void dropAllKeepsQueuedMessages();
    void writtenCallGetsDefaultDeadline();
    void destroyedCallLeavesTheTable();
    void finishHandlerMayDestroyTheEngine();
    void finishHandlerMayDestroyOtherCalls();

private:
    // Deletes finished calls the request manager has scheduled for deletion.
    void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
};

void tst_JsonRPCCalls::init()
{
    fakeNow = 1000000;
    RequestManagerPrivate::get(RequestManager::instance())->clock = &fakeClock;
}

void tst_JsonRPCCalls::cleanup()
{
    flushDeletes();
    // Every test answers or drops what it wrote, so nothing may stay registered.
    QCOMPARE(RequestManager::instance()->requests().size(), 0);
}

void tst_JsonRPCCalls::messageText_data()
{
    QTest::addColumn<uint>("id");
    QTest::addColumn<QVariantList>("params");
    QTest::addColumn<QString>("text");

    QTest::newRow("call with a parameter")
        << 7u << QVariantList { 5 } << R"({"id":7,"jsonrpc":"2.0","method":"setProfile","params":[5]})";
    QTest::newRow("call without parameters has no params")
        << 8u << QVariantList() << R"({"id":8,"jsonrpc":"2.0","method":"setProfile"})";
    QTest::newRow("notification has no id") << 0u << QVariantList() << R"({"jsonrpc":"2.0","method":"setProfile"})";
    QTest::newRow("largest id") << 4294967295u << QVariantList { true }
                                << R"({"id":4294967295,"jsonrpc":"2.0","method":"setProfile","params":[true]})";
    QTest::newRow("wire escapes and null string")
        << 9u << QVariantList { QStringLiteral("a/b\"c"), QString(), QVariantMap { { "z", 1 }, { "a", 0.1 } } }
        << R"({"id":9,"jsonrpc":"2.0","method":"setProfile","params":["a\/b\"c",null,{"a":0.1,"z":1}]})";
}

void tst_JsonRPCCalls::messageText()
{
    QFETCH(uint, id);
    QFETCH(QVariantList, params);
    QFETCH(QString, text);

    const JsonRPCCall call(id, "setProfile", params);
    QCOMPARE(call.stringify(), text);
    QCOMPARE(call.isNotification(), id == 0);
}

void tst_JsonRPCCalls::groupingOnSendsOneBatch()
{
    JsonRPC engine;
    QSignalSpy ready(&engine, &JsonRPC::outgoingRequestReady);
    Outcome first(engine.call("a", { 1 }));
    engine.notify("b");
    Outcome second(engine.call("c"));
    QCOMPARE(ready.size(), 0);
    QTRY_COMPARE(ready.size(), 1);
    QTest::qWait(10);
    QCOMPARE(ready.size(), 1);

    QVERIFY(engine.hasPendingOutgoingRequest());
    QCOMPARE(engine.serializeOutgoingRequest(nullptr),
        QStringLiteral(R"([{"id":1,"jsonrpc":"2.0","method":"a","params":[1]},)"
                       R"({"jsonrpc":"2.0","method":"b"},{"id":2,"jsonrpc":"2.0","method":"c"}])"));
    QVERIFY(!engine.hasPendingOutgoingRequest());

    QVERIFY(engine.incomingResponse(R"([{"id":2,"jsonrpc":"2.0","result":2},{"id":1,"jsonrpc":"2.0","result":1}])"));
    QCOMPARE(first.result, QVariant(1));
    QCOMPARE(second.result, QVariant(2));
}

// The answer to a batch can hold a whole account: the bytes handed over are freed once they are read, and the part
// a call has read and released is freed before the next call's turn, not kept until the batch is done.
void tst_JsonRPCCalls::batchAnswerFreesEachReleasedResult()
{
    JsonRPC engine;
    Carrier carrier;
    JsonRPCCall *first = engine.call("a");
    JsonRPCCall *second = engine.call("b");
    engine.serializeOutgoingRequest(&carrier);
    QByteArray answer(
        R"([{"id":1,"jsonrpc":"2.0","result":["first.example"]},{"id":2,"jsonrpc":"2.0","result":["second.example"]}])");
    const QByteArray watched = answer;
    QString firstText;
    bool bytesFreed = false;
    bool firstFreed = false;
    connect(first, &Request::finished, first, [&] {
        bytesFreed = watched.isDetached();
        firstText = first->result().toList().value(0).toString();
    });
    connect(first, &Request::finished, first, &JsonRPCCall::releaseResult);
    connect(second, &Request::finished, second, [&] { firstFreed = firstText.isDetached(); });

    QVERIFY(engine.incomingContextedResponse(std::move(answer), &carrier));
    QVERIFY(bytesFreed);
    QCOMPARE(firstText, QStringLiteral("first.example"));
    QVERIFY(firstFreed);
    QVERIFY(first->result().isNull());
    QCOMPARE(second->result().toList().value(0).toString(), QStringLiteral("second.example"));
    carrier.requestFinished(Error());
    delete first;
    delete second;
}

void tst_JsonRPCCalls::preparedNotificationJoinsTheBatch()
{
    const QString text = JsonRPC::notificationText("setDomains", { 1, QVariantList { QStringLiteral("a.test") } });
    QCOMPARE(text, QStringLiteral(R"({"jsonrpc":"2.0","method":"setDomains","params":[1,["a.test"]]})"));

    JsonRPC engine;
    QSignalSpy ready(&engine, &JsonRPC::outgoingRequestReady);
    engine.notify("b");
    engine.notifyText("setDomains", text);
    QTRY_COMPARE(ready.size(), 1);
    QCOMPARE(engine.serializeOutgoingRequest(nullptr),
        QStringLiteral("[") + R"({"jsonrpc":"2.0","method":"b"},)" + text + "]");
    QVERIFY(!engine.hasPendingOutgoingRequest());
}

void tst_JsonRPCCalls::groupingOffSendsOneMessageEach()
{
    JsonRPC engine;
    engine.useGrouping(false);
    engine.call("a");
    engine.notify("b");
    engine.call("c");
    QCOMPARE(engine.serializeOutgoingRequest(nullptr), QStringLiteral(R"({"id":1,"jsonrpc":"2.0","method":"a"})"));
    QCOMPARE(engine.serializeOutgoingRequest(nullptr), QStringLiteral(R"({"jsonrpc":"2.0","method":"b"})"));
    QCOMPARE(engine.serializeOutgoingRequest(nullptr), QStringLiteral(R"({"id":2,"jsonrpc":"2.0","method":"c"})"));
    QVERIFY(!engine.hasPendingOutgoingRequest());
    engine.dropAllOutgoing(Error(Error::NotConnected, QString()));
}

void tst_JsonRPCCalls::idsWrapAroundSkippingZero()
{
    JsonRPC engine;
    engine.findChild<JsonRPC::Private *>()->lastId = 4294967294u;
    QList<JsonRPCCall *> calls { engine.call("a"), engine.call("b"), engine.call("c") };
    QCOMPARE(calls[0]->id(), 4294967295u);
    QCOMPARE(calls[1]->id(), 1u);
    QCOMPARE(calls[2]->id(), 2u);
}

void tst_JsonRPCCalls::responseIds_data()
{
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<bool>("matches");

    QTest::newRow("integer") << QByteArray("7") << true;
    QTest::newRow("integral double") << QByteArray("7.0") << true;
    QTest::newRow("decimal text") << QByteArray("\"7\"") << true;
    QTest::newRow("true") << QByteArray("true") << false;
    QTest::newRow("null") << QByteArray("null") << false;
    QTest::newRow("object") << QByteArray("{}") << false;
    QTest::newRow("list") << QByteArray("[7]") << false;
    QTest::newRow("fraction") << QByteArray("7.5") << false;
    QTest::newRow("text with a leading zero") << QByteArray("\"07\"") << false;
    QTest::newRow("other call") << QByteArray("8") << false;
    QTest::newRow("id plus 2^32") << QByteArray("4294967303") << false;
    QTest::newRow("negative") << QByteArray("-7") << false;
}

void tst_JsonRPCCalls::responseIds()
{
    QFETCH(QByteArray, id);
    QFETCH(bool, matches);

    JsonRPC engine;
    engine.findChild<JsonRPC::Private *>()->lastId = 6;
    Outcome call(engine.call("a"));
    engine.serializeOutgoingRequest(nullptr);
    QCOMPARE(call.call->id(), 7u);

    if (!matches)
        QTest::ignoreMessage(QtDebugMsg, "Invalid or unexpected json-rpc response");
    QCOMPARE(engine.incomingResponse(responseWithId(id)), matches);
    QCOMPARE(call.finishes, matches ? 1 : 0);
    if (matches)
        QCOMPARE(call.result, QVariant(QStringLiteral("ok")));
    engine.dropAllOutgoing(Error(Error::NotConnected, QString()));
}

void tst_JsonRPCCalls::responseItemRules_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<bool>("matches");

    QTest::newRow("null result succeeds") << QByteArray(R"({"id":1,"jsonrpc":"2.0","result":null})") << true;
    QTest::newRow("unknown member") << QByteArray(R"({"id":1,"jsonrpc":"2.0","result":1,"x":0})") << false;
    QTest::newRow("no jsonrpc") << QByteArray(R"({"id":1,"result":1})") << false;
    QTest::newRow("jsonrpc as a number") << QByteArray(R"({"id":1,"jsonrpc":2.0,"result":1})") << false;
    QTest::newRow("no id") << QByteArray(R"({"jsonrpc":"2.0","result":1})") << false;
    QTest::newRow("result and error") << QByteArray(R"({"error":{"code":1},"id":1,"jsonrpc":"2.0","result":1})")
                                      << false;
    QTest::newRow("neither result nor error") << QByteArray(R"({"id":1,"jsonrpc":"2.0"})") << false;
    QTest::newRow("malformed error object") << QByteArray(R"({"error":{"code":"1"},"id":1,"jsonrpc":"2.0"})") << false;
    QTest::newRow("empty object") << QByteArray("{}") << false;
}

void tst_JsonRPCCalls::responseItemRules()
{
    QFETCH(QByteArray, response);
    QFETCH(bool, matches);

    JsonRPC engine;
    Outcome call(engine.call("a"));
    engine.serializeOutgoingRequest(nullptr);
    if (!matches)
        QTest::ignoreMessage(QtDebugMsg, "Invalid or unexpected json-rpc response");
    QCOMPARE(engine.incomingResponse(response), matches);
    QCOMPARE(call.finishes, matches ? 1 : 0);
    if (matches) {
        QCOMPARE(call.code, 0u);
        QVERIFY(call.result.isNull());
    }
    engine.dropAllOutgoing(Error(Error::NotConnected, QString()));
}

void tst_JsonRPCCalls::errorObjects_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("error");
    QTest::addColumn<uint>("code");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("rpcCode");

    QTest::newRow("account link raises 51 to 1051")
        << 1000 << QByteArray(R"({"code":51,"message":"no nic"})") << 1051u << "no nic" << 1051;
    QTest::newRow("account link: -32601 becomes -31601") << 1000 << QByteArray(R"({"code":-32601,"message":"x"})") << 9u
                                                         << "Server returned JSON-RPC error -31601: " << -31601;
    QTest::newRow("account link: 32000 wraps to -32536")
        << 1000 << QByteArray(R"({"code":32000})") << 9u << "Server returned JSON-RPC error -32536: " << -32536;
    QTest::newRow("account link: sum of zero is a failure")
        << 1000 << QByteArray(R"({"code":-1000,"message":"x"})") << 9u << "Server returned JSON-RPC error 0: " << 0;
    QTest::newRow("IPC link: standard code") << 0 << QByteArray(R"({"code":-32601,"message":"ignored"})") << 9u
                                             << "Server returned JSON-RPC error -32601: Method not found" << -32601;
    QTest::newRow("IPC link: code 0 is a failure")
        << 0 << QByteArray(R"({"code":0,"message":"fine?"})") << 9u << "Server returned JSON-RPC error 0: " << 0;
    QTest::newRow("IPC link: own code") << 0 << QByteArray(R"({"code":1,"message":"No such profile"})") << 1u
                                        << "No such profile" << 1;
}

void tst_JsonRPCCalls::errorObjects()
{
    QFETCH(int, offset);
    QFETCH(QByteArray, error);
    QFETCH(uint, code);
    QFETCH(QString, message);
    QFETCH(int, rpcCode);

    JsonRPC engine;
    engine.setErrorCodeOffset(quint16(offset));
    Outcome call(engine.call("updateNic"));
    engine.serializeOutgoingRequest(nullptr);
    QVERIFY(engine.incomingResponse(R"({"error":)" + error + R"(,"id":1,"jsonrpc":"2.0"})"));
    QCOMPARE(call.finishes, 1);
    QCOMPARE(call.code, code);
    QCOMPARE(call.message, message);
    QCOMPARE(call.rpcCode, rpcCode);
}

void tst_JsonRPCCalls::batchAnswerMatchesByIdPastInvalidItems()
{
    JsonRPC engine;
    Outcome first(engine.call("a"));
    Outcome second(engine.call("b"));
    engine.serializeOutgoingRequest(nullptr);

    QTest::ignoreMessage(QtDebugMsg, "Invalid or unexpected json-rpc response");
    QTest::ignoreMessage(QtDebugMsg, "Invalid or unexpected json-rpc response");
    QVERIFY(engine.incomingResponse(R"([{"id":2,"jsonrpc":"2.0","result":"b"},5,{"id":9,"jsonrpc":"2.0","result":0},)"
                                    R"({"id":1,"jsonrpc":"2.0","result":"a"}])"));
    QCOMPARE(first.result, QVariant(QStringLiteral("a")));
    QCOMPARE(second.result, QVariant(QStringLiteral("b")));

    // Answered calls have left the table: a repeated answer matches nothing.
    QTest::ignoreMessage(QtDebugMsg, "Invalid or unexpected json-rpc response");
    QVERIFY(!engine.incomingResponse(responseWithId("1")));
    QCOMPARE(first.finishes, 1);
}

void tst_JsonRPCCalls::responseBeforeAnyCall()
{
    JsonRPC engine;
    QVERIFY(engine.incomingResponse(QByteArray()));
    QTest::ignoreMessage(QtDebugMsg, "json-rpc data received while nothing expected. ignoring..");
    QVERIFY(!engine.incomingResponse(responseWithId("1")));

    for (const QByteArray &text : { QByteArray("nonsense"), QByteArray("[]"), QByteArray("3") }) {
        JsonRPC waiting;
        Outcome call(waiting.call("a"));
        waiting.serializeOutgoingRequest(nullptr);
        QTest::ignoreMessage(QtDebugMsg, qPrintable("Failed to parse json data: " + text));
        QVERIFY(!waiting.incomingResponse(text));
        QCOMPARE(call.finishes, 0);
        waiting.dropAllOutgoing(Error(Error::NotConnected, QString()));
    }
}

void tst_JsonRPCCalls::contextAnswerFailsTheUnanswered()
{
    JsonRPC engine;
    engine.setErrorCodeOffset(1000);
    Carrier carrier;
    QList<JsonRPCCall *> calls { engine.call("a"), engine.call("b"), engine.call("c") };
    Outcome a(calls[0]), b(calls[1]), c(calls[2]);
    engine.serializeOutgoingRequest(&carrier);
    QCOMPARE(calls[1]->parentRequest(), &carrier);
    QVERIFY(RequestManager::instance()->requests().isEmpty());

    QVERIFY(engine.incomingContextedResponse(R"({"id":2,"jsonrpc":"2.0","result":[1]})", &carrier));
    QCOMPARE(b.code, 0u);
    QCOMPARE(b.result, QVariant(QVariantList { 1 }));
    for (const Outcome *unanswered : { &a, &c }) {
        QCOMPARE(unanswered->finishes, 1);
        QCOMPARE(unanswered->code, uint(Error::InvalidResponse));
        QCOMPARE(unanswered->message, QStringLiteral("No valid JSON-RPC response received"));
    }
    // The carrier finishing afterwards finds nothing left to fail.
    carrier.requestFinished(Error());
    QCOMPARE(a.finishes, 1);
    qDeleteAll(calls);
}

void tst_JsonRPCCalls::contextFailureFailsItsCalls()
{
    JsonRPC engine;
    Carrier carrier;
    JsonRPCCall *call = engine.call("a");
    Outcome outcome(call);
    engine.serializeOutgoingRequest(&carrier);
    carrier.requestFinished(Error(31, QStringLiteral("Connection refused")));
    QCOMPARE(outcome.code, 31u);
    QCOMPARE(outcome.message, QStringLiteral("Connection refused"));
    QCOMPARE(outcome.rpcCode, 31);
    QCOMPARE(call->rpcError().message, QStringLiteral("Connection refused"));

    // An empty answer for a context with calls fails them with code 9.
    Carrier second;
    JsonRPCCall *other = engine.call("b");
    Outcome failed(other);
    engine.serializeOutgoingRequest(&second);
    QTest::ignoreMessage(QtDebugMsg, "empty json-rpc response received while data expected");
    QTest::ignoreMessage(QtDebugMsg, "Failed to parse json data: ");
    QVERIFY(!engine.incomingContextedResponse(QByteArray(), &second));
    QCOMPARE(failed.code, uint(Error::InvalidResponse));
    delete call;
    delete other;
}

void tst_JsonRPCCalls::notificationsLeaveNoContextEntry()
{
    JsonRPC engine;
    Carrier carrier;
    engine.notify("a");
    engine.notify("b");
    QCOMPARE(engine.serializeOutgoingRequest(&carrier),
        QStringLiteral(R"([{"jsonrpc":"2.0","method":"a"},{"jsonrpc":"2.0","method":"b"}])"));
    QVERIFY(engine.incomingContextedResponse(QByteArray(), &carrier));
    QTest::ignoreMessage(QtDebugMsg, "json-rpc data received while nothing expected. ignoring..");
    QVERIFY(!engine.incomingContextedResponse("[]", &carrier));
}

void tst_JsonRPCCalls::dropAllKeepsQueuedMessages()
{
    JsonRPC engine;
    engine.useGrouping(false);
    Outcome written(engine.call("a"));
    engine.serializeOutgoingRequest(nullptr);
    Outcome queued(engine.call("b"));

    engine.dropAllOutgoing(Error(Error::NotConnected, QString()));
    QCOMPARE(written.finishes, 1);
    QCOMPARE(written.code, uint(Error::NotConnected));
    QCOMPARE(written.rpcCode, 3);
    QCOMPARE(queued.finishes, 0);
    QVERIFY(engine.hasPendingOutgoingRequest());

    // A finished call is still in the table until it is deleted, so a late answer finishes it again.
    QVERIFY(engine.incomingResponse(responseWithId("1")));
    QCOMPARE(written.finishes, 2);
    flushDeletes();
    QVERIFY(!written.call);

    QCOMPARE(engine.serializeOutgoingRequest(nullptr), QStringLiteral(R"({"id":2,"jsonrpc":"2.0","method":"b"})"));
    engine.dropAllOutgoing(Error(Error::NotConnected, QString()));
    QCOMPARE(queued.code, uint(Error::NotConnected));
}

void tst_JsonRPCCalls::writtenCallGetsDefaultDeadline()
{
    JsonRPC engine;
    Outcome call(engine.call("a"));
    // A queued call has no deadline yet.
    fakeNow += 60000;
    QVERIFY(RequestManager::instance()->requests().isEmpty());
    engine.serializeOutgoingRequest(nullptr);
    QCOMPARE(RequestManager::instance()->requests(), QList<Request *> { call.call.data() });

    auto manager = RequestManagerPrivate::get(RequestManager::instance());
    fakeNow += 30000;
    manager->checkTimeouts();
    QCOMPARE(call.finishes, 0);
    fakeNow += 1;
    manager->checkTimeouts();
    QCOMPARE(call.finishes, 1);
    QCOMPARE(call.code, uint(Error::Timeout));
    QCOMPARE(call.rpcCode, 0);
    flushDeletes();
    QVERIFY(!call.call);
}

void tst_JsonRPCCalls::destroyedCallLeavesTheTable()
{
    JsonRPC engine;
    Carrier carrier;
    JsonRPCCall *call = engine.call("a");
    engine.serializeOutgoingRequest(&carrier);
    delete call;
    // The context has no calls left, so an empty answer is accepted silently.
    QVERIFY(engine.incomingContextedResponse(QByteArray(), &carrier));

    // A call that lost its id to a newer one after the ids wrapped does not remove the newer one.
    engine.findChild<JsonRPC::Private *>()->lastId = 0;
    JsonRPCCall *old = engine.call("old");
    engine.serializeOutgoingRequest(nullptr);
    engine.findChild<JsonRPC::Private *>()->lastId = 0;
    Outcome newer(engine.call("new"));
    engine.serializeOutgoingRequest(nullptr);
    RequestManager::instance()->drop(old);
    QVERIFY(engine.incomingResponse(responseWithId("1")));
    QCOMPARE(newer.finishes, 1);
}

void tst_JsonRPCCalls::finishHandlerMayDestroyTheEngine()
{
    auto engine = new JsonRPC;
    JsonRPCCall *first = engine->call("a");
    Outcome second(engine->call("b"));
    engine->serializeOutgoingRequest(nullptr);
    connect(first, &Request::finished, engine, [&engine] {
        delete engine;
        engine = nullptr;
    });
    QVERIFY(engine->incomingResponse(R"([{"id":1,"jsonrpc":"2.0","result":1},{"id":2,"jsonrpc":"2.0","result":2}])"));
    QVERIFY(!engine);
    // The engine is gone: the rest of the text is not read.
    QCOMPARE(second.finishes, 0);
    RequestManager::instance()->drop(second.call);
}

void tst_JsonRPCCalls::finishHandlerMayDestroyOtherCalls()
{
    JsonRPC engine;
    JsonRPCCall *first = engine.call("a");
    QPointer<JsonRPCCall> second(engine.call("b"));
    Outcome third(engine.call("c"));
    engine.serializeOutgoingRequest(nullptr);
    connect(first, &Request::finished, first, [&second] { delete second.data(); });

    // The answer to the call deleted meanwhile matches nothing; the next one still matches.
    QTest::ignoreMessage(QtDebugMsg, "Invalid or unexpected json-rpc response");
    QVERIFY(engine.incomingResponse(R"([{"id":1,"jsonrpc":"2.0","result":1},{"id":2,"jsonrpc":"2.0","result":2},)"
                                    R"({"id":3,"jsonrpc":"2.0","result":3}])"));
    QVERIFY(!second);
    QCOMPARE(third.finishes, 1);
    QCOMPARE(third.result, QVariant(3));

    // Dropping the calls of a lost link: the one deleted by an earlier one's handler is not aborted.
    JsonRPCCall *fourth = engine.call("d");
    JsonRPCCall *fifth = engine.call("e");
    engine.serializeOutgoingRequest(nullptr);
    int aborted = 0;
    connect(fourth, &Request::finished, fourth, [&aborted, fifth] {
        ++aborted;
        delete fifth;
    });
    connect(fifth, &Request::finished, fifth, [&aborted, fourth] {
        ++aborted;
        delete fourth;
    });
    engine.dropAllOutgoing(Error(Error::NotConnected, QString()));
    QCOMPARE(aborted, 1);
}

QTEST_GUILESS_MAIN(tst_JsonRPCCalls)
#include "tst_jsonrpccalls.moc"
