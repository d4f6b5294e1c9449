#include "socketowner.h"

#include <QFile>
#include <QtEndian>

#include <cstring>

namespace Velmor {
namespace Platform {

namespace {

// An endpoint as the table writes it: the address as the host reads its four network-order bytes, and the port.
QByteArray tableEndpoint(const QHostAddress &address, quint16 port)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    if (!ok)
        return QByteArray();
    const quint32 network = qToBigEndian(v4);
    quint32 host = 0;
    std::memcpy(&host, &network, sizeof host);
    return QByteArray::number(host, 16).toUpper().rightJustified(8, '0') + ':'
        + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
}

} // namespace

qint64 tcpSocketOwner(const QHostAddress &address, quint16 port, const QHostAddress &peer, quint16 peerPort)
{
    const QByteArray local = tableEndpoint(address, port);
    const QByteArray remote = tableEndpoint(peer, peerPort);
    if (local.isEmpty() || remote.isEmpty())
        return -1;
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    // "sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid ...", one socket a line.
    table.readLine();
    for (QByteArray line = table.readLine(); !line.isEmpty(); line = table.readLine()) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 8 || fields.at(1) != local || fields.at(2) != remote)
            continue;
        bool ok = false;
        const qint64 uid = fields.at(7).toLongLong(&ok);
        return ok ? uid : -1;
    }
    return -1;
}

} // namespace Platform
} // namespace Velmor
