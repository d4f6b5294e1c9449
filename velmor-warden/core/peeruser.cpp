#include "peeruser.h"

#include <QFile>
#include <QtEndian>

namespace Velmor {

namespace {

// An address and port as the table writes them: the address's bytes in memory order as one hexadecimal number.
QByteArray tableEndpoint(const QHostAddress &address, quint16 port)
{
    return QByteArray::number(qToBigEndian(address.toIPv4Address()), 16).toUpper().rightJustified(8, '0') + ':'
        + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
}

} // namespace

qint64 loopbackPeerUser(const QHostAddress &peer, quint16 peerPort, const QHostAddress &local, quint16 localPort)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray from = tableEndpoint(peer, peerPort);
    const QByteArray to = tableEndpoint(local, localPort);
    // Read whole: files of /proc have no size, so atEnd() holds from the start. After a heading, one socket a line:
    // "sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid ..."
    const QList<QByteArray> lines = table.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 7 && fields.at(1) == from && fields.at(2) == to) {
            bool ok = false;
            const qint64 uid = fields.at(7).toLongLong(&ok);
            return ok ? uid : -1;
        }
    }
    return -1;
}

} // namespace Velmor
