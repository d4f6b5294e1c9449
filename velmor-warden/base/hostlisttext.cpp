#include "hostlisttext.h"

#include "platform/iphelper.h"
#include "velmorwire/ipaddress.h"

namespace Velmor {
namespace Private {

HostList parseServerList(const QString &text)
{
    HostList servers;
    const QStringList parts = Platform::IpHelper::splitServerList(text);
    for (const QString &part : parts) {
        QHostAddress address;
        if (parseIPv4(part, &address))
            servers.append(address);
    }
    return servers;
}

QString formatServerList(const HostList &servers, QChar separator)
{
    return servers.toStringList().join(separator);
}

} // namespace Private
} // namespace Velmor
