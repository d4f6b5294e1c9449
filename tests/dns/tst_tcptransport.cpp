#include "dns/dnsclock.h"
#include "dns/tcptransport.h"
#include "dnstestutil.h"
#include "fakeupstream.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace Velmor::DNS;

namespace {

QByteArray query(const char *name, quint16 id)
{
    Packet message = Packet::makeQuery(name, 1);
    message.setId(id);
    return message.toByteArray();
}

QByteArray framed(const QByteArray &message)
{
    return TcpFramer::frame(message);
}

} // namespace

class tst_TcpTransport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void framing_data();
    void framing();
    void malformedMessageClosesTheConnection_data();
    void malformedMessageClosesTheConnection();
    void answersAreFramed();
    void overlongMessageIsNotWritten();
    void readingWaitsWithRequestsInFlight();
    void disconnectDeletesTheTransport();

private:
    bool connectClient();

    QTcpServer server;
    QTcpSocket client;
    QPointer<TcpServerTransport> transport;
};

void tst_TcpTransport::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    QVERIFY(connectClient());
}

void tst_TcpTransport::cleanup()
{
    client.abort();
    delete transport;
    server.close();
}

bool tst_TcpTransport::connectClient()
{
    if (!server.listen(QHostAddress::LocalHost, 0))
        return false;
    client.connectToHost(QHostAddress::LocalHost, server.serverPort());
    if (!client.waitForConnected(5000) || !server.waitForNewConnection(5000))
        return false;
    transport = new TcpServerTransport(server.nextPendingConnection());
    return true;
}

void tst_TcpTransport::framing_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QList<int>>("deliveredAfter");

    const QByteArray one = framed(query("a.test", 1));
    const QByteArray two = framed(query("b.test", 2));
    QTest::newRow("one message") << QList<QByteArray> { one } << QList<int> { 1 };
    QTest::newRow("two in one arrival") << QList<QByteArray> { one + two } << QList<int> { 2 };
    QTest::newRow("one and the first byte of the next")
        << QList<QByteArray> { one + two.left(1), two.mid(1) } << QList<int> { 1, 2 };
    QTest::newRow("split inside the prefix") << QList<QByteArray> { one.left(1), one.mid(1) } << QList<int> { 0, 1 };
    QTest::newRow("byte by byte") << QList<QByteArray> { one.left(5), one.mid(5, 5), one.mid(10) }
                                  << QList<int> { 0, 0, 1 };
}

void tst_TcpTransport::framing()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QList<int>, deliveredAfter);

    QSignalSpy readyRead(transport.data(), &Transport::readyRead);
    for (int i = 0; i < pieces.size(); ++i) {
        client.write(pieces.at(i));
        QVERIFY(client.waitForBytesWritten(5000));
        // Each piece is read before the next is sent, so no two arrivals merge.
        QTRY_COMPARE(transport->socket()->bytesAvailable(), 0);
        QTRY_COMPARE(int(readyRead.size()), deliveredAfter.at(i));
    }
    QCOMPARE(transport->takeMessage().id(), quint16(1));
    if (deliveredAfter.last() == 2)
        QCOMPARE(transport->takeMessage().id(), quint16(2));
    QVERIFY(!transport->hasMessages());
    QCOMPARE(transport->takeMessage().rawData(), QByteArray(12, '\0'));
}

void tst_TcpTransport::malformedMessageClosesTheConnection_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<bool>("closes");
    QTest::newRow("header only") << hex("0001 0100 0001 0000 0000 0000") << true;
    QTest::newRow("no question") << hex("0001 0100 0000 0000 0000 0000 00") << true;
    QTest::newRow("answer with SRV is relayed")
        << hex("0001 8180 0001 0001 0000 0000 01 61 00 0021 0001 c00c 0021 0001 0000003c 0008 0001 0002 0035 0000")
        << false;
}

void tst_TcpTransport::malformedMessageClosesTheConnection()
{
    QFETCH(QByteArray, message);
    QFETCH(bool, closes);
    QSignalSpy readyRead(transport.data(), &Transport::readyRead);
    client.write(framed(message) + framed(query("after.test", 2)));
    if (closes) {
        QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(readyRead.size(), 0);
    } else {
        QTRY_COMPARE(readyRead.size(), 2);
    }
}

void tst_TcpTransport::answersAreFramed()
{
    Packet answer(query("a.test", 0x1234));
    answer.setResponse(true);
    QVERIFY(transport->write(answer));
    QCOMPARE(transport->lastId(), quint16(0x1234));
    QTRY_COMPARE(client.bytesAvailable(), qint64(answer.toByteArray().size() + 2));
    QCOMPARE(client.readAll(), framed(answer.toByteArray()));
}

void tst_TcpTransport::overlongMessageIsNotWritten()
{
    // 65536 bytes: a prefix of its low 16 bits would announce an empty message.
    QByteArray bytes = query("a.test", 1);
    bytes.append(QByteArray(65536 - bytes.size(), '\0'));
    Packet message(bytes);
    QTest::ignoreMessage(QtWarningMsg,
        QRegularExpression(QStringLiteral("failed to write to socket 127.0.0.1:\\d+ error: message "
                                          "longer than 65535 bytes")));
    QVERIFY(!transport->write(message));
    Packet largest(bytes.left(65535));
    QVERIFY(transport->write(largest));
    QTRY_COMPARE(client.bytesAvailable(), qint64(65537));
    QCOMPARE(client.read(2), hex("ffff"));
}

void tst_TcpTransport::readingWaitsWithRequestsInFlight()
{
    QByteArray burst;
    for (int i = 0; i < TcpServerTransport::MaxInFlight + 6; ++i)
        burst += framed(query("a.test", quint16(i)));
    // The holder takes every message as it comes and keeps it in flight.
    connect(transport.data(), &Transport::readyRead, this, [this] {
        transport->takeMessage();
        transport->beginRequest();
    });
    client.write(burst);
    QTRY_COMPARE(transport->inFlight(), TcpServerTransport::MaxInFlight);
    QTRY_COMPARE(client.bytesToWrite(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(transport->inFlight(), TcpServerTransport::MaxInFlight);

    // Each release lets one more in.
    transport->release();
    transport->release();
    QTRY_COMPARE(transport->inFlight(), TcpServerTransport::MaxInFlight);
    for (int i = 0; i < 6; ++i)
        transport->release();
    QTRY_COMPARE(transport->inFlight(), TcpServerTransport::MaxInFlight - 2);
}

void tst_TcpTransport::disconnectDeletesTheTransport()
{
    QSignalSpy disconnected(transport.data(), &TcpTransport::disconnected);
    client.disconnectFromHost();
    QTRY_COMPARE(disconnected.size(), 1);
    QTRY_VERIFY(!transport);
}

QTEST_GUILESS_MAIN(tst_TcpTransport)
#include "tst_tcptransport.moc"
