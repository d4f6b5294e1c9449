// What the server's notifications cost on loopback, each beside a plain QTcpSocket that writes the very same
// packets, measured in the same run:
//  - the initial push to a new connection for an account of 50 profiles and 10,000 list entries, from the connect
//    to the last of its ten packets;
//  - "setDomains" with a 10,000-entry list broadcast to 8 connections, against the same to one.
// The server runs in process with an account client that holds the account and sends nothing.
#include "../../tests/warden/scriptedcabinet.h"
#include "../../tests/warden/scriptedmachine.h"

#include "core/ipcserver.h"
#include "core/server.h"
#include "core/server_p.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace Velmor;

namespace {

const int pushRounds = 200;
const int broadcastRounds = 20;

// A desktop's end that only counts whole packets, and keeps their bytes when asked to.
class Reader : public QObject
{
    Q_OBJECT

public:
    explicit Reader(quint16 port)
    {
        connect(&socket, &QTcpSocket::readyRead, this, &Reader::readyRead);
        socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    }

    void expect(int count)
    {
        packets = 0;
        target = count;
    }

    QTcpSocket socket;
    QByteArray buffer;
    QByteArray kept;
    bool keep = false;
    int packets = 0;
    int target = 0;

Q_SIGNALS:
    void complete();

private Q_SLOTS:
    void readyRead()
    {
        buffer += socket.readAll();
        while (buffer.size() >= 4) {
            const qint32 length = qFromLittleEndian<qint32>(buffer.constData());
            if (buffer.size() < 4 + length)
                break;
            if (keep)
                kept += buffer.left(4 + length);
            buffer.remove(0, 4 + length);
            if (++packets == target)
                Q_EMIT complete();
        }
    }
};

bool waitFor(QObject *sender, void (Reader::*signal)(), int timeout = 30000)
{
    QEventLoop loop;
    QTimer::singleShot(timeout, &loop, [&loop] { loop.exit(1); });
    QObject::connect(static_cast<Reader *>(sender), signal, &loop, &QEventLoop::quit);
    return loop.exec() == 0;
}

bool waitUntil(const std::function<bool()> &condition, int timeout = 30000)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.hasExpired(timeout))
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Writes the given packets to each connection it accepts, one write per packet, as the server's link does.
class PlainServer : public QObject
{
    Q_OBJECT

public:
    explicit PlainServer(const QList<QByteArray> &packets)
        : m_packets(packets)
    {
        connect(&server, &QTcpServer::newConnection, this, &PlainServer::accept);
        server.listen(QHostAddress(QHostAddress::LocalHost), 0);
    }

    QTcpServer server;
    QList<QTcpSocket *> sockets;

private Q_SLOTS:
    void accept()
    {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            sockets.append(socket);
            connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
                sockets.removeOne(socket);
                socket->deleteLater();
            });
            for (const QByteArray &packet : std::as_const(m_packets))
                socket->write(packet);
        }
    }

private:
    QList<QByteArray> m_packets;
};

QList<QByteArray> splitPackets(const QByteArray &bytes)
{
    QList<QByteArray> packets;
    qsizetype at = 0;
    while (at + 4 <= bytes.size()) {
        const qint32 length = qFromLittleEndian<qint32>(bytes.constData() + at);
        packets.append(bytes.mid(at, 4 + length));
        at += 4 + length;
    }
    return packets;
}

// Milliseconds from the connect to the last of the push's packets.
double connectAndPush(quint16 port, int packets, QByteArray *kept = nullptr)
{
    QElapsedTimer elapsed;
    elapsed.start();
    Reader reader(port);
    reader.keep = kept != nullptr;
    reader.expect(packets);
    if (!waitFor(&reader, &Reader::complete))
        return -1;
    const double ms = elapsed.nsecsElapsed() / 1e6;
    if (kept)
        *kept = reader.kept;
    reader.socket.disconnectFromHost();
    return ms;
}

struct Machine
{
    QTemporaryDir root;
    WardenTest::ScriptedCabinet *cabinet = nullptr;
    std::unique_ptr<Server> server;
    ServerPrivate *d = nullptr;
    quint16 ipcPort = 0;

    bool start()
    {
        WardenTest::prepareScriptedMachine(root.path(), false);
        ipcPort = quint16(qEnvironmentVariableIntValue("VELMOR_IPC_PORT"));
        cabinet = new WardenTest::ScriptedCabinet;
        server = std::make_unique<Server>(cabinet, nullptr);
        d = ServerPrivate::get(server.get());
        QCoreApplication::processEvents();
        cabinet->setHeldCredentials(QStringLiteral("owner@example.com"), QStringLiteral("password"));
        cabinet->clearError();
        // 50 profiles, 200 entries each: 10,000 in all, profile 1 with a list of 10,000 for the broadcast.
        QList<quint32> ids;
        for (quint32 id = 1; id <= 50; ++id)
            ids.append(id);
        cabinet->holdProfiles(50, ids);
        for (quint32 id = 1; id <= 50; ++id) {
            for (const auto type : { CabinetDomain::White, CabinetDomain::Black, CabinetDomain::Alias })
                cabinet->holdDomains(id, type, type == CabinetDomain::Black ? 68 : 66);
        }
        cabinet->selectProfile(1);
        return server->start() && server->isIdentified();
    }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Machine machine;
    if (!machine.start()) {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }

    // The initial push, and the same packets through a plain socket.
    QByteArray pushBytes;
    connectAndPush(machine.ipcPort, 10, &pushBytes);
    waitUntil([&] { return machine.d->ipcServer->connections().isEmpty(); });
    PlainServer plainPush(splitPackets(pushBytes));
    std::vector<double> server;
    std::vector<double> plain;
    for (int round = 0; round < pushRounds; ++round) {
        server.push_back(connectAndPush(machine.ipcPort, 10));
        plain.push_back(connectAndPush(plainPush.server.serverPort(), 10));
        waitUntil([&] { return machine.d->ipcServer->connections().isEmpty() && plainPush.sockets.isEmpty(); });
    }
    const double pushMs = median(server);
    const double plainMs = median(plain);
    std::printf("initial push, 50 profiles and 10,000 entries (%lld bytes in 10 packets): %.3f ms; the same "
                "packets through a plain QTcpSocket: %.3f ms; ratio %.2f (aim: at most 50 ms)\n",
        qlonglong(pushBytes.size()), pushMs, plainMs, plainMs > 0 ? pushMs / plainMs : 0);

    // "setDomains" with 10,000 entries to 1 and to 8 connections.
    machine.cabinet->holdDomains(1, CabinetDomain::Black, 10000);
    double broadcastMs[2] = { 0, 0 };
    qlonglong packetBytes = 0;
    for (int pass = 0; pass < 2; ++pass) {
        const int count = pass == 0 ? 1 : 8;
        std::vector<std::unique_ptr<Reader>> readers;
        for (int i = 0; i < count; ++i) {
            readers.push_back(std::make_unique<Reader>(machine.ipcPort));
            readers.back()->expect(11);
        }
        // The push and the identification notification that follows it.
        waitUntil([&] {
            return std::all_of(readers.begin(), readers.end(), [](const auto &r) { return r->packets >= 11; });
        });
        std::vector<double> rounds;
        for (int round = 0; round < broadcastRounds; ++round) {
            for (auto &reader : readers) {
                reader->expect(1);
                reader->keep = round == 0;
            }
            QElapsedTimer elapsed;
            elapsed.start();
            Q_EMIT machine.cabinet->domainsChanged(1, CabinetDomain::Black);
            if (!waitUntil([&] {
                    return std::all_of(readers.begin(), readers.end(), [](const auto &r) { return r->packets >= 1; });
                }))
                return 1;
            rounds.push_back(elapsed.nsecsElapsed() / 1e6);
            if (round == 0)
                packetBytes = readers.front()->kept.size();
        }
        broadcastMs[pass] = median(rounds);
        readers.clear();
        waitUntil([&] { return machine.d->ipcServer->connections().isEmpty(); });
    }
    std::printf("setDomains, 10,000 entries (%lld bytes): to 8 connections %.3f ms, to 1 connection %.3f ms; "
                "ratio %.2f\n",
        packetBytes, broadcastMs[1], broadcastMs[0], broadcastMs[0] > 0 ? broadcastMs[1] / broadcastMs[0] : 0);
    machine.server->stop();
    return 0;
}

#include "bench_serverpush.moc"
