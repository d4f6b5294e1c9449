#include "ipaddress.h"

namespace Velmor {

bool parseIPv4(const QString &text, QHostAddress *address)
{
    if (text.size() > 15)
        return false;
    quint32 value = 0;
    int parts = 0;
    int digits = 0;
    uint part = 0;
    bool leadingZero = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('.')) {
            if (digits == 0 || parts == 3)
                return false;
            value = (value << 8) | part;
            ++parts;
            digits = 0;
            part = 0;
            continue;
        }
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        if (digits == 1 && leadingZero)
            return false;
        leadingZero = digits == 0 && c == QLatin1Char('0');
        part = part * 10 + uint(c.unicode() - '0');
        if (++digits > 3 || part > 255)
            return false;
    }
    if (parts != 3 || digits == 0)
        return false;
    value = (value << 8) | part;
    if (address)
        address->setAddress(value);
    return true;
}

QHostAddress parseIPAddress(const QString &text)
{
    QHostAddress address;
    if (parseIPv4(text, &address))
        return address;
    if (!text.contains(QLatin1Char(':')))
        return QHostAddress();
    // QHostAddress trims blanks and takes a "%scope" suffix; neither belongs in an address list.
    for (const QChar c : text) {
        const bool allowed = c.isDigit() || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
            || (c >= QLatin1Char('A') && c <= QLatin1Char('F')) || c == QLatin1Char(':') || c == QLatin1Char('.');
        if (!allowed || c.unicode() > 0x7f)
            return QHostAddress();
    }
    if (!address.setAddress(text) || address.protocol() != QAbstractSocket::IPv6Protocol)
        return QHostAddress();
    return address;
}

} // namespace Velmor
