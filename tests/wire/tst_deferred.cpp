#include "velmorwire/deferred.h"
#include "velmorwire/error.h"
#include "velmorwire/request.h"

#include <QPointer>
#include <QTest>

using namespace Velmor;

namespace Velmor {

// Receives the outcomes the way the JSON-RPC engine does, through slots named by string.
class Receiver : public QObject
{
    Q_OBJECT

public:
    QVariantList results;
    QList<unsigned int> codes;
    QStringList messages;

public Q_SLOTS:
    void resultReady(QVariant result) { results.append(result); }
    void errorReady(Error error)
    {
        codes.append(error.code());
        messages.append(error.message());
    }
    void wrongType(int) { }
};

// Deletes the request whose deferred() made the handle being fired, as a receiver that owns the request may.
class RequestDeleter : public QObject
{
    Q_OBJECT

public:
    Request *request = nullptr;

public Q_SLOTS:
    void resultReady(QVariant) { deleteRequest(); }
    void errorReady(Error) { deleteRequest(); }

private:
    void deleteRequest()
    {
        delete request;
        request = nullptr;
    }
};

} // namespace Velmor

class tst_Deferred : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { registerErrorMetaType(); }

    void callbackReachesAttachedSlot();
    void attachAfterFiring();
    void errbackReachesAttachedSlot();
    void outcomesDoNotCross();
    void copiesShareTheOutcome();
    void secondFiringIsDelivered();
    void missingSlotAfterFiring();
    void receiverDestroyedBeforeFiring();
    void lastHandleDroppedInsideReceiver();
    void requestDeferred();
    void receiverDeletesTheRequest_data();
    void receiverDeletesTheRequest();
    void metaType();
};

void tst_Deferred::callbackReachesAttachedSlot()
{
    Deferred deferred;
    Receiver r;
    deferred.addCallback(&r, SLOT(resultReady(QVariant)));
    deferred.addErrback(&r, SLOT(errorReady(Error)));
    QVERIFY(r.results.isEmpty());
    deferred.callback(42);
    QCOMPARE(r.results, QVariantList { 42 });
    QVERIFY(r.codes.isEmpty());
}

void tst_Deferred::attachAfterFiring()
{
    Deferred deferred;
    deferred.callback(QString("late"));
    Receiver r;
    deferred.addCallback(&r, SLOT(resultReady(QVariant)));
    QCOMPARE(r.results, QVariantList { QString("late") });
}

void tst_Deferred::errbackReachesAttachedSlot()
{
    Deferred before;
    Receiver r;
    before.addErrback(&r, SLOT(errorReady(Error)));
    before.errback(Error(31, "network"));
    QCOMPARE(r.codes, QList<unsigned int> { 31 });

    Deferred after;
    after.errback(Error(30, "auth failed"));
    Receiver r2;
    after.addErrback(&r2, SLOT(errorReady(Error)));
    QCOMPARE(r2.codes, QList<unsigned int> { 30 });
    QCOMPARE(r2.messages, QStringList { "auth failed" });
}

void tst_Deferred::outcomesDoNotCross()
{
    Deferred failed;
    failed.errback(Error(30, "x"));
    Receiver r;
    failed.addCallback(&r, SLOT(resultReady(QVariant)));
    QVERIFY(r.results.isEmpty());

    Deferred succeeded;
    succeeded.callback(1);
    succeeded.addErrback(&r, SLOT(errorReady(Error)));
    QVERIFY(r.codes.isEmpty());
}

void tst_Deferred::copiesShareTheOutcome()
{
    Deferred original;
    Deferred copy = original;
    Receiver r;
    original.addCallback(&r, SLOT(resultReady(QVariant)));
    copy.callback("via copy");
    QCOMPARE(r.results, QVariantList { "via copy" });

    Deferred third;
    third = copy;
    Receiver r2;
    third.addCallback(&r2, SLOT(resultReady(QVariant)));
    QCOMPARE(r2.results, QVariantList { "via copy" });
}

void tst_Deferred::secondFiringIsDelivered()
{
    Deferred deferred;
    Receiver r;
    deferred.addCallback(&r, SLOT(resultReady(QVariant)));
    deferred.callback(1);
    deferred.callback(2);
    QCOMPARE(r.results, (QVariantList { 1, 2 }));
    Receiver late;
    deferred.addCallback(&late, SLOT(resultReady(QVariant)));
    QCOMPARE(late.results, QVariantList { 2 });
}

void tst_Deferred::missingSlotAfterFiring()
{
    Deferred deferred;
    deferred.callback(1);
    Receiver r;
    QTest::ignoreMessage(QtWarningMsg, "failed to find slot 1noSuchSlot(QVariant)");
    deferred.addCallback(&r, SLOT(noSuchSlot(QVariant)));
    // A slot of another parameter type must never receive the stored value.
    QTest::ignoreMessage(QtWarningMsg, "failed to find slot 1wrongType(int)");
    deferred.addCallback(&r, SLOT(wrongType(int)));
    QVERIFY(r.results.isEmpty());
}

void tst_Deferred::receiverDestroyedBeforeFiring()
{
    Deferred deferred;
    auto *r = new Receiver;
    deferred.addCallback(r, SLOT(resultReady(QVariant)));
    delete r;
    deferred.callback(1); // nothing left to call, nothing to crash
}

void tst_Deferred::lastHandleDroppedInsideReceiver()
{
    auto *holder = new Deferred;
    Receiver r;
    holder->addCallback(&r, SLOT(resultReady(QVariant)));
    QObject dropper;
    // Handles are often held by the receiver that is being called: releasing them there must be safe.
    holder->addCallback(&dropper, SLOT(deleteLater()));
    connect(&dropper, &QObject::destroyed, this, [] {});
    Deferred local = *holder;
    delete holder;
    local.callback(7);
    QCOMPARE(r.results, QVariantList { 7 });
}

void tst_Deferred::requestDeferred()
{
    Request ok;
    Deferred first = ok.deferred();
    Deferred second = ok.deferred();
    Receiver r;
    first.addCallback(&r, SLOT(resultReady(QVariant)));
    second.addCallback(&r, SLOT(resultReady(QVariant)));
    ok.requestFinished(Error());
    QCOMPARE(r.results.size(), 2);
    QVERIFY(!r.results.at(0).isValid());
    QVERIFY(!r.results.at(1).isValid());

    Request timedOut;
    Deferred failed = timedOut.deferred();
    Receiver r2;
    failed.addErrback(&r2, SLOT(errorReady(Error)));
    failed.addCallback(&r2, SLOT(resultReady(QVariant)));
    timedOut.requestFinished(Error(Error::Timeout, QString()));
    QCOMPARE(r2.codes, QList<unsigned int> { Error::Timeout });
    QVERIFY(r2.results.isEmpty());

    // The adapter lives with its request and releases its handle with it.
    QPointer<Request> gone = new Request;
    Deferred orphan = gone->deferred();
    delete gone.data();
    Receiver r3;
    orphan.addCallback(&r3, SLOT(resultReady(QVariant)));
    QVERIFY(r3.results.isEmpty());
}

void tst_Deferred::receiverDeletesTheRequest_data()
{
    QTest::addColumn<uint>("code");

    QTest::newRow("callback") << 0u;
    QTest::newRow("errback") << 5u;
}

// Deleting the request deletes its adapter and the adapter's handle, the one being fired: the firing must not
// touch it afterwards, and the receivers attached after the deleting one are still called.
void tst_Deferred::receiverDeletesTheRequest()
{
    QFETCH(uint, code);

    RequestDeleter deleter;
    QPointer<Request> request = new Request;
    deleter.request = request;
    Receiver after;
    {
        Deferred deferred = request->deferred();
        deferred.addCallback(&deleter, SLOT(resultReady(QVariant)));
        deferred.addErrback(&deleter, SLOT(errorReady(Error)));
        deferred.addCallback(&after, SLOT(resultReady(QVariant)));
        deferred.addErrback(&after, SLOT(errorReady(Error)));
    }
    request->requestFinished(Error(code, QStringLiteral("gone")));
    QVERIFY(!request);
    QCOMPARE(after.results.size(), code ? 0 : 1);
    QCOMPARE(after.codes, code ? QList<unsigned int> { code } : QList<unsigned int>());
}

void tst_Deferred::metaType()
{
    const int id = registerDeferredMetaType();
    QCOMPARE(registerDeferredMetaType(), id);
    QCOMPARE(QMetaType::fromName("Deferred").id(), id);
    QCOMPARE(QMetaType::fromName("Velmor::Deferred").id(), id);

    Deferred deferred;
    const QVariant carried = QVariant::fromValue(deferred);
    Receiver r;
    carried.value<Deferred>().addCallback(&r, SLOT(resultReady(QVariant)));
    deferred.callback("shared");
    QCOMPARE(r.results, QVariantList { "shared" });
}

QTEST_GUILESS_MAIN(tst_Deferred)
#include "tst_deferred.moc"
