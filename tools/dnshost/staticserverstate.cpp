#include "staticserverstate.h"

#include "velmorwire/ipaddress.h"

namespace Velmor {

StaticServerState::StaticServerState(QObject *parent)
    : ServerState(parent)
{ }

QHostAddress StaticServerState::activeProxyAddress() const
{
    return localDnsProxyAddress(false);
}

QHostAddress StaticServerState::localDnsProxyAddress(bool raw) const
{
    if (!raw && localAddress == QHostAddress(QHostAddress::AnyIPv4))
        return QHostAddress(QHostAddress::LocalHost);
    return localAddress;
}

bool parseEndpoint(const QString &text, QHostAddress *address, quint16 *port, bool allowZeroPort)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0 || !parseIPv4(text.left(colon), address))
        return false;
    const QString digits = text.mid(colon + 1);
    if (digits.isEmpty() || digits.size() > 5)
        return false;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    bool ok = false;
    const uint value = digits.toUInt(&ok, 10);
    if (!ok || value > 65535 || (value == 0 && !allowZeroPort))
        return false;
    *port = quint16(value);
    return true;
}

} // namespace Velmor
