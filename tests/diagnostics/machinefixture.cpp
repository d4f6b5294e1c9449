#include "machinefixture.h"

#include "platform/iphelper.h"
#include "platform/registry.h"
#include "platform/root.h"

using namespace Velmor::Platform;

bool MachineFixture::setMachine(const QByteArray &json)
{
    return writeFileAtomically(rootPath(QStringLiteral("machine.json")), json, PublicFileMode);
}

bool MachineFixture::setDnsServers(const QString &adapterId, const QString &nameServer, const QString &dhcpNameServer)
{
    const QString key = IpHelper::interfaceKey(adapterId);
    if (Registry::createKey(key) != ErrorSuccess)
        return false;
    if (Registry::setString(key, QStringLiteral("NameServer"), nameServer) != ErrorSuccess)
        return false;
    return dhcpNameServer.isEmpty()
        || Registry::setString(key, QStringLiteral("DhcpNameServer"), dhcpNameServer) == ErrorSuccess;
}

bool MachineFixture::setGateways(const QString &adapterId, const QStringList &gateways)
{
    const QString key = IpHelper::interfaceKey(adapterId);
    return Registry::createKey(key) == ErrorSuccess
        && Registry::setMultiString(key, QStringLiteral("DefaultGateway"), gateways) == ErrorSuccess;
}
