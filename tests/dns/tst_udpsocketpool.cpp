#include "dns/dnsclock.h"
#include "dns/udpsocketpool.h"
#include "fakeupstream.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace Velmor;
using namespace Velmor::DNS;

namespace {

// A query's waiter that keeps what it was offered and takes only the response to its request.
struct Recorder : UdpSocketPool::Waiter
{
    bool offer(Packet &message) override
    {
        offered.append(message);
        return message.isResponseTo(request);
    }

    Packet request;
    QList<Packet> offered;
    UdpSocketPool::Ticket ticket;
};

} // namespace

class tst_UdpSocketPool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void responseReachesItsWaiter();
    void repliesNoWaiterTakes_data();
    void repliesNoWaiterTakes();
    void socketsAreShared();
    void socketRetiresAfterItsQueries();
    void socketRetiresWithAge();
    void idsNeverRepeatOnASocket();
    void lateReplyIsNotTakenForANewerQuery();
    void refusalOfAnEarlierDatagramDoesNotFailTheNext();
    void invalidServer();
    void silentServerBoundsWaitingQueries();
    void silentServerBoundsOpenSockets();

private:
    bool send(UdpSocketPool &pool, Recorder &recorder, const QByteArray &name = "a.test");
    QSet<quint16> sourcePorts() const;

    FakeUpstream *upstream = nullptr;
};

void tst_UdpSocketPool::initTestCase()
{
    DNS::setClock(&FakeClock::read);
}

void tst_UdpSocketPool::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    upstream = new FakeUpstream;
    QVERIFY(upstream->open(false));
}

void tst_UdpSocketPool::cleanup()
{
    delete upstream;
    upstream = nullptr;
}

bool tst_UdpSocketPool::send(UdpSocketPool &pool, Recorder &recorder, const QByteArray &name)
{
    recorder.request = Packet::makeQuery(name, 1);
    Error error;
    return pool.send(recorder.request, &recorder, &recorder.ticket, &error);
}

QSet<quint16> tst_UdpSocketPool::sourcePorts() const
{
    QSet<quint16> ports;
    for (const FakeUpstream::Received &received : std::as_const(upstream->received))
        ports.insert(received.senderPort);
    return ports;
}

void tst_UdpSocketPool::responseReachesItsWaiter()
{
    UdpSocketPool pool(QHostAddress::LocalHost, upstream->port());
    Recorder recorder;
    QVERIFY(send(pool, recorder));
    QTRY_COMPARE(upstream->received.size(), 1);
    QCOMPARE(upstream->received.at(0).message.id(), recorder.request.id());
    QCOMPARE(recorder.ticket.id, recorder.request.id());
    QCOMPARE(pool.waitingCount(), 1);

    upstream->answer(0);
    QTRY_COMPARE(recorder.offered.size(), 1);
    QVERIFY(recorder.offered.at(0).isResponseTo(recorder.request));
    QCOMPARE(pool.waitingCount(), 0);
}

void tst_UdpSocketPool::repliesNoWaiterTakes_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("offered");
    QTest::newRow("another ID") << "id" << false;
    QTest::newRow("the ID, forged from another port") << "forged" << false;
    QTest::newRow("shorter than a header") << "short" << false;
    // Offered, refused, and the waiter waits on for its real response.
    QTest::newRow("the ID, another question") << "question" << true;
}

void tst_UdpSocketPool::repliesNoWaiterTakes()
{
    QFETCH(QString, kind);
    QFETCH(bool, offered);
    UdpSocketPool pool(QHostAddress::LocalHost, upstream->port(), 1);
    Recorder recorder;
    QVERIFY(send(pool, recorder));
    QTRY_COMPARE(upstream->received.size(), 1);
    const FakeUpstream::Received &got = upstream->received.at(0);

    QUdpSocket forger;
    QVERIFY(forger.bind(QHostAddress::LocalHost, 0));
    Packet other = FakeUpstream::answerTo(got.message, 0x06060606);
    if (kind == QLatin1String("id")) {
        other.setId(quint16(got.message.id() + 1));
        upstream->reply(got, other);
    } else if (kind == QLatin1String("forged")) {
        forger.writeDatagram(other.toByteArray(), got.sender, got.senderPort);
    } else if (kind == QLatin1String("short")) {
        upstream->udp.writeDatagram(other.toByteArray().left(11), got.sender, got.senderPort);
    } else {
        Packet question = Packet::makeQuery("b.test", 1);
        question.setId(got.message.id());
        upstream->reply(got, FakeUpstream::answerTo(question));
    }
    // Sent after the other on the same path, so it arrives after it.
    upstream->answer(0);
    QTRY_COMPARE(pool.waitingCount(), 0);
    QCOMPARE(recorder.offered.size(), offered ? 2 : 1);
    QVERIFY(recorder.offered.last().isResponseTo(recorder.request));
    const QByteArray answer = recorder.offered.last().toByteArray();
    QCOMPARE(answer.right(4), hex("0a000001"));
}

void tst_UdpSocketPool::socketsAreShared()
{
    UdpSocketPool pool(QHostAddress::LocalHost, upstream->port());
    Recorder recorders[40];
    for (Recorder &recorder : recorders)
        QVERIFY(send(pool, recorder));
    QTRY_COMPARE(upstream->received.size(), 40);
    QVERIFY(pool.socketCount() <= UdpSocketPool::DefaultSize);
    QVERIFY(sourcePorts().size() <= UdpSocketPool::DefaultSize);
    // Each response still finds its own waiter, whatever socket it shares.
    for (int i = 0; i < 40; ++i)
        upstream->answer(i);
    QTRY_COMPARE(pool.waitingCount(), 0);
    for (const Recorder &recorder : recorders)
        QCOMPARE(recorder.offered.size(), 1);
}

void tst_UdpSocketPool::socketRetiresAfterItsQueries()
{
    const int limit = 5;
    UdpSocketPool pool(QHostAddress::LocalHost, upstream->port(), 1, limit);
    Recorder recorders[limit + 1];
    for (Recorder &recorder : recorders)
        QVERIFY(send(pool, recorder));
    QTRY_COMPARE(upstream->received.size(), limit + 1);
    QCOMPARE(sourcePorts().size(), 2);
    QCOMPARE(upstream->received.at(limit - 1).senderPort, upstream->received.at(0).senderPort);
    // The spent socket stays open for the queries that wait on it, and closes with the last of them.
    QCOMPARE(pool.socketCount(), 2);
    for (int i = 0; i < limit - 1; ++i)
        pool.cancel(&recorders[i].ticket);
    upstream->answer(limit - 1);
    QTRY_COMPARE(recorders[limit - 1].offered.size(), 1);
    QTRY_COMPARE(pool.socketCount(), 1);
}

void tst_UdpSocketPool::socketRetiresWithAge()
{
    UdpSocketPool pool(QHostAddress::LocalHost, upstream->port(), 1);
    Recorder first, second;
    QVERIFY(send(pool, first));
    FakeClock::advance(UdpSocketPool::MaxSocketAge);
    QVERIFY(send(pool, second));
    QTRY_COMPARE(upstream->received.size(), 2);
    QCOMPARE(sourcePorts().size(), 2);
    QCOMPARE(pool.socketCount(), 2);
    upstream->answer(0);
    QTRY_COMPARE(pool.socketCount(), 1);

    // Aged while a query waits: it takes no new one, and closes once nothing waits.
    FakeClock::advance(UdpSocketPool::MaxSocketAge);
    pool.sweep();
    QCOMPARE(pool.socketCount(), 1);
    upstream->answer(1);
    QTRY_COMPARE(pool.socketCount(), 0);

    // An idle socket goes at the sweep after its age.
    Recorder third;
    QVERIFY(send(pool, third));
    QTRY_COMPARE(upstream->received.size(), 3);
    upstream->answer(2);
    QTRY_COMPARE(pool.waitingCount(), 0);
    pool.sweep();
    QCOMPARE(pool.socketCount(), 1);
    FakeClock::advance(UdpSocketPool::MaxSocketAge);
    pool.sweep();
    QCOMPARE(pool.socketCount(), 0);
}

void tst_UdpSocketPool::idsNeverRepeatOnASocket()
{
    // Far more IDs than random draws could give without a repeat, on one socket, each given up at once.
    const int count = 3000;
    UdpSocketPool pool(QHostAddress::LocalHost, upstream->port(), 1, count);
    QSet<quint16> ids;
    QSet<UdpSocketPool::Socket *> sockets;
    for (int i = 0; i < count; ++i) {
        Recorder recorder;
        QVERIFY(send(pool, recorder));
        ids.insert(recorder.ticket.id);
        sockets.insert(recorder.ticket.socket);
        pool.cancel(&recorder.ticket);
        QCOMPARE(recorder.ticket.socket, nullptr);
    }
    QCOMPARE(ids.size(), count);
    QCOMPARE(sockets.size(), 1);
    // Used up, it closed with the last query it carried.
    QCOMPARE(pool.socketCount(), 0);
}

void tst_UdpSocketPool::lateReplyIsNotTakenForANewerQuery()
{
    UdpSocketPool pool(QHostAddress::LocalHost, upstream->port(), 1);
    Recorder expired, newer;
    QVERIFY(send(pool, expired));
    QTRY_COMPARE(upstream->received.size(), 1);
    pool.cancel(&expired.ticket);
    // The same question again, on the same socket.
    QVERIFY(send(pool, newer));
    QTRY_COMPARE(upstream->received.size(), 2);
    QCOMPARE(upstream->received.at(1).senderPort, upstream->received.at(0).senderPort);
    QVERIFY(newer.request.id() != expired.request.id());

    upstream->reply(upstream->received.at(0), FakeUpstream::answerTo(upstream->received.at(0).message, 0x06060606));
    upstream->answer(1);
    QTRY_COMPARE(newer.offered.size(), 1);
    QCOMPARE(newer.offered.at(0).id(), newer.request.id());
    QCOMPARE(newer.offered.at(0).toByteArray().right(4), hex("0a000001"));
    QCOMPARE(expired.offered.size(), 0);
}

void tst_UdpSocketPool::refusalOfAnEarlierDatagramDoesNotFailTheNext()
{
    quint16 closedPort = 0;
    {
        QUdpSocket gone;
        QVERIFY(gone.bind(QHostAddress::LocalHost, 0));
        closedPort = gone.localPort();
    }
    UdpSocketPool pool(QHostAddress::LocalHost, closedPort, 1);
    Recorder first, second;
    QVERIFY(send(pool, first));
    // Without the event loop in between, the refusal of the first datagram waits on the socket for the next send.
    QVERIFY(send(pool, second));
    QCOMPARE(pool.waitingCount(), 2);
    QCoreApplication::processEvents();
    QCOMPARE(pool.waitingCount(), 2);
    QCOMPARE(first.offered.size() + second.offered.size(), 0);
}

void tst_UdpSocketPool::invalidServer()
{
    UdpSocketPool pool(QHostAddress(), 53);
    Recorder recorder;
    recorder.request = Packet::makeQuery("a.test", 1);
    Error error;
    QVERIFY(!pool.send(recorder.request, &recorder, &recorder.ticket, &error));
    QCOMPARE(error.code(), 1u);
    QCOMPARE(error.message(), QStringLiteral("The server address is not valid"));
    QCOMPARE(pool.socketCount(), 0);
}

void tst_UdpSocketPool::silentServerBoundsWaitingQueries()
{
    // The server never answers: the queries pile up until the bound, and the next one fails at once.
    UdpSocketPool pool(QHostAddress::LocalHost, upstream->port());
    std::vector<Recorder> recorders(size_t(UdpSocketPool::MaxWaiting) + 1);
    for (int i = 0; i < UdpSocketPool::MaxWaiting; ++i)
        QVERIFY2(send(pool, recorders[size_t(i)]), qPrintable(QString::number(i)));
    QCOMPARE(pool.waitingCount(), UdpSocketPool::MaxWaiting);
    QVERIFY(pool.socketCount() <= UdpSocketPool::MaxSockets);
    Recorder &last = recorders.back();
    last.request = Packet::makeQuery("a.test", 1);
    Error error;
    QVERIFY(!pool.send(last.request, &last, &last.ticket, &error));
    QVERIFY(!error.message().isEmpty());
    QCOMPARE(last.ticket.socket, nullptr);
    // One that gives up makes room for the next.
    pool.cancel(&recorders.front().ticket);
    QCOMPARE(pool.waitingCount(), UdpSocketPool::MaxWaiting - 1);
    QVERIFY(send(pool, last));
    QCOMPARE(pool.waitingCount(), UdpSocketPool::MaxWaiting);
    for (Recorder &recorder : recorders)
        pool.cancel(&recorder.ticket);
    QCOMPARE(pool.waitingCount(), 0);
}

void tst_UdpSocketPool::silentServerBoundsOpenSockets()
{
    // One query per socket: each retires at once and stays open while its query waits.
    UdpSocketPool pool(QHostAddress::LocalHost, upstream->port(), UdpSocketPool::DefaultSize, 1);
    std::vector<Recorder> recorders(size_t(UdpSocketPool::MaxSockets) + 1);
    for (int i = 0; i < UdpSocketPool::MaxSockets; ++i)
        QVERIFY2(send(pool, recorders[size_t(i)]), qPrintable(QString::number(i)));
    QCOMPARE(pool.socketCount(), UdpSocketPool::MaxSockets);
    QVERIFY(!send(pool, recorders.back()));
    QCOMPARE(pool.socketCount(), UdpSocketPool::MaxSockets);
    // Once a query ends, its socket closes and a new one may open.
    pool.cancel(&recorders.front().ticket);
    QTRY_COMPARE(pool.socketCount(), UdpSocketPool::MaxSockets - 1);
    QVERIFY(send(pool, recorders.back()));
    for (Recorder &recorder : recorders)
        pool.cancel(&recorder.ticket);
    QTRY_COMPARE(pool.socketCount(), 0);
}

QTEST_GUILESS_MAIN(tst_UdpSocketPool)
#include "tst_udpsocketpool.moc"
