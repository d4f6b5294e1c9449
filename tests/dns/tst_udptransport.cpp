#include "dns/udptransport.h"
#include "dnstestutil.h"

#include <QFile>
#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

using namespace Velmor::DNS;

class tst_UdpTransport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void serverTransportReadsOneDatagram_data();
    void serverTransportReadsOneDatagram();
    void answerGoesToTheSender();
    void answerAfterTheSocketIsGone();
    void receiveBuffer();
};

void tst_UdpTransport::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void tst_UdpTransport::serverTransportReadsOneDatagram_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("kept");
    QTest::newRow("query") << hex("0102 0100 0001 0000 0000 0000 01 61 00 0001 0001") << true;
    QTest::newRow("header only") << hex("0102 0100 0001 0000 0000 0000") << false;
    QTest::newRow("short") << hex("0102") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("SRV answer") << hex(
        "0001 8180 0001 0001 0000 0000 01 61 00 0021 0001 c00c 0021 0001 0000003c 0008 0001 0002 0035 0000")
                                << true;
}

void tst_UdpTransport::serverTransportReadsOneDatagram()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, kept);
    QUdpSocket proxy, client;
    QVERIFY(proxy.bind(QHostAddress::LocalHost, 0));
    QVERIFY(client.bind(QHostAddress::LocalHost, 0));
    client.writeDatagram(datagram, QHostAddress::LocalHost, proxy.localPort());
    client.writeDatagram(datagram, QHostAddress::LocalHost, proxy.localPort());
    QTRY_VERIFY(proxy.hasPendingDatagrams());

    UdpServerTransport transport(&proxy);
    QCOMPARE(transport.hasMessages(), kept);
    QCOMPARE(transport.peerAddress(), QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(transport.peerPort(), client.localPort());
    if (kept)
        QCOMPARE(transport.takeMessage().rawData(), datagram);
    // The second datagram is left for the next transport.
    QVERIFY(proxy.hasPendingDatagrams());
}

void tst_UdpTransport::answerGoesToTheSender()
{
    QUdpSocket proxy, client;
    QVERIFY(proxy.bind(QHostAddress::LocalHost, 0));
    QVERIFY(client.bind(QHostAddress::LocalHost, 0));
    const QByteArray request = hex("0102 0100 0001 0000 0000 0000 01 61 00 0001 0001");
    client.writeDatagram(request, QHostAddress::LocalHost, proxy.localPort());
    QTRY_VERIFY(proxy.hasPendingDatagrams());
    UdpServerTransport transport(&proxy);
    Packet answer = transport.takeMessage();
    answer.setResponse(true);
    QVERIFY(transport.write(answer));
    QCOMPARE(transport.lastId(), quint16(0x0102));
    QTRY_VERIFY(client.hasPendingDatagrams());
    QCOMPARE(client.receiveDatagram().data(), answer.toByteArray());
}

void tst_UdpTransport::answerAfterTheSocketIsGone()
{
    auto *proxy = new QUdpSocket;
    QUdpSocket client;
    QVERIFY(proxy->bind(QHostAddress::LocalHost, 0));
    client.writeDatagram(
        hex("0102 0100 0001 0000 0000 0000 01 61 00 0001 0001"), QHostAddress::LocalHost, proxy->localPort());
    QTRY_VERIFY(proxy->hasPendingDatagrams());
    UdpServerTransport transport(proxy);
    Packet answer = transport.takeMessage();
    delete proxy;
    QVERIFY(!transport.write(answer));
    QCOMPARE(transport.lastError().code(), 1u);
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
