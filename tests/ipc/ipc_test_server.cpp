// A small service on velmorwire for wire-level clients: it listens on 127.0.0.1 (port from the first argument,
// 0 for any), prints "listening <port>", and answers every connection with the methods below.
#include "peakmemory.h"

#include "velmorwire/deferred.h"
#include "velmorwire/error.h"
#include "velmorwire/localsocketipcconnection.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTimer>

#include <cstdio>

using namespace Velmor;

namespace Velmor {

class TestHandler : public QObject
{
    Q_OBJECT

public:
    explicit TestHandler(IpcConnection *connection)
        : QObject(connection)
        , m_connection(connection)
    { }

public Q_SLOTS:
    int add(int a, int b) { return a + b; }
    QVariant echo(const QVariant &value) { return value; }
    Error setProfile(quint32 id) { return id == 0 ? Error(1, QStringLiteral("No such profile")) : Error(); }
    void record(const QString &text) { m_recorded.append(text); }
    QStringList recorded() { return m_recorded; }
    // Answers after the given number of milliseconds, also when the connection is gone by then.
    Deferred later(quint16 msec, const QString &text)
    {
        Deferred deferred;
        QTimer::singleShot(msec, qApp, [deferred, text]() mutable { deferred.callback(text); });
        return deferred;
    }
    void notifyMe(const QString &text) { m_connection->notify("hello", { text }); }
    qint64 peakMemory() { return peakResidentKiB(); }
    void quit() { QCoreApplication::quit(); }

private:
    IpcConnection *m_connection;
    QStringList m_recorded;
};

} // namespace Velmor

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    registerErrorMetaType();
    registerDeferredMetaType();

    QTcpServer server;
    const quint16 port = argc > 1 ? quint16(QByteArray(argv[1]).toUInt()) : 0;
    if (!server.listen(QHostAddress::LocalHost, port)) {
        std::fprintf(stderr, "cannot listen: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            auto connection = new LocalSocketIpcConnection(socket, &server);
            connection->setJsonRPCHandler(new TestHandler(connection));
            // Lost or closed, a connection is done with.
            QObject::connect(connection, &IpcConnection::stateChanged, connection, [connection] {
                if (connection->state() == IpcConnection::Unconnected)
                    connection->deleteLater();
            });
        }
    });
    std::printf("listening %u\n", server.serverPort());
    std::fflush(stdout);
    return app.exec();
}

#include "ipc_test_server.moc"
