#include "checkblackvelmor.h"

#include "dns/packet.h"

#include <QAtomicInt>
#include <QRandomGenerator>
#include <QUdpSocket>
#include <QtEndian>

namespace {

QAtomicInt limit(30000);

} // namespace

CheckBlackVelmor::CheckBlackVelmor(BlackTestResult *record)
    : base_test(record)
    , blackRecord(record)
{ }

int CheckBlackVelmor::answerLimit()
{
    return limit.loadRelaxed();
}

void CheckBlackVelmor::setAnswerLimit(int msec)
{
    limit.storeRelaxed(msec);
}

bool CheckBlackVelmor::test()
{
    using Velmor::DNS::Packet;
    Packet query = Packet::makeQuery(blackQueryName(), Velmor::DNS::TextRecordType);
    const quint16 id = quint16(QRandomGenerator::global()->bounded(65535));
    qToBigEndian(id, query.mutableRawData().data());
    const QByteArray bytes = query.toByteArray();
    const QString server = blackRecord->dnsServer.toString();

    // Bound to a port of its own, exclusively, so that two reports running side by side never read each
    // other's answers.
    QUdpSocket socket;
    if (!socket.bind(QHostAddress::AnyIPv4, 1234, QAbstractSocket::DontShareAddress)
        && !socket.bind(QHostAddress::AnyIPv4, 4321, QAbstractSocket::DontShareAddress)) {
        log += QStringLiteral("Can't bind udp socket: %1 %2\n").arg(server, socket.errorString());
        return false;
    }
    // Connected, the socket takes answers from the server alone.
    socket.connectToHost(blackRecord->dnsServer, blackRecord->dnsPort);
    if (!socket.waitForConnected(answerLimit()) || socket.write(bytes) != bytes.size()) {
        log += QStringLiteral("Can't write datagram to %1: %2\n").arg(server, socket.errorString());
        return false;
    }
    if (!socket.waitForReadyRead(answerLimit()) || !socket.hasPendingDatagrams()) {
        log += QStringLiteral("Can't read from udp socket %1 %2\n").arg(server, socket.errorString());
        return false;
    }
    QByteArray datagram(int(qMax<qint64>(socket.pendingDatagramSize(), 0)), Qt::Uninitialized);
    const qint64 read = socket.readDatagram(datagram.data(), datagram.size());
    datagram.truncate(int(qMax<qint64>(read, 0)));
    return readBlackAnswer(datagram, id, blackRecord, &log);
}
