#include "typedaddress.h"

#include "velmorwire/ipaddress.h"

QHostAddress typedIPv4Address(const QString &text)
{
    QString typed;
    typed.reserve(text.size());
    for (const QChar c : text) {
        if (c != QLatin1Char('_') && !c.isSpace())
            typed.append(c);
    }
    QHostAddress address;
    if (!Velmor::parseIPv4(typed, &address))
        return QHostAddress();
    return address;
}
