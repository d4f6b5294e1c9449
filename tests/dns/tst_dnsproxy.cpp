#include "dns/dnsclock.h"
#include "dns/dnsproxy.h"
#include "dns/dnsproxyrequest.h"
#include "dns/serversmanager.h"
#include "dns/tcptransport.h"
#include "dns/tcptransportmanager.h"
#include "dns/udpforwarder.h"
#include "dnstestutil.h"
#include "fakeupstream.h"
#include "staticserverstate.h"

#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace Velmor;
using namespace Velmor::DNS;

namespace {

const QByteArray IdentificationOf7 = hex("00 ffed 0001 00000000 0004 00000007");

} // namespace

class tst_DNSProxy : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void startAndStop();
    void portTaken_data();
    void portTaken();
    void forwards_data();
    void forwards();
    void largeUdpRequestStaysUdp();
    void responseFromClientIsRefused();
    void answerForAnotherNameIsNotRelayed_data();
    void answerForAnotherNameIsNotRelayed();
    void upstreamIsTheProxyItself();
    void refusedUpstreamConnectionGivesServfail();
    void requestThatCannotCarryTheRecord();
    void tokenChangeReachesTheNextRequest();
    void twoRequestsOnOneConnection();
    void clientClosesBeforeItsAnswer();
    void stopDropsAnswersDue();
    void unansweredRequestGetsServfail();
    void burstOfUdpRequests();
    void idleClientConnectionIsClosed();
    void clientConnectionLimit();

private:
    QByteArray udpExchange(const QByteArray &request, bool answer = true);
    QTcpSocket *tcpClient();
    // TCP requests are objects of their own, UDP requests records of the forwarder.
    int openRequests() const
    {
        return int(proxy->findChildren<DNSProxyRequest *>().size()) + udpForwarder()->pendingCount();
    }
    UdpForwarder *udpForwarder() const { return proxy->findChild<UdpForwarder *>(); }

    StaticServerState *state = nullptr;
    DNSProxy *proxy = nullptr;
    FakeUpstream *upstream = nullptr;
    QUdpSocket *client = nullptr;
};

void tst_DNSProxy::initTestCase()
{
    RequestManagerPrivate::get(RequestManager::instance())->clock = &FakeClock::read;
    DNS::setClock(&FakeClock::read);
}

void tst_DNSProxy::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    upstream = new FakeUpstream;
    QVERIFY(upstream->open());
    state = new StaticServerState;
    state->localPort = freePort();
    state->upstreamAddress = QHostAddress(QHostAddress::LocalHost);
    state->upstreamPort = upstream->port();
    state->token = 7;
    proxy = new DNSProxy(state);
    QVERIFY(proxy->start());
    client = new QUdpSocket;
    QVERIFY(client->bind(QHostAddress::LocalHost, 0));
}

void tst_DNSProxy::cleanup()
{
    delete client;
    delete state;
    delete upstream;
    ServersManager::instance()->dropTcpTransports();
    qDeleteAll(RequestManager::instance()->requests());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QByteArray tst_DNSProxy::udpExchange(const QByteArray &request, bool answer)
{
    const int before = int(upstream->received.size());
    client->writeDatagram(request, QHostAddress::LocalHost, state->localPort);
    if (answer) {
        if (!QTest::qWaitFor([&] { return upstream->received.size() > before; }, 5000))
            return QByteArray("no request upstream");
        upstream->answer(before);
    }
    if (!QTest::qWaitFor([&] { return client->hasPendingDatagrams(); }, 5000))
        return QByteArray();
    return client->receiveDatagram().data();
}

QTcpSocket *tst_DNSProxy::tcpClient()
{
    auto *socket = new QTcpSocket(this);
    socket->connectToHost(QHostAddress::LocalHost, state->localPort);
    // With the event loop running, so the proxy accepts meanwhile.
    const bool settled = QTest::qWaitFor(
        [socket] {
            return socket->state() != QAbstractSocket::ConnectingState
                && socket->state() != QAbstractSocket::HostLookupState;
        },
        5000);
    Q_UNUSED(settled);
    return socket;
}

void tst_DNSProxy::startAndStop()
{
    QSignalSpy stateChanged(proxy, &DNSProxy::stateChanged);
    QVERIFY(proxy->isListening());
    QVERIFY(proxy->start());
    QCOMPARE(stateChanged.size(), 0);
    QVERIFY(proxy->errorString().isEmpty());
    proxy->stop();
    QCOMPARE(stateChanged.size(), 1);
    QVERIFY(!proxy->isListening());
    proxy->stop();
    QCOMPARE(stateChanged.size(), 1);
    QVERIFY(proxy->start());
    QCOMPARE(stateChanged.size(), 2);
}

void tst_DNSProxy::portTaken_data()
{
    QTest::addColumn<bool>("udp");
    QTest::newRow("udp") << true;
    QTest::newRow("tcp") << false;
}

void tst_DNSProxy::portTaken()
{
    QFETCH(bool, udp);
    proxy->stop();
    QUdpSocket udpHolder;
    QTcpServer tcpHolder;
    const bool held = udp ? udpHolder.bind(QHostAddress::LocalHost, state->localPort)
                          : tcpHolder.listen(QHostAddress::LocalHost, state->localPort);
    QVERIFY(held);
    const QString expected = QStringLiteral("Failed to start DNS proxy on %1://127.0.0.1:%2: ")
                                 .arg(udp ? "udp" : "tcp")
                                 .arg(state->localPort);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(expected) + ".+"));
    QSignalSpy stateChanged(proxy, &DNSProxy::stateChanged);
    QVERIFY(!proxy->start());
    QVERIFY(proxy->errorString().startsWith(expected));
    QVERIFY(!proxy->isListening());
    QCOMPARE(stateChanged.size(), 0);
    // The UDP socket was let go again.
    QUdpSocket probe;
    QVERIFY(udp || probe.bind(QHostAddress::LocalHost, state->localPort));
}

void tst_DNSProxy::forwards_data()
{
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<quint32>("token");
    QTest::newRow("udp, token 7") << false << 7u;
    QTest::newRow("udp, no profile") << false << 0u;
    QTest::newRow("tcp, token 7") << true << 7u;
    QTest::newRow("tcp, no profile") << true << 0u;
}

void tst_DNSProxy::forwards()
{
    QFETCH(bool, tcp);
    QFETCH(quint32, token);
    state->token = token;
    const QByteArray request = clientQuery(0x1111);
    QByteArray answer;
    if (tcp) {
        QTcpSocket *socket = tcpClient();
        socket->write(TcpFramer::frame(request));
        QTRY_COMPARE(upstream->received.size(), 1);
        upstream->answer(0);
        TcpFramer framer;
        QTRY_VERIFY([&] {
            framer.append(socket->readAll());
            return !answer.isEmpty() || framer.next(answer);
        }());
    } else {
        answer = udpExchange(request);
    }
    const FakeUpstream::Received &forwarded = upstream->received.at(0);
    QCOMPARE(!forwarded.connection.isNull(), tcp);
    const QByteArray sent = forwarded.message.toByteArray();
    // Flags, counts and question as the client sent them, then the record when a profile is selected.
    QCOMPARE(sent.mid(2, 8), request.mid(2, 8));
    QCOMPARE(sent.mid(12, request.size() - 12), request.mid(12));
    if (token) {
        QCOMPARE(forwarded.message.additionalCount(), quint16(1));
        QCOMPARE(sent.mid(request.size()), IdentificationOf7);
    } else {
        QCOMPARE(sent.size(), request.size());
    }
    Packet relayed(answer);
    QCOMPARE(relayed.id(), quint16(0x1111));
    QVERIFY(relayed.isResponse());
    QCOMPARE(relayed.answers().size(), 1);
    QTRY_COMPARE(openRequests(), 0);
}

void tst_DNSProxy::largeUdpRequestStaysUdp()
{
    QByteArray request = hex("2222 0100 0001 0000 0000 0001 01 61 00 0001 0001");
    const int rdlength = 600 - int(request.size()) - 11;
    request += hex("00 00ff 0001 00000000") + char(rdlength >> 8) + char(rdlength & 0xff) + QByteArray(rdlength, 'p');
    QCOMPARE(request.size(), 600);
    const Packet answer(udpExchange(request));
    QCOMPARE(answer.id(), quint16(0x2222));
    QVERIFY(upstream->received.at(0).connection.isNull());
}

void tst_DNSProxy::responseFromClientIsRefused()
{
    QByteArray response = clientQuery(0x3333);
    response[2] = char(response.at(2) | 0x80);
    const QByteArray answer = udpExchange(response, false);
    QByteArray expected = response;
    expected[3] = char((expected.at(3) & 0xF0) | 5);
    QCOMPARE(answer.toHex(' '), expected.toHex(' '));
    QCOMPARE(upstream->received.size(), 0);
}

void tst_DNSProxy::answerForAnotherNameIsNotRelayed_data()
{
    // The client asks for "c\\.d.test": two labels, the first holding a dot. Each row is the first answer's question
    // name (wire labels, same length), which must not be taken for the client's; the right answer follows it.
    QTest::addColumn<QByteArray>("otherName");
    QTest::newRow("three labels that read as the same text") << QByteArray("\x01"
                                                                           "c"
                                                                           "\x01"
                                                                           "d"
                                                                           "\x04"
                                                                           "test");
    QTest::newRow("another letter") << QByteArray("\x03"
                                                  "c.e"
                                                  "\x04"
                                                  "test");
}

void tst_DNSProxy::answerForAnotherNameIsNotRelayed()
{
    QFETCH(QByteArray, otherName);
    const QByteArray name = QByteArray("\x03"
                                       "c.d"
                                       "\x04"
                                       "test");
    const QByteArray request = hex("5555 0100 0001 0000 0000 0000") + name + hex("00 0001 0001");
    client->writeDatagram(request, QHostAddress::LocalHost, state->localPort);
    QTRY_COMPARE(upstream->received.size(), 1);
    const QByteArray forwarded = upstream->received.at(0).message.toByteArray();
    QCOMPARE(forwarded.mid(12, name.size()), name);

    QByteArray other = forwarded;
    other.replace(12, name.size(), otherName);
    QByteArray shouted = forwarded;
    shouted.replace(12, name.size(), name.toUpper());
    upstream->reply(upstream->received.at(0), FakeUpstream::answerTo(Packet(other), 0x0a000002));
    // The same name in other letters is the client's answer.
    upstream->reply(upstream->received.at(0), FakeUpstream::answerTo(Packet(shouted), 0x0a000001));

    QTRY_VERIFY(client->hasPendingDatagrams());
    const QByteArray answer = client->receiveDatagram().data();
    QCOMPARE(answer.mid(12, name.size()), name.toUpper());
    QCOMPARE(answer.right(4), hex("0a000001"));
    QTRY_COMPARE(openRequests(), 0);
}

void tst_DNSProxy::upstreamIsTheProxyItself()
{
    state->upstreamPort = state->localPort;
    const QByteArray request = clientQuery(0x4444);
    const Packet answer(udpExchange(request, false));
    QCOMPARE(answer.id(), quint16(0x4444));
    QCOMPARE(answer.responseCode(), int(Packet::ServerFailure));
    QCOMPARE(upstream->received.size(), 0);
    // Answered at once, not after the proxy's own request timed out.
    QCOMPARE(openRequests(), 0);
}

void tst_DNSProxy::refusedUpstreamConnectionGivesServfail()
{
    upstream->server.close();
    QTcpSocket *socket = tcpClient();
    const QByteArray request = clientQuery(0x5555);
    socket->write(TcpFramer::frame(request));
    QTRY_VERIFY(socket->bytesAvailable() >= 2);
    QTRY_COMPARE(socket->bytesAvailable(), qint64(2 + request.size() + IdentificationOf7.size()));
    socket->read(2);
    const QByteArray answer = socket->readAll();
    const Packet reply(answer);
    QCOMPARE(reply.id(), quint16(0x5555));
    QVERIFY(reply.isResponse());
    QCOMPARE(reply.responseCode(), int(Packet::ServerFailure));
    // The request as forwarded, record included: one more additional record than the client sent.
    QCOMPARE(reply.additionalCount(), quint16(1));
    QCOMPARE(answer.right(IdentificationOf7.size()), IdentificationOf7);
}

void tst_DNSProxy::requestThatCannotCarryTheRecord()
{
    const QByteArray request = hex("6666 0100 0001 0000 0000 ffff 01 61 00 0001 0001");
    const Packet answer(udpExchange(request, false));
    QCOMPARE(answer.id(), quint16(0x6666));
    QCOMPARE(answer.responseCode(), int(Packet::FormatError));
    // The counts say what the answer holds: the question, and none of the records the request only announced.
    QCOMPARE(answer.toByteArray(), hex("6666 8101 0001 0000 0000 0000 01 61 00 0001 0001"));
    const QList<QJsonObject> decoded = decodeWithDnspython({ answer.toByteArray() });
    QCOMPARE(decoded.size(), 1);
    QVERIFY2(!decoded.first().contains(QStringLiteral("error")), qPrintable(decoded.first().value("error").toString()));
    QCOMPARE(upstream->received.size(), 0);
}

void tst_DNSProxy::tokenChangeReachesTheNextRequest()
{
    udpExchange(clientQuery(1));
    state->token = 0xfffffffe;
    udpExchange(clientQuery(2));
    state->token = 0;
    udpExchange(clientQuery(3));
    QCOMPARE(upstream->received.size(), 3);
    QCOMPARE(upstream->received.at(0).message.toByteArray().right(4), hex("00000007"));
    QCOMPARE(upstream->received.at(1).message.toByteArray().right(4), hex("fffffffe"));
    QCOMPARE(upstream->received.at(2).message.additionalCount(), quint16(0));
}

void tst_DNSProxy::twoRequestsOnOneConnection()
{
    QTcpSocket *socket = tcpClient();
    socket->write(
        TcpFramer::frame(clientQuery(0x0a01, "one.test")) + TcpFramer::frame(clientQuery(0x0a02, "two.test")));
    QTRY_COMPARE(upstream->received.size(), 2);
    QCOMPARE(upstream->connections.size(), 1);
    upstream->answer(1);
    upstream->answer(0);
    TcpFramer framer;
    QList<quint16> ids;
    QTRY_VERIFY([&] {
        framer.append(socket->readAll());
        QByteArray message;
        while (framer.next(message))
            ids.append(Packet(message).id());
        return ids.size() == 2;
    }());
    QCOMPARE(ids, QList<quint16>({ 0x0a02, 0x0a01 }));
}

void tst_DNSProxy::clientClosesBeforeItsAnswer()
{
    QTcpSocket *socket = tcpClient();
    socket->write(TcpFramer::frame(clientQuery(0x0b01)));
    QTRY_COMPARE(upstream->received.size(), 1);
    socket->abort();
    // A closed end looks the same as a client that only stopped sending: its connection waits for the answer, which
    // then finds nobody, and goes.
    upstream->answer(0);
    QTRY_COMPARE(openRequests(), 0);
    QTRY_COMPARE(proxy->findChildren<TcpServerTransport *>().size(), 0);
    // Still serving.
    QCOMPARE(Packet(udpExchange(clientQuery(0x0b02))).id(), quint16(0x0b02));
}

void tst_DNSProxy::stopDropsAnswersDue()
{
    QTcpSocket *socket = tcpClient();
    socket->write(TcpFramer::frame(clientQuery(0x0c01)));
    client->writeDatagram(clientQuery(0x0c02), QHostAddress::LocalHost, state->localPort);
    QTRY_COMPARE(upstream->received.size(), 2);
    proxy->stop();
    QTRY_COMPARE(socket->state(), QAbstractSocket::UnconnectedState);
    QTRY_VERIFY(upstream->connections.first()->state() != QAbstractSocket::ConnectedState);
    for (int i = 0; i < 2; ++i) {
        if (upstream->received.at(i).connection.isNull())
            upstream->answer(i);
    }
    // The UDP answer cannot go out on the closed socket; its request ends all the same.
    QTRY_COMPARE(openRequests(), 1);
    QVERIFY(!client->hasPendingDatagrams());
    FakeClock::advance(121000);
    QTRY_COMPARE(openRequests(), 0);
}

void tst_DNSProxy::unansweredRequestGetsServfail()
{
    client->writeDatagram(clientQuery(0x0d01), QHostAddress::LocalHost, state->localPort);
    QTRY_COMPARE(upstream->received.size(), 1);
    QCOMPARE(openRequests(), 1);
    FakeClock::advance(10001);
    udpForwarder()->expire();
    QCOMPARE(openRequests(), 0);
    QTRY_VERIFY(client->hasPendingDatagrams());
    const Packet failed(client->receiveDatagram().data());
    QCOMPARE(failed.id(), quint16(0x0d01));
    QCOMPARE(failed.responseCode(), int(Packet::ServerFailure));
    // A late answer finds no query waiting.
    upstream->answer(0);
    QCoreApplication::processEvents();
    QVERIFY(!client->hasPendingDatagrams());
}

void tst_DNSProxy::burstOfUdpRequests()
{
    // More than the proxy reads at one wake-up: the rest must come at the next.
    const int count = 100;
    for (int i = 0; i < count; ++i)
        client->writeDatagram(
            clientQuery(quint16(i), "n" + QByteArray::number(i) + ".test"), QHostAddress::LocalHost, state->localPort);
    QTRY_COMPARE(upstream->received.size(), count);
    for (int i = 0; i < count; ++i)
        upstream->answer(i);
    QList<QByteArray> answers;
    QTRY_VERIFY([&] {
        while (client->hasPendingDatagrams())
            answers.append(client->receiveDatagram().data());
        return answers.size() == count;
    }());
    // Each under its client's ID, with its own question.
    for (const QByteArray &bytes : std::as_const(answers)) {
        const Packet answer(bytes);
        QCOMPARE(answer.questions().first()->name, "n" + QByteArray::number(answer.id()) + ".test");
    }
    QCOMPARE(openRequests(), 0);
}

void tst_DNSProxy::idleClientConnectionIsClosed()
{
    auto *manager = proxy->findChild<TcpTransportManager *>();
    QVERIFY(manager);
    QTcpSocket *quiet = tcpClient();
    QTcpSocket *busy = tcpClient();
    busy->write(TcpFramer::frame(clientQuery(0x0e01)));
    QTRY_COMPARE(upstream->received.size(), 1);
    QTRY_COMPARE(manager->transportCount(), 2);
    FakeClock::advance(DNSProxy::TcpClientIdleLimit * 1000 + 1);
    manager->killInactiveTransport();
    QTRY_COMPARE(quiet->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(busy->state(), QAbstractSocket::ConnectedState);

    // Its answer, then the limit again, closes the other one too.
    upstream->answer(0);
    QTRY_VERIFY(busy->bytesAvailable() > 0);
    QTRY_COMPARE(openRequests(), 0);
    FakeClock::advance(DNSProxy::TcpClientIdleLimit * 1000 + 1);
    manager->killInactiveTransport();
    QTRY_COMPARE(busy->state(), QAbstractSocket::UnconnectedState);
}

void tst_DNSProxy::clientConnectionLimit()
{
    // Every connection here is of one local user, who has a share of the places.
    QList<QTcpSocket *> sockets;
    for (int i = 0; i < DNSProxy::MaxTcpClientsPerUser; ++i)
        sockets.append(tcpClient());
    QTRY_COMPARE(proxy->findChildren<TcpServerTransport *>().size(), DNSProxy::MaxTcpClientsPerUser);
    QTcpSocket *extra = tcpClient();
    QTRY_COMPARE(extra->state(), QAbstractSocket::UnconnectedState);
    // A place freed is taken again.
    sockets.first()->abort();
    QTRY_COMPARE(proxy->findChildren<TcpServerTransport *>().size(), DNSProxy::MaxTcpClientsPerUser - 1);
    QTcpSocket *next = tcpClient();
    next->write(TcpFramer::frame(clientQuery(0x0f01)));
    QTRY_COMPARE(upstream->received.size(), 1);
    qDeleteAll(sockets);
}

QTEST_GUILESS_MAIN(tst_DNSProxy)
#include "tst_dnsproxy.moc"
#include "velmorwire/requestmanager.h"
