#include "dns/dnsclock.h"
#include "dns/query.h"
#include "dns/serversmanager.h"
#include "dns/tcpclienttransport.h"
#include "dns/tcptransportmanager.h"
#include "dns/udpsocketpool.h"
#include "fakeupstream.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace Velmor;
using namespace Velmor::DNS;

namespace {

// What a query ended with, kept past its deletion (queries delete themselves after finishing).
struct Outcome
{
    int finished = 0;
    unsigned code = 0;
    QString message;
    Packet response;
};

QSharedPointer<Outcome> watch(Query *query)
{
    auto outcome = QSharedPointer<Outcome>::create();
    QObject::connect(query, &Query::finished, query, [query, outcome] {
        ++outcome->finished;
        outcome->code = query->error().code();
        outcome->message = query->error().message();
        outcome->response = query->response();
    });
    return outcome;
}

} // namespace

class tst_Query : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void udpQueryTakesItsResponse();
    void udpDeadline_data();
    void udpDeadline();
    void strayMessageDoesNotBlock();
    void replyFromAnotherPortIsIgnored();
    void sendMode_data();
    void sendMode();
    void tcpQueriesShareOneConnection();
    void tcpQueuedUntilConnected();
    void tcpDeadline();
    void refusedTcpConnectionEndsQueriesAtOnce();
    void closedTcpConnectionLeavesThePool_data();
    void closedTcpConnectionLeavesThePool();
    void answerInOtherLetterCase();
    void idleConnectionIsReaped();
    void dropTcpTransports();
    void udpPoolOfAFormerServerGoes();

private:
    Query *sendQuery(const QByteArray &name, int mode, Packet *sent = nullptr, int type = 1);

    FakeUpstream *upstream = nullptr;
};

void tst_Query::initTestCase()
{
    RequestManagerPrivate::get(RequestManager::instance())->clock = &FakeClock::read;
    DNS::setClock(&FakeClock::read);
}

void tst_Query::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    upstream = new FakeUpstream;
    QVERIFY(upstream->open());
}

void tst_Query::cleanup()
{
    ServersManager::instance()->dropTcpTransports();
    qDeleteAll(RequestManager::instance()->requests());
    delete upstream;
    upstream = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

Query *tst_Query::sendQuery(const QByteArray &name, int mode, Packet *sent, int type)
{
    auto *query = new Query;
    Packet message = Packet::makeQuery(name, type);
    const bool ok = query->send(QHostAddress::LocalHost, upstream->port(), message, mode);
    if (!ok)
        qInfo("send failed");
    if (sent)
        *sent = message;
    return query;
}

void tst_Query::udpQueryTakesItsResponse()
{
    Packet sent;
    QPointer<Query> query = sendQuery("a.test", Query::Udp, &sent);
    const auto finished = watch(query.data());
    QTRY_COMPARE(upstream->received.size(), 1);
    QCOMPARE(upstream->received.at(0).message.id(), sent.id());
    QCOMPARE(query->request().id(), sent.id());

    upstream->answer(0);
    QTRY_COMPARE(finished->finished, 1);
    QCOMPARE(finished->code, 0u);
    QCOMPARE(finished->response.answers().size(), 1);
    QTRY_VERIFY(!query);
}

void tst_Query::udpDeadline_data()
{
    QTest::addColumn<QByteArray>("answeredName");
    QTest::newRow("no answer") << QByteArray();
    QTest::newRow("answer to another name") << QByteArray("a.tesu");
}

void tst_Query::udpDeadline()
{
    QFETCH(QByteArray, answeredName);
    Query *query = sendQuery("a.test", Query::Udp);
    const auto finished = watch(query);
    QTRY_COMPARE(upstream->received.size(), 1);
    if (!answeredName.isEmpty()) {
        Packet other = Packet::makeQuery(answeredName, 1);
        other.setId(upstream->received.at(0).message.id());
        QSignalSpy arrived(query->transport(), &Transport::readyRead);
        upstream->reply(upstream->received.at(0), FakeUpstream::answerTo(other));
        QTRY_COMPARE(arrived.size(), 1);
    }
    FakeClock::advance(10000);
    QCOMPARE(finished->finished, 0);
    FakeClock::advance(1);
    QCOMPARE(finished->finished, 1);
    QCOMPARE(finished->code, 2u);
}

void tst_Query::strayMessageDoesNotBlock()
{
    Query *query = sendQuery("a.test", Query::Udp);
    const auto finished = watch(query);
    QTRY_COMPARE(upstream->received.size(), 1);
    const FakeUpstream::Received &got = upstream->received.at(0);
    // A well-formed response with another ID arrives first.
    Packet stray = FakeUpstream::answerTo(got.message);
    stray.setId(quint16(got.message.id() + 1));
    upstream->reply(got, stray);
    upstream->answer(0);
    QTRY_COMPARE(finished->finished, 1);
    QCOMPARE(finished->code, 0u);
    QCOMPARE(finished->response.id(), got.message.id());
}

void tst_Query::replyFromAnotherPortIsIgnored()
{
    Query *query = sendQuery("a.test", Query::Udp);
    const auto finished = watch(query);
    QTRY_COMPARE(upstream->received.size(), 1);
    const FakeUpstream::Received &got = upstream->received.at(0);
    QUdpSocket forger;
    QVERIFY(forger.bind(QHostAddress::LocalHost, 0));
    // Sent first on the same path: a socket that took it would deliver it before the real one.
    forger.writeDatagram(FakeUpstream::answerTo(got.message, 0x06060606).toByteArray(), got.sender, got.senderPort);
    upstream->answer(0);
    QTRY_COMPARE(finished->finished, 1);
    const auto answer = finished->response.answers().first().dynamicCast<IPv4AddressRR>();
    QCOMPARE(answer->address, 0x0a000001u);
}

void tst_Query::sendMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("tcp");
    QTest::newRow("UDP, large") << int(Query::Udp) << 600 << false;
    QTest::newRow("TCP, small") << int(Query::Tcp) << 30 << true;
    QTest::newRow("automatic, 512 bytes") << int(Query::UdpUnlessLarge) << 512 << false;
    QTest::newRow("automatic, 513 bytes") << int(Query::UdpUnlessLarge) << 513 << true;
    // A new query holds only its header until its bytes are made; the size that counts is what is sent.
    QTest::newRow("automatic, built long name") << int(Query::UdpUnlessLarge) << -1 << true;
}

void tst_Query::sendMode()
{
    QFETCH(int, mode);
    QFETCH(int, size);
    QFETCH(bool, tcp);

    Packet message;
    if (size < 0) {
        QList<QByteArray> labels(9, QByteArray(60, 'x'));
        message = Packet::makeQuery(labels.join('.').left(250) + ".test", 1);
        message.setQuestions(message.questions() + message.questions() + message.questions());
    } else {
        QByteArray bytes = hex("0000 0100 0001 0000 0000 0001 01 61 00 0001 0001");
        // Padded with an additional record of the needed length.
        const qsizetype rdlength = size - bytes.size() - 11;
        bytes += hex("00 00ff 0001 00000000") + char(rdlength >> 8) + char(rdlength & 0xff) + QByteArray(rdlength, 'p');
        QCOMPARE(bytes.size(), size);
        message = Packet(bytes);
    }
    auto *query = new Query;
    QVERIFY(query->send(QHostAddress::LocalHost, upstream->port(), message, mode));
    QTRY_COMPARE(upstream->received.size(), 1);
    QCOMPARE(!upstream->received.at(0).connection.isNull(), tcp);
}

void tst_Query::tcpQueriesShareOneConnection()
{
    Packet first, second;
    Query *a = sendQuery("a.test", Query::Tcp, &first);
    Query *b = sendQuery("b.test", Query::Tcp, &second);
    const auto aFinished = watch(a);
    const auto bFinished = watch(b);
    QCOMPARE(a->transport(), b->transport());
    QCOMPARE(ServersManager::instance()->tcpTransportCount(), 1);
    QCOMPARE(quint16(first.id() + 1), second.id());
    QTRY_COMPARE(upstream->received.size(), 2);
    QCOMPARE(upstream->connections.size(), 1);

    // Answered in the other order, each query takes its own.
    upstream->answer(1);
    QTRY_COMPARE(bFinished->finished, 1);
    QCOMPARE(aFinished->finished, 0);
    QCOMPARE(bFinished->response.questions().first()->name, QByteArray("b.test"));
    upstream->answer(0);
    QTRY_COMPARE(aFinished->finished, 1);
    QCOMPARE(aFinished->response.questions().first()->name, QByteArray("a.test"));
}

void tst_Query::tcpQueuedUntilConnected()
{
    QList<Packet> sent(3);
    for (int i = 0; i < 3; ++i)
        sendQuery(QByteArray("q") + char('0' + i) + ".test", Query::Tcp, &sent[i]);
    // Nothing is connected yet: the messages wait with their IDs given.
    QCOMPARE(upstream->received.size(), 0);
    QTRY_COMPARE(upstream->received.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(upstream->received.at(i).message.id(), sent.at(i).id());
        QCOMPARE(upstream->received.at(i).message.questions().first()->name, QByteArray("q") + char('0' + i) + ".test");
    }
}

void tst_Query::tcpDeadline()
{
    Query *query = sendQuery("a.test", Query::Tcp);
    const auto finished = watch(query);
    QTRY_COMPARE(upstream->received.size(), 1);
    FakeClock::advance(119000);
    QCOMPARE(finished->finished, 0);
    FakeClock::advance(1001);
    QCOMPARE(finished->finished, 1);
    QCOMPARE(finished->code, 2u);
}

void tst_Query::refusedTcpConnectionEndsQueriesAtOnce()
{
    const quint16 port = upstream->port();
    upstream->server.close();
    Query *a = sendQuery("a.test", Query::Tcp);
    Query *b = sendQuery("b.test", Query::Tcp);
    const auto aFinished = watch(a);
    const auto bFinished = watch(b);
    QTRY_COMPARE(aFinished->finished, 1);
    QTRY_COMPARE(bFinished->finished, 1);
    QCOMPARE(aFinished->code, 1u);
    QVERIFY(!aFinished->message.isEmpty());
    QCOMPARE(ServersManager::instance()->tcpTransportCount(), 0);

    // The next query tries a new connection.
    QVERIFY(upstream->server.listen(QHostAddress::LocalHost, port));
    Query *c = sendQuery("c.test", Query::Tcp);
    const auto cFinished = watch(c);
    QTRY_COMPARE(upstream->received.size(), 1);
    upstream->answer(0);
    QTRY_COMPARE(cFinished->finished, 1);
    QCOMPARE(cFinished->code, 0u);
}

void tst_Query::closedTcpConnectionLeavesThePool_data()
{
    QTest::addColumn<bool>("closedAgain");
    QTest::newRow("answered on the new connection") << false;
    QTest::newRow("new connection closed as well") << true;
}

void tst_Query::closedTcpConnectionLeavesThePool()
{
    QFETCH(bool, closedAgain);
    Query *a = sendQuery("a.test", Query::Tcp);
    const auto aFinished = watch(a);
    QTRY_COMPARE(upstream->received.size(), 1);
    QPointer<Transport> transport = a->transport();
    // A server may close a connection with queries in flight (some do after a number of them): each goes once more,
    // on a new connection.
    upstream->connections.first()->close();
    QTRY_COMPARE(upstream->received.size(), 2);
    QCOMPARE(upstream->connections.size(), 2);
    QCOMPARE(upstream->received.at(1).message.questions().first()->name, QByteArray("a.test"));
    QTRY_VERIFY(!transport);
    QCOMPARE(aFinished->finished, 0);
    if (closedAgain) {
        upstream->connections.at(1)->close();
        QTRY_COMPARE(aFinished->finished, 1);
        QCOMPARE(aFinished->code, 1u);
        QTRY_COMPARE(ServersManager::instance()->tcpTransportCount(), 0);
        QCOMPARE(upstream->received.size(), 2);
    } else {
        upstream->answer(1);
        QTRY_COMPARE(aFinished->finished, 1);
        QCOMPARE(aFinished->code, 0u);
        QCOMPARE(ServersManager::instance()->tcpTransportCount(), 1);
    }
}

void tst_Query::answerInOtherLetterCase()
{
    // Some resolvers answer with the letters of the question's name in another case.
    for (const int mode : { int(Query::Udp), int(Query::Tcp) }) {
        const qsizetype index = upstream->received.size();
        Query *query = sendQuery("a.test", mode);
        const auto finished = watch(query);
        QTRY_COMPARE(upstream->received.size(), index + 1);
        Packet other = Packet::makeQuery("A.TeSt", 1);
        other.setId(upstream->received.at(index).message.id());
        upstream->reply(upstream->received.at(index), FakeUpstream::answerTo(other));
        QTRY_COMPARE(finished->finished, 1);
        QCOMPARE(finished->code, 0u);
        QCOMPARE(finished->response.questions().first()->name, QByteArray("A.TeSt"));
    }
}

void tst_Query::idleConnectionIsReaped()
{
    ServersManager *manager = ServersManager::instance();
    Query *query = sendQuery("a.test", Query::Tcp);
    const auto finished = watch(query);
    QTRY_COMPARE(upstream->received.size(), 1);
    QPointer<Transport> transport = query->transport();
    auto *tcp = static_cast<TcpTransport *>(transport.data());
    QCOMPARE(manager->tcpManager()->useCount(tcp), 1);

    // While a query uses it, the connection stays, however long it is quiet.
    FakeClock::advance(200000);
    manager->tcpManager()->killInactiveTransport();
    QVERIFY(transport);
    upstream->answer(0);
    QTRY_COMPARE(finished->finished, 1);
    QTRY_COMPARE(manager->tcpManager()->useCount(tcp), 0);

    // Unused: kept within the limit after its last data, closed after it.
    FakeClock::advance(120000);
    manager->tcpManager()->killInactiveTransport();
    QVERIFY(transport);
    FakeClock::advance(1);
    manager->tcpManager()->killInactiveTransport();
    QVERIFY(!transport);
    QCOMPARE(manager->tcpTransportCount(), 0);
    QTRY_VERIFY(upstream->connections.first()->state() != QAbstractSocket::ConnectedState);

    Query *next = sendQuery("b.test", Query::Tcp);
    QVERIFY(next->transport() != nullptr);
    QTRY_COMPARE(upstream->connections.size(), 2);
}

void tst_Query::dropTcpTransports()
{
    Query *query = sendQuery("a.test", Query::Tcp);
    QTRY_COMPARE(upstream->received.size(), 1);
    ServersManager::instance()->dropTcpTransports();
    QVERIFY(!query->transport());
    QCOMPARE(ServersManager::instance()->tcpTransportCount(), 0);
    QTRY_VERIFY(upstream->connections.first()->state() != QAbstractSocket::ConnectedState);
    // The query ends by its deadline; deleting it touches nothing that is gone.
    delete query;
}

void tst_Query::udpPoolOfAFormerServerGoes()
{
    ServersManager *manager = ServersManager::instance();
    QPointer<UdpSocketPool> former = manager->udpPool(QHostAddress::LocalHost, upstream->port());
    QCOMPARE(manager->udpPool(QHostAddress::LocalHost, upstream->port()), former.data());
    Query *query = sendQuery("a.test", Query::Udp);
    QTRY_COMPARE(upstream->received.size(), 1);

    // Kept while a query of its own waits on it.
    FakeUpstream other;
    QVERIFY(other.open(false));
    QVERIFY(manager->udpPool(QHostAddress::LocalHost, other.port()));
    QVERIFY(former);

    delete query;
    FakeClock::advance(UdpSocketPool::MaxSocketAge);
    former->sweep();
    QTRY_COMPARE(former->socketCount(), 0);
    FakeUpstream third;
    QVERIFY(third.open(false));
    QVERIFY(manager->udpPool(QHostAddress::LocalHost, third.port()));
    QVERIFY(!former);
}

QTEST_GUILESS_MAIN(tst_Query)
#include "tst_query.moc"
#include "velmorwire/requestmanager.h"
