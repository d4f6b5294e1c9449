#include "platform/socketowner.h"

#include <QNetworkDatagram>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

#include <unistd.h>

using namespace Velmor;

namespace {

// A peer in a program of its own, as the user the test can take: it opens a socket of the kind asked to the address
// and port, says its own port, then waits (with "close", after closing the socket) until its input ends.
const char PeerScript[] = R"(
import socket, sys
kind, host, port, mode = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
family = socket.AF_INET6 if ':' in host else socket.AF_INET
s = socket.socket(family, socket.SOCK_STREAM if kind == 'tcp' else socket.SOCK_DGRAM)
if kind == 'tcp' or mode == 'connect':
    s.connect((host, port))
if kind == 'udp':
    s.sendto(b'hello', (host, port))
print(s.getsockname()[1], flush=True)
if mode == 'close':
    s.close()
sys.stdin.read()
)";

// Another user than the test's when it runs as root, as in CI; else the test's own.
qint64 peerUser()
{
    return ::geteuid() == 0 ? 65534 : qint64(::geteuid());
}

bool startPeer(QProcess &peer, const QString &kind, const QHostAddress &host, quint16 port, const QString &mode)
{
    QStringList arguments { QStringLiteral("/usr/bin/python3"), QStringLiteral("-c"), QLatin1String(PeerScript), kind,
        host.toString(), QString::number(port), mode };
    if (::geteuid() == 0) {
        arguments = QStringList { QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
            QStringLiteral("--clear-groups"), QStringLiteral("--") }
            + arguments;
        peer.start(QStringLiteral("setpriv"), arguments);
    } else {
        peer.start(arguments.takeFirst(), arguments);
    }
    return peer.waitForStarted(10000);
}

// The peer's port, 0 when it said none in time.
quint16 peerPort(QProcess &peer)
{
    QDeadlineTimer deadline(15000);
    while (!peer.canReadLine() && !deadline.hasExpired() && peer.state() == QProcess::Running)
        peer.waitForReadyRead(100);
    return peer.canReadLine() ? quint16(peer.readLine().trimmed().toUInt()) : 0;
}

void endPeer(QProcess &peer)
{
    peer.closeWriteChannel();
    if (!peer.waitForFinished(10000))
        peer.kill();
}

} // namespace

class tst_SocketOwner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tcpPeerIsItsUser_data();
    void tcpPeerIsItsUser();
    void udpSenderIsItsUser_data();
    void udpSenderIsItsUser();
    void closedTcpPeerIsNoUser();
    void unknownSocketIsNoUser();
};

void tst_SocketOwner::tcpPeerIsItsUser_data()
{
    QTest::addColumn<QHostAddress>("address");
    QTest::newRow("IPv4") << QHostAddress(QHostAddress::LocalHost);
    QTest::newRow("IPv6") << QHostAddress(QHostAddress::LocalHostIPv6);
}

void tst_SocketOwner::tcpPeerIsItsUser()
{
    QFETCH(QHostAddress, address);
    QTcpServer server;
    if (!server.listen(address))
        QSKIP("no such loopback address here");
    QProcess peer;
    QVERIFY(startPeer(peer, QStringLiteral("tcp"), address, server.serverPort(), QStringLiteral("hold")));
    const quint16 port = peerPort(peer);
    QVERIFY(port != 0);
    QVERIFY(server.waitForNewConnection(10000));
    QTcpSocket *accepted = server.nextPendingConnection();
    QCOMPARE(accepted->peerPort(), port);
    QCOMPARE(Platform::tcpSocketOwner(
                 accepted->peerAddress(), accepted->peerPort(), accepted->localAddress(), accepted->localPort()),
        peerUser());
    // The accepted end is the service's own.
    QCOMPARE(Platform::tcpSocketOwner(
                 accepted->localAddress(), accepted->localPort(), accepted->peerAddress(), accepted->peerPort()),
        qint64(::geteuid()));
    endPeer(peer);
}

void tst_SocketOwner::udpSenderIsItsUser_data()
{
    QTest::addColumn<QHostAddress>("address");
    QTest::addColumn<QString>("mode");
    QTest::newRow("IPv4, unconnected sender") << QHostAddress(QHostAddress::LocalHost) << QStringLiteral("hold");
    QTest::newRow("IPv4, connected sender") << QHostAddress(QHostAddress::LocalHost) << QStringLiteral("connect");
    QTest::newRow("IPv6, connected sender") << QHostAddress(QHostAddress::LocalHostIPv6) << QStringLiteral("connect");
}

void tst_SocketOwner::udpSenderIsItsUser()
{
    QFETCH(QHostAddress, address);
    QFETCH(QString, mode);
    QUdpSocket receiver;
    if (!receiver.bind(address, 0))
        QSKIP("no such loopback address here");
    QProcess peer;
    QVERIFY(startPeer(peer, QStringLiteral("udp"), address, receiver.localPort(), mode));
    const quint16 port = peerPort(peer);
    QVERIFY(port != 0);
    QTRY_VERIFY_WITH_TIMEOUT(receiver.hasPendingDatagrams(), 10000);
    const QNetworkDatagram datagram = receiver.receiveDatagram();
    QCOMPARE(quint16(datagram.senderPort()), port);
    QCOMPARE(Platform::udpSocketOwner(datagram.senderAddress(), port, address, receiver.localPort()), peerUser());
    endPeer(peer);
    // Gone with its program.
    QCOMPARE(Platform::udpSocketOwner(datagram.senderAddress(), port, address, receiver.localPort()), qint64(-1));
}

void tst_SocketOwner::closedTcpPeerIsNoUser()
{
    // The peer's socket lingers in the kernel's table while it closes, under user 0: that must not make root the
    // owner of the connection.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    QProcess peer;
    QVERIFY(startPeer(peer, QStringLiteral("tcp"), QHostAddress(QHostAddress::LocalHost), server.serverPort(),
        QStringLiteral("close")));
    QVERIFY(peerPort(peer) != 0);
    QVERIFY(server.waitForNewConnection(10000));
    QTcpSocket *accepted = server.nextPendingConnection();
    const QHostAddress address = accepted->peerAddress();
    const quint16 port = accepted->peerPort();
    const QHostAddress local = accepted->localAddress();
    const quint16 localPort = accepted->localPort();
    // Its end of the stream has reached the service.
    QTRY_COMPARE_WITH_TIMEOUT(accepted->state(), QAbstractSocket::UnconnectedState, 10000);
    QCOMPARE(Platform::tcpSocketOwner(address, port, local, localPort), qint64(-1));
    endPeer(peer);
}

void tst_SocketOwner::unknownSocketIsNoUser()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    // The listener itself is no connection.
    QCOMPARE(
        Platform::tcpSocketOwner(QHostAddress::LocalHost, server.serverPort(), QHostAddress::LocalHost, 1), qint64(-1));
    QCOMPARE(Platform::tcpSocketOwner(QHostAddress(), 1, QHostAddress::LocalHost, 1), qint64(-1));
    QCOMPARE(
        Platform::udpSocketOwner(QHostAddress::LocalHost, 1, QHostAddress::LocalHost, server.serverPort()), qint64(-1));
}

QTEST_MAIN(tst_SocketOwner)
#include "tst_socketowner.moc"
