#ifndef VELMOR_TESTS_FAKEUPSTREAM_H
#define VELMOR_TESTS_FAKEUPSTREAM_H

#include "dns/packet.h"
#include "dns/tcpframer.h"
#include "dnstestutil.h"

#include "velmorwire/request.h"
#include "velmorwire/requestmanager_p.h"

#include <QHostAddress>
#include <QList>
#include <QNetworkDatagram>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

// A DNS server on 127.0.0.1 that the test drives by hand: it records every message it receives, by UDP (with the
// sender) or TCP (with the connection), and answers only when told to.
class FakeUpstream : public QObject
{
    Q_OBJECT

public:
    struct Received
    {
        Velmor::DNS::Packet message;
        QHostAddress sender;
        quint16 senderPort = 0;
        QPointer<QTcpSocket> connection;
    };

    bool open(bool tcp = true)
    {
        for (int attempt = 0; attempt < 20; ++attempt) {
            if (!udp.bind(QHostAddress::LocalHost, 0))
                return false;
            if (!tcp || server.listen(QHostAddress::LocalHost, udp.localPort()))
                break;
            udp.close();
        }
        if (udp.state() != QAbstractSocket::BoundState)
            return false;
        connect(&udp, &QUdpSocket::readyRead, this, [this] {
            while (udp.hasPendingDatagrams()) {
                const QNetworkDatagram datagram = udp.receiveDatagram();
                received.append({ Velmor::DNS::Packet(datagram.data()), datagram.senderAddress(),
                    quint16(datagram.senderPort()), nullptr });
            }
        });
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = server.nextPendingConnection()) {
                connections.append(socket);
                auto *framer = new Velmor::DNS::TcpFramer;
                connect(socket, &QObject::destroyed, this, [framer] { delete framer; });
                connect(socket, &QTcpSocket::readyRead, this, [this, socket, framer] {
                    framer->append(socket->readAll());
                    QByteArray bytes;
                    while (framer->next(bytes))
                        received.append(
                            { Velmor::DNS::Packet(bytes), socket->peerAddress(), socket->peerPort(), socket });
                });
            }
        });
        return true;
    }

    quint16 port() const { return udp.localPort(); }

    // A response to the received message: QR set, one A answer compressed to the question.
    static Velmor::DNS::Packet answerTo(const Velmor::DNS::Packet &query, quint32 address = 0x0a000001)
    {
        QByteArray bytes = query.toByteArray();
        // Questions only: the record count and any additional records of the query are dropped.
        const qsizetype end = Velmor::DNS::Packet(bytes).parse(Velmor::DNS::Packet::Questions).endOffset;
        bytes.truncate(end);
        bytes[2] = char(bytes.at(2) | 0x80);
        bytes[7] = 1;
        bytes[10] = 0;
        bytes[11] = 0;
        bytes.append(QByteArray::fromHex("c00c 0001 0001 0000003c 0004"));
        char raw[4];
        qToBigEndian(address, raw);
        bytes.append(raw, 4);
        return Velmor::DNS::Packet(bytes);
    }

    void reply(const Received &to, const Velmor::DNS::Packet &answer)
    {
        if (to.connection)
            to.connection->write(Velmor::DNS::TcpFramer::frame(answer.toByteArray()));
        else
            udp.writeDatagram(answer.toByteArray(), to.sender, to.senderPort);
    }

    void answer(int index) { reply(received.at(index), answerTo(received.at(index).message)); }

    QUdpSocket udp;
    QTcpServer server;
    QList<QTcpSocket *> connections;
    QList<Received> received;
};

// A client's recursive query for name, type A, under its ID.
inline QByteArray clientQuery(quint16 id, const QByteArray &name = "a.test")
{
    Velmor::DNS::Packet query = Velmor::DNS::Packet::makeQuery(name, 1);
    query.setId(id);
    return query.toByteArray();
}

// The clock of request deadlines and of the DNS idle limits, moved by the test.
struct FakeClock
{
    static qint64 &time()
    {
        static qint64 value = 1000000;
        return value;
    }
    static qint64 read() { return time(); }

    // Moves the clock and lets the request registry look at its deadlines.
    static void advance(qint64 ms)
    {
        time() += ms;
        QMetaObject::invokeMethod(Velmor::RequestManagerPrivate::get(Velmor::RequestManager::instance()),
            "timer_timeout", Qt::DirectConnection);
    }
};

#endif // VELMOR_TESTS_FAKEUPSTREAM_H
