#include "dns/dnsclock.h"
#include "dns/udpforwarder.h"
#include "dns/udpsocketpool.h"
#include "dns/udptransport.h"
#include "fakeupstream.h"

#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QTest>
#include <QUdpSocket>

using namespace Velmor;
using namespace Velmor::DNS;

// The proxy's UDP clients as the proxy serves them: the proxy's socket, the forwarder, and a pool to a fake resolver.
class tst_UdpForwarder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void receiveReadsOneDatagram_data();
    void receiveReadsOneDatagram();
    void answerGoesToTheSender();
    void failedSendGivesServfail();
    void deadlineGivesServfail();
    void requestOfManyQuestionsIsNotRemembered();
    void answerLeavesFromTheAddressAsked();
    void answerAfterTheSocketIsClosed();
    void answerAfterTheSocketIsGone();
    void fullShareEndsTheSameUsersOldest();
    void fullForwarderEndsTheLargestShare();
    void allSocketsTakenEndTheLargestHoldersOldest();

private:
    // Reads the proxy's socket as the proxy does, forwarding every well-formed request with token 7.
    void serve();
    // Sends the client's query with the id as if a local user had sent it.
    void forwardAs(qint64 owner, quint16 id);
    // The client's request through the forwarder to the resolver; false when it did not get there.
    bool forwardFromClient(const QByteArray &request);
    QList<QByteArray> answers(int count);

    FakeUpstream *upstream = nullptr;
    UdpSocketPool *pool = nullptr;
    QUdpSocket *proxySocket = nullptr;
    UdpForwarder *forwarder = nullptr;
    QUdpSocket *client = nullptr;
};

void tst_UdpForwarder::initTestCase()
{
    DNS::setClock(&FakeClock::read);
}

void tst_UdpForwarder::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    upstream = new FakeUpstream;
    QVERIFY(upstream->open(false));
    pool = new UdpSocketPool(QHostAddress::LocalHost, upstream->port(), 1);
    proxySocket = new QUdpSocket;
    QVERIFY(proxySocket->bind(QHostAddress::LocalHost, 0));
    setReceiveBufferSize(proxySocket);
    forwarder = new UdpForwarder(proxySocket);
    client = new QUdpSocket;
    QVERIFY(client->bind(QHostAddress::LocalHost, 0));
}

void tst_UdpForwarder::cleanup()
{
    delete client;
    delete forwarder;
    delete proxySocket;
    delete pool;
    delete upstream;
}

void tst_UdpForwarder::serve()
{
    Packet request;
    QHostAddress sender;
    QHostAddress destination;
    quint16 port = 0;
    while (forwarder->receive(&request, &sender, &port, &destination)) {
        if (request.isWellFormed())
            forwarder->forward(sender, port, request, 7, pool, false, destination);
    }
}

bool tst_UdpForwarder::forwardFromClient(const QByteArray &request)
{
    const qsizetype before = upstream->received.size();
    client->writeDatagram(request, QHostAddress::LocalHost, proxySocket->localPort());
    if (!QTest::qWaitFor([this] { return proxySocket->hasPendingDatagrams(); }, 5000))
        return false;
    serve();
    return QTest::qWaitFor([&] { return upstream->received.size() > before; }, 5000);
}

QList<QByteArray> tst_UdpForwarder::answers(int count)
{
    QList<QByteArray> result;
    const bool enough = QTest::qWaitFor(
        [&] {
            while (client->hasPendingDatagrams())
                result.append(client->receiveDatagram().data());
            return result.size() >= count;
        },
        5000);
    Q_UNUSED(enough);
    return result;
}

void tst_UdpForwarder::receiveReadsOneDatagram_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("wellFormed");
    QTest::newRow("query") << hex("0102 0100 0001 0000 0000 0000 01 61 00 0001 0001") << true;
    QTest::newRow("header only") << hex("0102 0100 0001 0000 0000 0000") << false;
    QTest::newRow("short") << hex("0102") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("SRV answer") << hex(
        "0001 8180 0001 0001 0000 0000 01 61 00 0021 0001 c00c 0021 0001 0000003c 0008 0001 0002 0035 0000")
                                << true;
}

void tst_UdpForwarder::receiveReadsOneDatagram()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, wellFormed);
    client->writeDatagram(datagram, QHostAddress::LocalHost, proxySocket->localPort());
    client->writeDatagram(datagram, QHostAddress::LocalHost, proxySocket->localPort());
    QTRY_VERIFY(proxySocket->hasPendingDatagrams());

    Packet message;
    QHostAddress sender;
    quint16 port = 0;
    QVERIFY(forwarder->receive(&message, &sender, &port));
    QCOMPARE(message.rawData(), datagram);
    QCOMPARE(message.isWellFormed(), wellFormed);
    QCOMPARE(sender, QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(port, client->localPort());
    // The second datagram is left for the next read.
    QVERIFY(forwarder->receive(&message, &sender, &port));
    QCOMPARE(message.rawData(), datagram);
    QVERIFY(!forwarder->receive(&message, &sender, &port));
}

void tst_UdpForwarder::answerGoesToTheSender()
{
    const QByteArray request = clientQuery(0x0102);
    QVERIFY(forwardFromClient(request));
    QCOMPARE(forwarder->pendingCount(), 1);
    // Flags, question and the record as the client sent them, under an ID of the proxy's.
    const QByteArray sent = upstream->received.at(0).message.toByteArray();
    QCOMPARE(sent.mid(2, 8), request.mid(2, 8));
    QCOMPARE(sent.mid(10, 2), hex("0001"));
    QCOMPARE(sent.mid(12), request.mid(12) + hex("00 ffed 0001 00000000 0004 00000007"));

    upstream->answer(0);
    const QList<QByteArray> got = answers(1);
    QCOMPARE(got.size(), 1);
    const Packet answer(got.at(0));
    QCOMPARE(answer.id(), quint16(0x0102));
    QVERIFY(answer.isResponse());
    QCOMPARE(answer.answers().size(), 1);
    QCOMPARE(forwarder->pendingCount(), 0);
}

void tst_UdpForwarder::failedSendGivesServfail()
{
    UdpSocketPool nowhere { QHostAddress(), 53 };
    const QByteArray request = clientQuery(0x0203);
    forwarder->forward(QHostAddress::LocalHost, client->localPort(), Packet(request), 7, &nowhere, false);
    QCOMPARE(forwarder->pendingCount(), 0);
    const QList<QByteArray> got = answers(1);
    QCOMPARE(got.size(), 1);
    const Packet answer(got.at(0));
    QCOMPARE(answer.id(), quint16(0x0203));
    QCOMPARE(answer.responseCode(), int(Packet::ServerFailure));
    // The request as it would have gone upstream, record included.
    QCOMPARE(answer.additionalCount(), quint16(1));
}

void tst_UdpForwarder::deadlineGivesServfail()
{
    QVERIFY(forwardFromClient(clientQuery(0x0301)));
    FakeClock::advance(10000);
    forwarder->expire();
    QCOMPARE(forwarder->pendingCount(), 1);
    QVERIFY(!client->hasPendingDatagrams());
    FakeClock::advance(1);
    forwarder->expire();
    QCOMPARE(forwarder->pendingCount(), 0);
    // The client hears that the request failed rather than waiting on for an answer nobody will relay.
    const QList<QByteArray> failed = answers(1);
    QCOMPARE(failed.size(), 1);
    const Packet servfail(failed.at(0));
    QCOMPARE(servfail.id(), quint16(0x0301));
    QVERIFY(servfail.isResponse());
    QCOMPARE(servfail.responseCode(), int(Packet::ServerFailure));
    QCOMPARE(servfail.questions().first()->name, QByteArray("a.test"));

    // Asked again at once, the question that went unanswered fails at once rather than waiting again.
    const qsizetype sent = upstream->received.size();
    client->writeDatagram(clientQuery(0x0303), QHostAddress::LocalHost, proxySocket->localPort());
    QVERIFY(QTest::qWaitFor([this] { return proxySocket->hasPendingDatagrams(); }, 5000));
    serve();
    const QList<QByteArray> remembered = answers(1);
    QCOMPARE(remembered.size(), 1);
    QCOMPARE(Packet(remembered.at(0)).id(), quint16(0x0303));
    QCOMPARE(Packet(remembered.at(0)).responseCode(), int(Packet::ServerFailure));
    QCOMPARE(upstream->received.size(), sent);
    QCOMPARE(forwarder->pendingCount(), 0);

    // Later the same question goes out again, on the same socket; the late answer to the first is not taken for it.
    FakeClock::advance(UdpForwarder::UnansweredMemory);
    QVERIFY(forwardFromClient(clientQuery(0x0302)));
    upstream->answer(0);
    upstream->answer(1);
    const QList<QByteArray> got = answers(1);
    QCOMPARE(got.size(), 1);
    QCOMPARE(Packet(got.at(0)).id(), quint16(0x0302));
    QCOMPARE(forwarder->pendingCount(), 0);
    QVERIFY(!client->hasPendingDatagrams());
}

void tst_UdpForwarder::requestOfManyQuestionsIsNotRemembered()
{
    // Two questions in one request: what a resolver never sends, and what would let a sender choose the size of
    // what is remembered.
    QByteArray request = clientQuery(0x0401);
    const QByteArray question = request.mid(12);
    request[5] = 2;
    request += question;
    QVERIFY(forwardFromClient(request));
    FakeClock::advance(10001);
    forwarder->expire();
    QCOMPARE(forwarder->pendingCount(), 0);
    QCOMPARE(answers(1).size(), 1);

    // Asked again at once, it goes upstream again.
    const qsizetype sent = upstream->received.size();
    request[1] = 0x02;
    QVERIFY(forwardFromClient(request));
    QCOMPARE(upstream->received.size(), sent + 1);
    QCOMPARE(forwarder->pendingCount(), 1);
}

void tst_UdpForwarder::answerLeavesFromTheAddressAsked()
{
    // Listening on every address, the proxy is asked at a loopback address other than the first.
    delete forwarder;
    delete proxySocket;
    proxySocket = new QUdpSocket;
    QVERIFY(proxySocket->bind(QHostAddress::AnyIPv4, 0));
    forwarder = new UdpForwarder(proxySocket);
    const QHostAddress asked(QStringLiteral("127.0.0.2"));
    for (quint16 id : { quint16(0x0601), quint16(0x0602) }) {
        const qsizetype before = upstream->received.size();
        client->writeDatagram(clientQuery(id), asked, proxySocket->localPort());
        QVERIFY(QTest::qWaitFor([this] { return proxySocket->hasPendingDatagrams(); }, 5000));
        serve();
        QVERIFY(QTest::qWaitFor([&] { return upstream->received.size() > before; }, 5000));
        // The first is answered by the resolver, the second fails at its deadline: both from the address asked.
        if (id == 0x0601) {
            upstream->answer(int(before));
        } else {
            FakeClock::advance(10001);
            forwarder->expire();
        }
        QVERIFY(QTest::qWaitFor([this] { return client->hasPendingDatagrams(); }, 5000));
        const QNetworkDatagram answer = client->receiveDatagram();
        QCOMPARE(Packet(answer.data()).id(), id);
        QCOMPARE(answer.senderAddress(), asked);
        QCOMPARE(answer.senderPort(), int(proxySocket->localPort()));
    }
}

void tst_UdpForwarder::answerAfterTheSocketIsClosed()
{
    QVERIFY(forwardFromClient(clientQuery(0x0401)));
    proxySocket->close();
    upstream->answer(0);
    QTRY_COMPARE(forwarder->pendingCount(), 0);
    // Not sent from a socket bound anew.
    QCOMPARE(proxySocket->state(), QAbstractSocket::UnconnectedState);
    QVERIFY(!client->hasPendingDatagrams());
}

void tst_UdpForwarder::answerAfterTheSocketIsGone()
{
    QVERIFY(forwardFromClient(clientQuery(0x0501)));
    delete proxySocket;
    proxySocket = nullptr;
    upstream->answer(0);
    QTRY_COMPARE(forwarder->pendingCount(), 0);
    Packet message;
    QHostAddress sender;
    quint16 port = 0;
    QVERIFY(!forwarder->receive(&message, &sender, &port));
}

void tst_UdpForwarder::forwardAs(qint64 owner, quint16 id)
{
    forwarder->forward(
        QHostAddress::LocalHost, client->localPort(), Packet(clientQuery(id)), 7, pool, false, QHostAddress(), owner);
}

void tst_UdpForwarder::fullShareEndsTheSameUsersOldest()
{
    // The resolver answers none of them.
    for (int i = 0; i < UdpForwarder::MaxWaitingPerUser; ++i)
        forwardAs(65534, quint16(i));
    forwardAs(0, 0x7000);
    QCOMPARE(forwarder->pendingCount(65534), UdpForwarder::MaxWaitingPerUser);
    QVERIFY(!client->hasPendingDatagrams());
    // One more of the same user ends his oldest, not the other user's.
    forwardAs(65534, 0x8000);
    const QList<QByteArray> ended = answers(1);
    QCOMPARE(ended.size(), 1);
    QCOMPARE(Packet(ended.at(0)).id(), quint16(0));
    QCOMPARE(Packet(ended.at(0)).responseCode(), int(Packet::ServerFailure));
    QCOMPARE(forwarder->pendingCount(65534), UdpForwarder::MaxWaitingPerUser);
    QCOMPARE(forwarder->pendingCount(0), 1);
    QCOMPARE(forwarder->pendingCount(), UdpForwarder::MaxWaitingPerUser + 1);
}

void tst_UdpForwarder::fullForwarderEndsTheLargestShare()
{
    // Four users fill every place, the third holding two more than the others, and a fifth holds a few.
    const int users = UdpForwarder::MaxWaiting / UdpForwarder::MaxWaitingPerUser;
    for (int user = 0; user < users; ++user) {
        for (int i = user == 2 ? 0 : 2; i < UdpForwarder::MaxWaitingPerUser; ++i)
            forwardAs(1000 + user, quint16(user << 12 | i));
    }
    for (int i = 0; i < 2 * (users - 1); ++i)
        forwardAs(2000, quint16(0xF000 + i));
    QCOMPARE(forwarder->pendingCount(), UdpForwarder::MaxWaiting);
    QVERIFY(!client->hasPendingDatagrams());
    // Another user takes the oldest places of the user who holds the most.
    forwardAs(2001, 0xF100);
    forwardAs(2001, 0xF101);
    const QList<QByteArray> ended = answers(2);
    QCOMPARE(ended.size(), 2);
    QCOMPARE(Packet(ended.at(0)).id(), quint16(2 << 12));
    QCOMPARE(Packet(ended.at(1)).id(), quint16(2 << 12 | 1));
    QCOMPARE(Packet(ended.at(1)).responseCode(), int(Packet::ServerFailure));
    QCOMPARE(forwarder->pendingCount(1002), UdpForwarder::MaxWaitingPerUser - 2);
    QCOMPARE(forwarder->pendingCount(2001), 2);
    QCOMPARE(forwarder->pendingCount(2000), 2 * (users - 1));
    QCOMPARE(forwarder->pendingCount(), UdpForwarder::MaxWaiting);
}

void tst_UdpForwarder::allSocketsTakenEndTheLargestHoldersOldest()
{
    // One user's unanswered queries, each sent once the last socket is too old for another, hold every socket open.
    for (int i = 0; i < UdpSocketPool::MaxSockets; ++i) {
        forwardAs(65534, quint16(i));
        FakeClock::advance(UdpSocketPool::MaxSocketAge);
    }
    QCOMPARE(pool->socketCount(), UdpSocketPool::MaxSockets);
    QCOMPARE(pool->socketsHeldBy(65534), UdpSocketPool::MaxSockets);
    // Another user's query still goes out: the holder's oldest gives up its socket.
    forwardAs(0, 0x7000);
    QCOMPARE(forwarder->pendingCount(0), 1);
    const QList<QByteArray> ended = answers(1);
    QCOMPARE(ended.size(), 1);
    QCOMPARE(Packet(ended.at(0)).id(), quint16(0));
    QCOMPARE(Packet(ended.at(0)).responseCode(), int(Packet::ServerFailure));
    QCOMPARE(forwarder->pendingCount(65534), UdpSocketPool::MaxSockets - 1);
    QCOMPARE(pool->socketCount(), UdpSocketPool::MaxSockets);
}

QTEST_GUILESS_MAIN(tst_UdpForwarder)
#include "tst_udpforwarder.moc"
