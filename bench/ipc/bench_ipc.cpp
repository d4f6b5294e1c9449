// Round trips per second of a small call over loopback: the JSON-RPC engine on both ends of an IPC link,
// against a plain QTcpSocket echo of the same request bytes, the floor the engine adds to. Both servers run in
// one thread of their own, the clients on the main thread, each measured in the same run.
#include "velmorwire/error.h"
#include "velmorwire/jsonrpccall.h"
#include "velmorwire/localsocketipcconnection.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QtEndian>

#include <cstdio>
#include <functional>

using namespace Velmor;

namespace {

const int measureMsec = 2000;

class PingHandler : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

public Q_SLOTS:
    int ping(int value) { return value + 1; }
};

class Servers : public QObject
{
    Q_OBJECT

public:
    quint16 ipcPort = 0;
    quint16 echoPort = 0;

public Q_SLOTS:
    void start()
    {
        auto ipc = new QTcpServer(this);
        ipc->listen(QHostAddress::LocalHost, 0);
        ipcPort = ipc->serverPort();
        connect(ipc, &QTcpServer::newConnection, this, [this, ipc] {
            auto connection = new LocalSocketIpcConnection(ipc->nextPendingConnection(), this);
            connection->setJsonRPCHandler(new PingHandler(connection));
        });

        auto echo = new QTcpServer(this);
        echo->listen(QHostAddress::LocalHost, 0);
        echoPort = echo->serverPort();
        connect(echo, &QTcpServer::newConnection, this, [echo] {
            QTcpSocket *socket = echo->nextPendingConnection();
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->write(socket->readAll()); });
        });
    }
};

class Client : public LocalSocketIpcConnection
{
public:
    bool open(quint16 port)
    {
        auto socket = static_cast<QTcpSocket *>(m_device);
        setState(Connecting);
        socket->connectToHost(QHostAddress::LocalHost, port);
        if (!socket->waitForConnected(5000))
            return false;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QCoreApplication::processEvents();
        return m_state == Connected;
    }
};

double measureEngine(quint16 port)
{
    Client client;
    if (!client.open(port))
        return 0;
    QEventLoop loop;
    QElapsedTimer elapsed;
    int count = 0;
    bool wrong = false;
    std::function<void()> next = [&] {
        if (elapsed.elapsed() >= measureMsec) {
            loop.quit();
            return;
        }
        JsonRPCCall *call = client.call("ping", { count });
        QObject::connect(call, &Request::finished, &loop, [&, call] {
            wrong = wrong || call->result() != QVariant(count + 1);
            ++count;
            next();
        });
    };
    elapsed.start();
    next();
    loop.exec();
    if (wrong)
        std::fprintf(stderr, "wrong answers from the engine\n");
    return count * 1000.0 / elapsed.elapsed();
}

double measureEcho(quint16 port)
{
    // The bytes the engine writes for one call of the loop above.
    const QByteArray text = R"({"id":1234,"jsonrpc":"2.0","method":"ping","params":[1234]})";
    QByteArray request(4, '\0');
    qToLittleEndian<qint32>(qint32(text.size() + 1), request.data());
    request += '\0' + text;

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return 0;
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    QEventLoop loop;
    QElapsedTimer elapsed;
    int count = 0;
    qint64 received = 0;
    QObject::connect(&socket, &QTcpSocket::readyRead, &loop, [&] {
        received += socket.readAll().size();
        if (received < request.size())
            return;
        received -= request.size();
        ++count;
        if (elapsed.elapsed() >= measureMsec)
            loop.quit();
        else
            socket.write(request);
    });
    elapsed.start();
    socket.write(request);
    loop.exec();
    return count * 1000.0 / elapsed.elapsed();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    registerErrorMetaType();

    QThread thread;
    auto servers = new Servers;
    servers->moveToThread(&thread);
    thread.start();
    QMetaObject::invokeMethod(servers, &Servers::start, Qt::BlockingQueuedConnection);

    // Alternate the two so that neither profits from a warmer machine; report the better of each.
    double engine = 0;
    double echo = 0;
    for (int round = 0; round < 2; ++round) {
        engine = qMax(engine, measureEngine(servers->ipcPort));
        echo = qMax(echo, measureEcho(servers->echoPort));
    }
    std::printf("ipc round trips/s, small call over loopback: velmorwire engine %.0f, QTcpSocket echo %.0f, "
                "ratio %.2f\n",
        engine, echo, echo > 0 ? engine / echo : 0);

    QMetaObject::invokeMethod(servers, &QObject::deleteLater);
    thread.quit();
    thread.wait();
    return engine > 0 && echo > 0 ? 0 : 1;
}

#include "bench_ipc.moc"
