#include "loopback.h"

#include "velmorwire/deferred.h"
#include "velmorwire/jsonrpccall.h"
#include "velmorwire/localsocketipcconnection.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

using namespace Velmor;

namespace {

// Opens the link itself, as the desktop program's connector does.
class Connector : public LocalSocketIpcConnection
{
public:
    void connectTo(quint16 port)
    {
        m_error = NoLinkError;
        m_errorString.clear();
        setState(Connecting);
        static_cast<QTcpSocket *>(m_device)->connectToHost(QHostAddress::LocalHost, port);
    }
    void renewSocket()
    {
        delete m_device;
        m_device = new QTcpSocket;
        initSocket();
    }
};

class Handler : public QObject
{
    Q_OBJECT

public:
    QStringList received;
    Deferred pending;
    // What drop() deletes, and whether the device was still there afterwards.
    IpcConnection *connection = nullptr;
    QPointer<QIODevice> device;
    bool deviceOutlivedTheConnection = false;

    void deleteConnection()
    {
        delete connection;
        connection = nullptr;
        deviceOutlivedTheConnection = !device.isNull();
    }

public Q_SLOTS:
    int add(int a, int b) { return a + b; }
    QString echo(const QString &text) { return text; }
    int count(const QVariantList &items) { return int(items.size()); }
    void setProfile(quint32 id) { received.append(QStringLiteral("setProfile %1").arg(id)); }
    Deferred later()
    {
        received.append(QStringLiteral("later"));
        return pending;
    }
    void drop()
    {
        received.append(QStringLiteral("drop"));
        deleteConnection();
    }
};

// Waits until the raw end of a link has received count packets; each as text with its kind byte in front.
QStringList readPackets(QTcpSocket *socket, int count)
{
    QStringList packets;
    QByteArray bytes;
    QDeadlineTimer deadline(60000);
    while (packets.size() < count && !deadline.hasExpired()) {
        if (!socket->bytesAvailable())
            QTest::qWait(5);
        bytes += socket->readAll();
        while (bytes.size() >= 5) {
            const qint32 length = qFromLittleEndian<qint32>(bytes.constData());
            if (bytes.size() < 4 + length)
                break;
            packets.append(
                QString::number(bytes.at(4)) + QLatin1Char(' ') + QString::fromUtf8(bytes.mid(5, length - 1)));
            bytes.remove(0, 4 + length);
        }
    }
    return packets;
}

// The accepted end of a loopback link, answering with a Handler as the service would; the client end is raw.
struct AnsweringEnd
{
    Loopback link;
    std::unique_ptr<LocalSocketIpcConnection> connection;
    Handler handler;

    bool open()
    {
        if (!link.open())
            return false;
        connection = std::make_unique<LocalSocketIpcConnection>(link.accepted);
        connection->setJsonRPCHandler(&handler);
        return true;
    }
};

} // namespace

class tst_IpcConnection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void acceptedSocketIsConnectedSilently();
    void connectionOutlivesItsListener();
    void packetBytesOnTheWire();
    void kindBitZeroDecides();
    void callsBetweenTwoEnds();
    void textWithNulCrossesTheLink();
    void valueBudgetOfTheLink_data();
    void valueBudgetOfTheLink();
    void closeEndsWithoutDisconnected();
    void peerClosingIsADisconnection();
    void impossibleLengthEndsTheLink_data();
    void impossibleLengthEndsTheLink();
    void callsWhileUnconnectedWaitForTheLink();
    void refusedConnection();
    void deferredAnswerAfterTheConnectionIsGone();
    void handlerDeletesTheConnection_data();
    void handlerDeletesTheConnection();
};

void tst_IpcConnection::acceptedSocketIsConnectedSilently()
{
    Loopback link;
    QVERIFY(link.open());
    LocalSocketIpcConnection connection(link.accepted);
    link.accepted = nullptr;
    QSignalSpy states(&connection, &IpcConnection::stateChanged);
    QSignalSpy connected(&connection, &IpcConnection::connected);
    QCOMPARE(connection.state(), IpcConnection::Connected);
    QCoreApplication::processEvents();
    QCOMPARE(states.size(), 0);
    QCOMPARE(connected.size(), 0);

    LocalSocketIpcConnection unconnected;
    QCOMPARE(unconnected.state(), IpcConnection::Unconnected);
}

void tst_IpcConnection::connectionOutlivesItsListener()
{
    auto link = std::make_unique<Loopback>();
    QVERIFY(link->open());
    QCOMPARE(link->accepted->parent(), &link->server);
    LocalSocketIpcConnection connection(link->accepted);
    // The accepted socket now belongs to the connection, not to the listener that made it.
    link.reset();
    QCOMPARE(connection.state(), IpcConnection::Connected);
    connection.writeJsonPacket(QStringLiteral("{}"), true);
}

void tst_IpcConnection::packetBytesOnTheWire()
{
    Loopback link;
    QVERIFY(link.open());
    LocalSocketIpcConnection connection(link.accepted);

    connection.writeJsonPacket(QStringLiteral("{}"), true);
    QTRY_COMPARE(link.client.bytesAvailable(), 7);
    QCOMPARE(link.client.readAll(), QByteArray::fromHex("03000000017b7d"));

    // Every call and notification travels in a packet of its own, in the order made.
    JsonRPCCall *call = connection.call("setProfile", { 5 });
    connection.notify("setSettingsLocked", { true });
    QPointer<JsonRPCCall> watched(call);
    const QByteArray text = R"({"id":1,"jsonrpc":"2.0","method":"setProfile","params":[5]})";
    const QByteArray notification = R"({"jsonrpc":"2.0","method":"setSettingsLocked","params":[true]})";
    const QByteArray expected = packet(text) + packet(notification);
    QTRY_COMPARE(link.client.bytesAvailable(), qint64(expected.size()));
    QCOMPARE(link.client.readAll(), expected);

    link.send(packet(R"({"id":1,"jsonrpc":"2.0","result":null})", 1));
    QTRY_VERIFY(!watched);
}

void tst_IpcConnection::kindBitZeroDecides()
{
    AnsweringEnd end;
    QVERIFY(end.open());

    // Kind 2 is a request; kind 3 is a response, here to a call never made.
    end.link.send(packet(R"({"id":1,"jsonrpc":"2.0","method":"add","params":[1,2]})", 2));
    QCOMPARE(readPackets(&end.link.client, 1), QStringList { R"(1 {"id":1,"jsonrpc":"2.0","result":3})" });
    QTest::ignoreMessage(QtDebugMsg, "json-rpc data received while nothing expected. ignoring..");
    end.link.send(packet(R"({"id":1,"jsonrpc":"2.0","method":"add","params":[1,2]})", 3));
    QTest::qWait(50);
    QCOMPARE(end.link.client.bytesAvailable(), 0);

    // A packet of length 1 hands an empty text to the engine as a request.
    end.link.send(lengthField(1) + '\0');
    QCOMPARE(readPackets(&end.link.client, 1),
        QStringList { R"(1 {"error":{"code":-32700,"message":"Parse error"},"id":null,"jsonrpc":"2.0"})" });
}

void tst_IpcConnection::callsBetweenTwoEnds()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    Connector client;
    Handler clientHandler;
    client.setJsonRPCHandler(&clientHandler);
    QSignalSpy states(&client, &IpcConnection::stateChanged);
    QSignalSpy connected(&client, &IpcConnection::connected);
    client.connectTo(server.serverPort());
    QCOMPARE(client.state(), IpcConnection::Connecting);
    QTRY_COMPARE(connected.size(), 1);
    QCOMPARE(states.size(), 2);
    QCOMPARE(client.state(), IpcConnection::Connected);

    QTRY_VERIFY(server.hasPendingConnections());
    LocalSocketIpcConnection service(server.nextPendingConnection());
    Handler serviceHandler;
    service.setJsonRPCHandler(&serviceHandler);

    JsonRPCCall *call = client.call("add", { 2, 3 });
    QVariant result;
    uint code = 99;
    connect(call, &Request::finished, this, [&] {
        result = call->result();
        code = call->error().code();
    });
    service.notify("setProfile", { 7 });
    QTRY_COMPARE(result, QVariant(5));
    QCOMPARE(code, 0u);
    QTRY_COMPARE(clientHandler.received, QStringList { "setProfile 7" });
}

// A profile name may hold U+0000; written raw, it would cut the request short and the call would wait for its
// deadline.
void tst_IpcConnection::textWithNulCrossesTheLink()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    Connector desktop;
    desktop.connectTo(server.serverPort());
    QTRY_VERIFY(server.hasPendingConnections());
    LocalSocketIpcConnection service(server.nextPendingConnection());
    Handler handler;
    service.setJsonRPCHandler(&handler);
    QTRY_COMPARE(desktop.state(), IpcConnection::Connected);

    const QString name = QStringLiteral("Kids") + QChar(0) + QStringLiteral("room");
    JsonRPCCall *call = desktop.call("echo", { name });
    QVariant result;
    connect(call, &Request::finished, this, [&] { result = call->result(); });
    QTRY_COMPARE(result, QVariant(name));
}

void tst_IpcConnection::valueBudgetOfTheLink_data()
{
    QTest::addColumn<int>("values");
    QTest::addColumn<QByteArray>("answer");

    // The call costs 14 besides its numbers: the object, four keys of two, three scalars and two arrays.
    const int numbers = int(IpcConnection::maximumJsonValues) - 14;
    QTest::newRow("at the budget") << numbers
                                   << QByteArray(R"({"id":1,"jsonrpc":"2.0","result":)") + QByteArray::number(numbers)
            + "}";
    QTest::newRow("one over") << numbers + 1
                              << QByteArray(R"({"error":{"code":-32700,"message":"Parse error"},"id":null,)"
                                            R"("jsonrpc":"2.0"})");
}

void tst_IpcConnection::valueBudgetOfTheLink()
{
    QFETCH(int, values);
    QFETCH(QByteArray, answer);

    AnsweringEnd end;
    QVERIFY(end.open());
    QByteArray numbers = QByteArray("0,").repeated(values);
    numbers.chop(1);
    end.link.send(packet(R"({"id":1,"jsonrpc":"2.0","method":"count","params":[[)" + numbers + "]]}"));
    QCOMPARE(readPackets(&end.link.client, 1), QStringList { "1 " + QString::fromUtf8(answer) });
}

void tst_IpcConnection::closeEndsWithoutDisconnected()
{
    Loopback link;
    QVERIFY(link.open());
    LocalSocketIpcConnection connection(link.accepted);
    QSignalSpy states(&connection, &IpcConnection::stateChanged);
    QSignalSpy disconnected(&connection, &IpcConnection::disconnected);
    connection.close();
    QTRY_COMPARE(connection.state(), IpcConnection::Unconnected);
    QCOMPARE(states.size(), 2);
    QCOMPARE(disconnected.size(), 0);
    QTRY_COMPARE(link.client.state(), QAbstractSocket::UnconnectedState);
}

void tst_IpcConnection::peerClosingIsADisconnection()
{
    Loopback link;
    QVERIFY(link.open());
    LocalSocketIpcConnection connection(link.accepted);
    QSignalSpy states(&connection, &IpcConnection::stateChanged);
    QSignalSpy disconnected(&connection, &IpcConnection::disconnected);
    link.client.disconnectFromHost();
    QTRY_COMPARE(disconnected.size(), 1);
    QCOMPARE(connection.state(), IpcConnection::Unconnected);
    QCOMPARE(states.size(), 1);
    // The socket reports the closing as an error before its disconnected().
    QCOMPARE(connection.error(), IpcConnection::DeviceError);
    QVERIFY(!connection.errorString().isEmpty());
    QTest::qWait(20);
    QCOMPARE(disconnected.size(), 1);
}

void tst_IpcConnection::impossibleLengthEndsTheLink_data()
{
    QTest::addColumn<qint32>("length");

    QTest::newRow("negative") << -5;
    QTest::newRow("over 16 MiB") << 16 * 1024 * 1024 + 1;
}

void tst_IpcConnection::impossibleLengthEndsTheLink()
{
    QFETCH(qint32, length);

    AnsweringEnd end;
    QVERIFY(end.open());
    QSignalSpy disconnected(end.connection.get(), &IpcConnection::disconnected);

    QTest::ignoreMessage(QtWarningMsg, "Invalid IPC packet. disconnecting");
    end.link.send(packet(R"({"jsonrpc":"2.0","method":"setProfile","params":[1]})") + lengthField(length)
        + packet(R"({"jsonrpc":"2.0","method":"setProfile","params":[2]})"));
    QTRY_COMPARE(disconnected.size(), 1);
    QCOMPARE(end.connection->state(), IpcConnection::Unconnected);
    QCOMPARE(end.handler.received, QStringList { "setProfile 1" });
    QTRY_COMPARE(end.link.client.state(), QAbstractSocket::UnconnectedState);
}

void tst_IpcConnection::callsWhileUnconnectedWaitForTheLink()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    Connector client;
    client.connectTo(server.serverPort());
    QTRY_COMPARE(client.state(), IpcConnection::Connected);
    QTRY_VERIFY(server.hasPendingConnections());
    std::unique_ptr<QTcpSocket> first(server.nextPendingConnection());

    uint writtenCode = 0;
    JsonRPCCall *written = client.call("first");
    connect(written, &Request::finished, this, [&] { writtenCode = written->error().code(); });
    QTRY_VERIFY(first->bytesAvailable() > 0);

    client.close();
    QTRY_COMPARE(client.state(), IpcConnection::Unconnected);
    QPointer<JsonRPCCall> queued(client.call("second"));
    // Going out while the link is down fails what was written and keeps what was queued.
    QTRY_COMPARE(writtenCode, uint(Error::NotConnected));
    QVERIFY(queued);

    client.renewSocket();
    client.connectTo(server.serverPort());
    QTRY_COMPARE(client.state(), IpcConnection::Connected);
    QTRY_VERIFY(server.hasPendingConnections());
    std::unique_ptr<QTcpSocket> second(server.nextPendingConnection());
    QTest::qWait(20);
    QCOMPARE(second->bytesAvailable(), 0);

    client.notify("third");
    QCOMPARE(readPackets(second.get(), 2),
        (QStringList { R"(0 {"id":2,"jsonrpc":"2.0","method":"second"})", R"(0 {"jsonrpc":"2.0","method":"third"})" }));
    second->write(packet(R"({"id":2,"jsonrpc":"2.0","result":1})", 1));
    QTRY_VERIFY(!queued);
}

void tst_IpcConnection::refusedConnection()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();

    Connector client;
    QSignalSpy disconnected(&client, &IpcConnection::disconnected);
    client.connectTo(port);
    QTRY_COMPARE(client.state(), IpcConnection::Unconnected);
    QCOMPARE(client.error(), IpcConnection::DeviceError);
    QVERIFY(!client.errorString().isEmpty());
    QCOMPARE(disconnected.size(), 0);
}

void tst_IpcConnection::deferredAnswerAfterTheConnectionIsGone()
{
    Loopback link;
    QVERIFY(link.open());
    Handler handler;
    auto connection = new LocalSocketIpcConnection(link.accepted);
    connection->setJsonRPCHandler(&handler);
    link.send(packet(R"({"id":1,"jsonrpc":"2.0","method":"later"})"));
    QTRY_COMPARE(handler.received, QStringList { "later" });

    delete connection;
    link.accepted = nullptr;
    handler.pending.callback(QStringLiteral("too late"));
    QTRY_COMPARE(link.client.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(link.client.bytesAvailable(), 0);
}

void tst_IpcConnection::handlerDeletesTheConnection_data()
{
    QTest::addColumn<bool>("byRequest");

    QTest::newRow("a request handler, with a second packet in the same read") << true;
    QTest::newRow("a stateChanged() receiver, when the peer closes") << false;
}

// The device is inside one of its own signals then; it must go only once that signal has returned.
void tst_IpcConnection::handlerDeletesTheConnection()
{
    QFETCH(bool, byRequest);

    Loopback link;
    QVERIFY(link.open());
    Handler handler;
    handler.device = link.accepted;
    handler.connection = new LocalSocketIpcConnection(link.accepted);
    link.accepted = nullptr;
    handler.connection->setJsonRPCHandler(&handler);
    if (byRequest) {
        const QByteArray drop = packet(R"({"jsonrpc":"2.0","method":"drop"})");
        link.send(drop + drop);
    } else {
        connect(handler.connection, &IpcConnection::stateChanged, &handler, &Handler::deleteConnection);
        link.client.disconnectFromHost();
    }
    QTRY_VERIFY(!handler.connection);
    QVERIFY(handler.deviceOutlivedTheConnection);
    QTRY_VERIFY(!handler.device);
    QCOMPARE(handler.received, byRequest ? QStringList { "drop" } : QStringList());
    QTRY_COMPARE(link.client.state(), QAbstractSocket::UnconnectedState);
}

QTEST_GUILESS_MAIN(tst_IpcConnection)
#include "tst_ipcconnection.moc"
