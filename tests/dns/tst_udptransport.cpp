#include "dns/dnsclock.h"
#include "dns/udptransport.h"
#include "fakeupstream.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

using namespace Velmor;
using namespace Velmor::DNS;

class tst_UdpTransport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void writeSendsThroughThePool();
    void responseIsDelivered();
    void releaseStopsWaiting();
    void poolGone();
    void receiveBuffer();

private:
    FakeUpstream *upstream = nullptr;
    UdpSocketPool *pool = nullptr;
};

void tst_UdpTransport::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    upstream = new FakeUpstream;
    QVERIFY(upstream->open(false));
    pool = new UdpSocketPool(QHostAddress::LocalHost, upstream->port(), 1);
}

void tst_UdpTransport::cleanup()
{
    delete pool;
    delete upstream;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void tst_UdpTransport::writeSendsThroughThePool()
{
    UdpClientTransport transport(pool);
    QCOMPARE(transport.peerAddress(), QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(transport.peerPort(), upstream->port());
    Packet message = Packet::makeQuery("a.test", 1);
    QVERIFY(transport.write(message));
    QCOMPARE(transport.lastId(), message.id());
    QTRY_COMPARE(upstream->received.size(), 1);
    QCOMPARE(upstream->received.at(0).message.toByteArray(), message.toByteArray());
    QCOMPARE(pool->waitingCount(), 1);

    // A second message replaces the first: only one ID waits.
    Packet again = Packet::makeQuery("b.test", 1);
    QVERIFY(transport.write(again));
    QCOMPARE(pool->waitingCount(), 1);
    QVERIFY(again.id() != message.id());
}

void tst_UdpTransport::responseIsDelivered()
{
    UdpClientTransport transport(pool);
    QSignalSpy arrived(&transport, &Transport::readyRead);
    Packet message = Packet::makeQuery("a.test", 1);
    QVERIFY(transport.write(message));
    QTRY_COMPARE(upstream->received.size(), 1);
    // With the ID but not well-formed: never delivered.
    QByteArray headerOnly = hex("0000 8180 0001 0000 0000 0000");
    qToBigEndian(message.id(), headerOnly.data());
    upstream->udp.writeDatagram(headerOnly, upstream->received.at(0).sender, upstream->received.at(0).senderPort);
    upstream->answer(0);
    QTRY_COMPARE(arrived.size(), 1);
    // Nothing took it, so it was dropped as not the response and the transport waits on.
    QVERIFY(!transport.hasMessages());
    QCOMPARE(pool->waitingCount(), 1);

    // Taken in the signal, as a query takes it: the wait is over.
    Packet taken;
    connect(&transport, &Transport::readyRead, this, [&] { taken = transport.takeMessage(); });
    upstream->answer(0);
    QTRY_COMPARE(arrived.size(), 2);
    QVERIFY(taken.isResponseTo(message));
    QCOMPARE(pool->waitingCount(), 0);
}

void tst_UdpTransport::releaseStopsWaiting()
{
    QPointer<UdpClientTransport> transport = new UdpClientTransport(pool);
    Packet message = Packet::makeQuery("a.test", 1);
    QVERIFY(transport->write(message));
    QCOMPARE(pool->waitingCount(), 1);
    transport->release();
    QCOMPARE(pool->waitingCount(), 0);
    QTRY_VERIFY(!transport);
}

void tst_UdpTransport::poolGone()
{
    auto *transport = new UdpClientTransport(pool);
    Packet message = Packet::makeQuery("a.test", 1);
    QVERIFY(transport->write(message));
    delete pool;
    pool = nullptr;
    QVERIFY(!transport->write(message));
    QCOMPARE(transport->lastError().code(), 1u);
    QCOMPARE(transport->peerPort(), quint16(0));
    transport->release();
}

void tst_UdpTransport::receiveBuffer()
{
    QUdpSocket socket;
    QVERIFY(socket.bind(QHostAddress::LocalHost, 0));
    setReceiveBufferSize(&socket);
    // Linux grants what was asked up to rmem_max, and reports it doubled for its own bookkeeping.
    QFile limit(QStringLiteral("/proc/sys/net/core/rmem_max"));
    QVERIFY(limit.open(QIODevice::ReadOnly));
    const int granted = qMin(0x20000, limit.readAll().trimmed().toInt());
    QCOMPARE(socket.socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt(), 2 * granted);
}

QTEST_GUILESS_MAIN(tst_UdpTransport)
#include "tst_udptransport.moc"
