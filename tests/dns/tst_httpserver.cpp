#include "dns/dnsclock.h"
#include "dns/httpserver.h"
#include "dns/httpserverrequest.h"
#include "fakeupstream.h"
#include "scratchroot.h"
#include "staticserverstate.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

#include <unistd.h>

using namespace Velmor;

namespace {

quint16 freeTcpPort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

} // namespace

// The block page against curl, and a plain socket for what curl will not send.
class tst_HttpServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void curlTable_data();
    void curlTable();
    void splitHeader();
    void stalledHeader();
    void halfOpenLimitPerUser();
    void connectionLimit();
    void headGetsNoBody();
    void startFailures_data();
    void startFailures();
    void closeKeepsAcceptedConnections();
    void answeredClientMaySendMore_data();
    void answeredClientMaySendMore();
    void lingeringConnectionsCountForTheirUser();

private:
    QProcess *curl(const QStringList &arguments);
    // Requests curl cannot send: partial, or with bytes no client would put on a request line.
    QTcpSocket *rawClient();
    // The fixture holding count connections as the user uid, once it holds them all.
    QProcess *holdConnections(int count, uint uid);
    int openRequests() const { return int(server->findChildren<HttpServerRequest *>().size()); }

    TestSupport::ScratchRoot root;
    StaticServerState *state = nullptr;
    HttpServer *server = nullptr;
    quint16 port = 0;
};

void tst_HttpServer::initTestCase()
{
    QVERIFY(root.isValid());
    root.useSettingsOf(QStringLiteral("Service"));
    DNS::setClock(&FakeClock::read);
}

void tst_HttpServer::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    port = freeTcpPort();
    QSettings().setValue(QStringLiteral("httpd-port"), port);
    state = new StaticServerState;
    state->token = 7;
    server = new HttpServer(state);
    QVERIFY(server->start());
    QCOMPARE(server->serverPort(), port);
}

void tst_HttpServer::cleanup()
{
    delete state;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QProcess *tst_HttpServer::curl(const QStringList &arguments)
{
    auto *process = new QProcess(this);
    process->start(QStringLiteral("curl"), QStringList { "-s", "-i", "--max-time", "30" } + arguments);
    return process;
}

QTcpSocket *tst_HttpServer::rawClient()
{
    auto *socket = new QTcpSocket(this);
    socket->connectToHost(QHostAddress::LocalHost, port);
    return socket;
}

void tst_HttpServer::curlTable_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QByteArray>("statusLine");
    QTest::addColumn<QByteArray>("location");

    const QString base = QStringLiteral("http://127.0.0.1:%1");
    const QByteArray redirect("HTTP/1.1 303 See Other");
    const QByteArray page("HTTP/1.1 200 Ok");
    QTest::newRow("303 and its Location")
        << QStringList { base + "/?blockpage=10.0.0.1&hostname=a&url=b" } << QByteArray() << redirect
        << QByteArray("http://10.0.0.1/blocked?hostname=a&token=7&url=b");
    QTest::newRow("escapes kept, unsafe bytes encoded")
        << QStringList { "--request-target", "/?blockpage=10.0.0.1&hostname=a&url=%41x\"y", base + "/" } << QByteArray()
        << redirect << QByteArray("http://10.0.0.1/blocked?hostname=a&token=7&url=%41x%22y");
    QTest::newRow("200 page") << QStringList { base + "/?blockpage=10.0.0.1" } << QByteArray() << page << QByteArray();
    QTest::newRow("POST") << QStringList { "--data", "x=1", base + "/?blockpage=10.0.0.1&hostname=a" } << QByteArray()
                          << redirect << QByteArray("http://10.0.0.1/blocked?hostname=a&token=7&url=");
    QTest::newRow("HTTP/1.0") << QStringList { "--http1.0", base + "/?blockpage=10.0.0.1&hostname=a" } << QByteArray()
                              << QByteArray("HTTP/1.0 303 See Other")
                              << QByteArray("http://10.0.0.1/blocked?hostname=a&token=7&url=");
    QTest::newRow("9 KiB header") << QStringList { "-H", "X-Big: " + QString(9 * 1024, 'x'), base + "/" }
                                  << QByteArray() << QByteArray("HTTP/1.1 431 Request Header Fields Too Large")
                                  << QByteArray();
    QTest::newRow("short line") << QStringList() << QByteArray("GET /\r\n\r\n")
                                << QByteArray("HTTP/1.1 400 Bad Request") << QByteArray();
    QTest::newRow("a fourth word") << QStringList()
                                   << QByteArray("GET /?blockpage=10.0.0.1&hostname=a HTTP/1.1 extra\r\n\r\n")
                                   << QByteArray("HTTP/1.1 400 Bad Request") << QByteArray();
    QTest::newRow("bare LF injection")
        << QStringList() << QByteArray("GET /?blockpage=10.0.0.1&hostname=a\nLocation: http://evil/ HTTP/1.1\r\n\r\n")
        << QByteArray("HTTP/1.1 400 Bad Request") << QByteArray();
    QTest::newRow("hostname with '#', url with '='")
        << QStringList() << QByteArray("GET /?blockpage=10.0.0.1&hostname=a#b&url=http://x/?q=1 HTTP/1.1\r\n\r\n")
        << redirect << QByteArray("http://10.0.0.1/blocked?hostname=a%23b&token=7&url=http://x/?q=1");
    QTest::newRow("raw bare-LF request") << QStringList()
                                         << QByteArray("GET /?blockpage=1.2.3.4&hostname=b HTTP/1.1\n\n") << redirect
                                         << QByteArray("http://1.2.3.4/blocked?hostname=b&token=7&url=");
}

void tst_HttpServer::curlTable()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, raw);
    QFETCH(QByteArray, statusLine);
    QFETCH(QByteArray, location);

    for (QString &argument : arguments)
        argument = argument.replace(QLatin1String("%1"), QString::number(port));
    QByteArray output;
    if (raw.isEmpty()) {
        QProcess *client = curl(arguments);
        QTRY_COMPARE_WITH_TIMEOUT(client->state(), QProcess::NotRunning, 30000);
        output = client->readAllStandardOutput();
    } else {
        QTcpSocket *client = rawClient();
        client->write(raw);
        QTRY_COMPARE(client->state(), QAbstractSocket::UnconnectedState);
        output = client->readAll();
    }
    const qsizetype headerEnd = output.indexOf("\r\n\r\n");
    QVERIFY2(headerEnd > 0, output.constData());
    const QList<QByteArray> lines = output.left(headerEnd).split('\n');
    QCOMPARE(lines.first().trimmed(), statusLine);
    QByteArray locationHeader, contentLength;
    for (const QByteArray &line : lines) {
        if (line.startsWith("Location: "))
            locationHeader = line.mid(10).trimmed();
        if (line.startsWith("Content-Length: "))
            contentLength = line.mid(16).trimmed();
    }
    QCOMPARE(locationHeader, location);
    if (statusLine.endsWith("200 Ok")) {
        QCOMPARE(contentLength, QByteArray("42"));
        QCOMPARE(output.mid(headerEnd + 4), QByteArray("<html><body>Who is here? O_o</body></html>"));
    }
    // One answer per connection, then it is closed and forgotten.
    QTRY_COMPARE(openRequests(), 0);
}

void tst_HttpServer::splitHeader()
{
    QTcpSocket *client = rawClient();
    client->write("GET /?blockpage=10.0.0.1&hostname=a HTTP/1.1\r\nHost: x\r\n");
    QTRY_COMPARE(openRequests(), 1);
    QTRY_COMPARE(client->bytesToWrite(), 0);
    client->write("\r\n");
    QTRY_COMPARE(client->state(), QAbstractSocket::UnconnectedState);
    QVERIFY(client->readAll().startsWith("HTTP/1.1 303 See Other\r\n"));
}

void tst_HttpServer::stalledHeader()
{
    QTcpSocket *client = rawClient();
    client->write("GET / HTTP/1.1\r\n");
    QTRY_COMPARE(openRequests(), 1);
    FakeClock::time() += HttpServer::HeaderTimeout * 1000 - 1;
    QMetaObject::invokeMethod(server, "closeStalledRequests");
    QCoreApplication::processEvents();
    QCOMPARE(openRequests(), 1);
    QCOMPARE(client->state(), QAbstractSocket::ConnectedState);
    // Past the limit, the check on its own one-second timer ends it.
    FakeClock::time() += 2;
    QTRY_COMPARE(client->state(), QAbstractSocket::UnconnectedState);
    QVERIFY(client->readAll().startsWith("HTTP/1.1 408 Request Timeout\r\n"));
    QTRY_COMPARE(openRequests(), 0);
}

QProcess *tst_HttpServer::holdConnections(int count, uint uid)
{
    auto *process = new QProcess(this);
    process->start(QStringLiteral("/usr/bin/python3"),
        { qEnvironmentVariable("VELMOR_SOURCE_DIR") + QStringLiteral("/tests/dns/blockpagepeers.py"),
            QStringLiteral("hold"), QStringLiteral("--port"), QString::number(port), QStringLiteral("--count"),
            QString::number(count), QStringLiteral("--uid"), QString::number(uid) });
    if (!process->waitForStarted(30000))
        return nullptr;
    const bool held = QTest::qWaitFor([process] { return process->canReadLine() || !process->isOpen(); }, 30000);
    const QByteArray line = process->readLine().trimmed();
    if (!held || line != "held " + QByteArray::number(count)) {
        qWarning(
            "the fixture holds no connections: %s %s", line.constData(), process->readAllStandardError().constData());
        return nullptr;
    }
    return process;
}

void tst_HttpServer::halfOpenLimitPerUser()
{
    QList<QTcpSocket *> sockets;
    for (int i = 0; i < HttpServer::MaxHalfOpenPerUser + 2; ++i)
        sockets.append(rawClient());
    const auto connected = [&sockets] {
        return std::count_if(sockets.cbegin(), sockets.cend(),
            [](QTcpSocket *s) { return s->state() == QAbstractSocket::ConnectedState; });
    };
    // One user's connections that send nothing: whichever came beyond the cap are turned away.
    QTRY_COMPARE(connected(), qsizetype(HttpServer::MaxHalfOpenPerUser));
    QCOMPARE(openRequests(), HttpServer::MaxHalfOpenPerUser);
    // A request whose header is complete holds no slot of its user's: the next one is taken.
    QTcpSocket *waiting = sockets.first();
    waiting->write("GET /?blockpage=10.0.0.1&hostname=a HTTP/1.1\r\n\r\n");
    QTRY_COMPARE(waiting->state(), QAbstractSocket::UnconnectedState);
    // Answered, it goes once the client has closed its end.
    QTRY_COMPARE(openRequests(), HttpServer::MaxHalfOpenPerUser - 1);
    QTcpSocket *next = rawClient();
    QTRY_COMPARE(openRequests(), HttpServer::MaxHalfOpenPerUser);
    QTRY_COMPARE(next->state(), QAbstractSocket::ConnectedState);
    qDeleteAll(sockets);
    delete next;
    QTRY_COMPARE(openRequests(), 0);
}

void tst_HttpServer::connectionLimit()
{
    if (::geteuid() != 0)
        QSKIP("Connections of other users need root to make");
    // Users 65534, 65533, ... each holding as many connections as one user may: together all there are.
    QList<QProcess *> holders;
    for (int held = 0; held < HttpServer::MaxConnections; held += HttpServer::MaxHalfOpenPerUser) {
        const int count = qMin(HttpServer::MaxHalfOpenPerUser, HttpServer::MaxConnections - held);
        QProcess *holder = holdConnections(count, 65534 - uint(holders.size()));
        QVERIFY(holder);
        holders.append(holder);
    }
    QTRY_COMPARE(openRequests(), HttpServer::MaxConnections);
    // One more, of yet another user, is turned away.
    QTcpSocket *last = rawClient();
    QTRY_COMPARE(last->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(openRequests(), HttpServer::MaxConnections);
    for (QProcess *holder : std::as_const(holders)) {
        holder->closeWriteChannel();
        QVERIFY(holder->waitForFinished(30000));
        QCOMPARE(
            holder->readAllStandardOutput().trimmed(), "open " + QByteArray::number(HttpServer::MaxHalfOpenPerUser));
    }
    QTRY_COMPARE(openRequests(), 0);
}

void tst_HttpServer::headGetsNoBody()
{
    // The placeholder page's header, with the length of the body a GET would get, and nothing after it.
    QTcpSocket *client = rawClient();
    client->write("HEAD / HTTP/1.1\r\nHost: x\r\n\r\n");
    QTRY_COMPARE(client->state(), QAbstractSocket::UnconnectedState);
    const QByteArray output = client->readAll();
    QVERIFY2(output.startsWith("HTTP/1.1 200 Ok\r\n"), output.constData());
    QVERIFY2(output.contains("\r\nContent-Length: 42\r\n"), output.constData());
    QVERIFY2(output.endsWith("\r\n\r\n"), output.constData());
}

void tst_HttpServer::startFailures_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("message");
    QTest::newRow("port taken") << QString() << "Failed to start http server on 127.0.0.1:%1: .+";
    QTest::newRow("not a number") << "80a"
                                  << "Failed to start http server on 127.0.0.1:80a: the port is not a number .*";
    QTest::newRow("too large") << "70000"
                               << "Failed to start http server on 127.0.0.1:70000: the port is not .*";
}

void tst_HttpServer::startFailures()
{
    QFETCH(QString, setting);
    QFETCH(QString, message);
    message.replace(QLatin1String("%1"), QString::number(port));
    if (!setting.isEmpty())
        QSettings().setValue(QStringLiteral("httpd-port"), setting);
    auto *second = new HttpServer(state);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(message));
    QVERIFY(!second->start());
    QVERIFY(QRegularExpression(message).match(second->errorString()).hasMatch());
    // A later success keeps the text.
    server->close();
    QSettings().setValue(QStringLiteral("httpd-port"), port);
    QVERIFY(second->start());
    QVERIFY(second->start());
    QVERIFY(!second->errorString().isEmpty());
}

void tst_HttpServer::closeKeepsAcceptedConnections()
{
    QTcpSocket *client = rawClient();
    client->write("GET /?blockpage=10.0.0.1&hostname=a HTTP/1.1\r\n");
    QTRY_COMPARE(openRequests(), 1);
    server->close();
    QVERIFY(!server->isListening());
    client->write("\r\n");
    QTRY_COMPARE(client->state(), QAbstractSocket::UnconnectedState);
    QVERIFY(client->readAll().startsWith("HTTP/1.1 303 See Other\r\n"));
}

void tst_HttpServer::answeredClientMaySendMore_data()
{
    // What the client sends beyond the head the block page reads is read and dropped after the answer, never
    // answered with a reset that could cost the client the answer.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("output");
    QTest::newRow("http.client: a POST with an 8 MiB body")
        << QStringList { "request", "--body", QString::number(8 << 20), "POST:/?blockpage=10.0.0.1&hostname=a" }
        << QByteArray("303 http://10.0.0.1/blocked?hostname=a&token=7&url= 0\n");
    QTest::newRow("raw socket: 8 MiB after the head")
        << QStringList { "trailing", "--bytes", "8388608" } << QByteArray("whole answer, then end\n");
}

void tst_HttpServer::answeredClientMaySendMore()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, output);
    QProcess peer;
    arguments.insert(1, QStringLiteral("--port"));
    arguments.insert(2, QString::number(port));
    peer.start(QStringLiteral("/usr/bin/python3"),
        QStringList { qEnvironmentVariable("VELMOR_SOURCE_DIR") + QStringLiteral("/tests/dns/blockpagepeers.py") }
            + arguments);
    QTRY_COMPARE_WITH_TIMEOUT(peer.state(), QProcess::NotRunning, 30000);
    QCOMPARE(peer.readAllStandardOutput(), output);
    QTRY_COMPARE_WITH_TIMEOUT(openRequests(), 0, 10000);
}

void tst_HttpServer::lingeringConnectionsCountForTheirUser()
{
    // Answered connections whose client never closes linger: they hold their user's share meanwhile, not the slots
    // of every other user.
    QProcess holder;
    holder.start(QStringLiteral("/usr/bin/python3"),
        { qEnvironmentVariable("VELMOR_SOURCE_DIR") + QStringLiteral("/tests/dns/blockpagepeers.py"),
            QStringLiteral("hold"), QStringLiteral("--port"), QString::number(port), QStringLiteral("--count"),
            QString::number(HttpServer::MaxHalfOpenPerUser), QStringLiteral("--answered") });
    QTRY_VERIFY_WITH_TIMEOUT(holder.canReadLine(), 30000);
    QCOMPARE(holder.readLine(), "held " + QByteArray::number(HttpServer::MaxHalfOpenPerUser) + '\n');
    QCOMPARE(openRequests(), HttpServer::MaxHalfOpenPerUser);
    QTcpSocket *refused = rawClient();
    QTRY_COMPARE(refused->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(refused->readAll(), QByteArray());
    // Past the linger, they close and the user's share is free again.
    QTRY_COMPARE_WITH_TIMEOUT(openRequests(), 0, HttpServerRequest::LingerMs + 10000);
    QTcpSocket *next = rawClient();
    next->write("GET /?blockpage=10.0.0.1&hostname=a HTTP/1.1\r\n\r\n");
    QTRY_COMPARE(next->state(), QAbstractSocket::UnconnectedState);
    QVERIFY(next->readAll().startsWith("HTTP/1.1 303 See Other\r\n"));
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(30000));
}

QTEST_GUILESS_MAIN(tst_HttpServer)
#include "tst_httpserver.moc"
