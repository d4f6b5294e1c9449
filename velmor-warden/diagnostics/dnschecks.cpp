#include "dnschecks.h"

#include "platform/routelocaladdress.h"

namespace {

const QHostAddress localProxy(QHostAddress::LocalHost);

} // namespace

bool isForeignDnsAddress(const QHostAddress &address)
{
    const QString text = address.toString();
    return !text.isEmpty() && text != QLatin1String("127.0.0.1");
}

bool hasForeignDns(const AdapterInfo &adapter)
{
    return std::any_of(adapter.dnsServers.cbegin(), adapter.dnsServers.cend(), isForeignDnsAddress);
}

QHostAddress localIpAddress(QString *log)
{
    // The socket, connect and getsockname of a datagram socket aimed at 8.8.8.8:80, answered by the simulated
    // machine's routes; only the connection step can fail there.
    QHostAddress local;
    const int error = Velmor::Platform::defaultRouteLocalAddress(&local);
    if (error != 0) {
        if (log)
            *log += QStringLiteral("error during connection: %1\n").arg(error);
        return QHostAddress();
    }
    return local;
}

bool CheckDNSOnAllEnabledAdapters::test()
{
    QList<AdapterInfo> wrong;
    const QList<AdapterInfo> adapters = enabledAdapters();
    for (const AdapterInfo &adapter : adapters) {
        if (hasForeignDns(adapter))
            wrong.append(adapter);
    }
    if (wrong.isEmpty())
        return true;
    log += QLatin1String("There are incorect dns addresees:\n");
    for (const AdapterInfo &adapter : std::as_const(wrong)) {
        const QString address
            = adapter.unicastAddresses.isEmpty() ? QString() : adapter.unicastAddresses.first().toString();
        log += QStringLiteral("Type:%1 Adress:%2\n").arg(ifTypeName(adapter), address);
        for (const QHostAddress &server : adapter.dnsServers)
            log += QStringLiteral("DNS: %1\n").arg(server.toString());
    }
    return false;
}

bool CheckDNSOnGatway::test()
{
    const QHostAddress local = localIpAddress(&log);
    if (local.isNull()) {
        log += QLatin1String("can't check gateway dns\n");
        return false;
    }
    const QList<AdapterInfo> adapters = enabledAdapters();
    const auto gateway = std::find_if(adapters.cbegin(), adapters.cend(),
        [&local](const AdapterInfo &adapter) { return adapter.unicastAddresses.contains(local); });
    if (gateway == adapters.cend()) {
        log += QLatin1String("can't find gateway in adapters list\n");
        return false;
    }
    if (gateway->dnsServers.isEmpty()) {
        log += QLatin1String("there are no dns address on gateway interface\n");
        return false;
    }
    for (const QHostAddress &server : gateway->dnsServers) {
        if (server != localProxy) {
            log += QStringLiteral("Wrong dns address on gateway interfase:%1 DNS:%2\n")
                       .arg(local.toString(), server.toString());
            return false;
        }
    }
    log += QStringLiteral("Gateway interfase:%1 dns address:127.0.0.1\n").arg(local.toString());
    return true;
}
