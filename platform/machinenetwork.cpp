#include "machinenetwork.h"

#include "iphelper.h"
#include "registry.h"
#include "root.h"
#include "winerror.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <string.h>

namespace Velmor {
namespace Platform {

namespace {

bool readNumber(const QJsonValue &value, double low, double high, double *number)
{
    if (!value.isDouble())
        return false;
    const double d = value.toDouble();
    if (std::floor(d) != d || d < low || d > high)
        return false;
    *number = d;
    return true;
}

bool readUnsigned(const QJsonObject &object, const char *key, quint32 *number)
{
    double d = 0;
    if (!readNumber(object.value(QLatin1String(key)), 0, 4294967295.0, &d))
        return false;
    *number = quint32(d);
    return true;
}

bool readAdapter(const QJsonValue &value, MachineAdapter *adapter)
{
    const QJsonObject object = value.toObject();
    if (!value.isObject() || !object.value(QLatin1String("id")).isString())
        return false;
    adapter->id = object.value(QLatin1String("id")).toString();
    // The id is the adapter's ASCII name and a registry key name.
    for (const QChar c : std::as_const(adapter->id)) {
        if (c.unicode() < 0x21 || c.unicode() > 0x7e || c == QLatin1Char('\\') || c == QLatin1Char('/'))
            return false;
    }
    if (adapter->id.isEmpty() || adapter->id.size() > 255)
        return false;
    if (!readUnsigned(object, "index", &adapter->index) || adapter->index == 0)
        return false;
    if (!readUnsigned(object, "type", &adapter->type))
        return false;
    const QJsonValue name = object.value(QLatin1String("name"));
    if (!name.isUndefined() && !name.isString())
        return false;
    adapter->name = name.toString();
    const QJsonValue up = object.value(QLatin1String("up"));
    if (!up.isUndefined() && !up.isBool())
        return false;
    adapter->up = up.toBool(true);
    const QJsonValue addresses = object.value(QLatin1String("addresses"));
    if (!addresses.isUndefined() && !addresses.isArray())
        return false;
    const QJsonArray list = addresses.toArray();
    for (const QJsonValue &address : list) {
        sockaddr_storage storage;
        qint32 length = 0;
        if (!address.isString() || !parseSocketAddress(address.toString(), &storage, &length))
            return false;
        adapter->addresses.append(address.toString());
    }
    return true;
}

bool readRoute(const QJsonValue &value, MachineRoute *route)
{
    const QJsonObject object = value.toObject();
    if (!value.isObject())
        return false;
    if (!parseIPv4NetworkOrder(object.value(QLatin1String("destination")).toString(), &route->destination)
        || !parseIPv4NetworkOrder(object.value(QLatin1String("mask")).toString(), &route->mask)
        || !parseIPv4NetworkOrder(object.value(QLatin1String("nextHop")).toString(), &route->nextHop)
        || !readUnsigned(object, "index", &route->index))
        return false;
    const QJsonValue metric = object.value(QLatin1String("metric"));
    double d = 0;
    if (!metric.isUndefined() && !readNumber(metric, -2147483648.0, 2147483647.0, &d))
        return false;
    route->metric = qint32(d);
    return true;
}

bool parseMachineNetwork(const QByteArray &bytes, MachineNetwork *machine)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject root = document.object();
    const QJsonValue adapters = root.value(QLatin1String("adapters"));
    const QJsonValue routes = root.value(QLatin1String("routes"));
    const QJsonValue failures = root.value(QLatin1String("failures"));
    if ((!adapters.isUndefined() && !adapters.isArray()) || (!routes.isUndefined() && !routes.isArray())
        || (!failures.isUndefined() && !failures.isObject()))
        return false;
    for (const QJsonValue &value : adapters.toArray()) {
        MachineAdapter adapter;
        if (!readAdapter(value, &adapter))
            return false;
        machine->adapters.append(adapter);
    }
    for (const QJsonValue &value : routes.toArray()) {
        MachineRoute route;
        if (!readRoute(value, &route))
            return false;
        machine->routes.append(route);
    }
    const QJsonObject failureMap = failures.toObject();
    for (auto it = failureMap.constBegin(); it != failureMap.constEnd(); ++it) {
        double code = 0;
        if (!readNumber(it.value(), 1, 4294967295.0, &code))
            return false;
        machine->failures.insert(it.key(), quint32(code));
    }
    return true;
}

} // namespace

QString machineNetworkPath()
{
    return rootPath(QStringLiteral("machine.json"));
}

quint32 loadMachineNetwork(MachineNetwork *machine)
{
    *machine = MachineNetwork();
    QFile file(machineNetworkPath());
    if (!file.exists()) {
        const quint32 status = seedMachineNetwork();
        if (status != ErrorSuccess)
            return status;
    }
    if (!file.open(QIODevice::ReadOnly))
        return file.exists() ? ErrorAccessDenied : ErrorFileNotFound;
    if (!parseMachineNetwork(file.readAll(), machine)) {
        *machine = MachineNetwork();
        return ErrorInvalidData;
    }
    return ErrorSuccess;
}

quint32 loadMachineNetworkFor(const QString &call, MachineNetwork *machine)
{
    const quint32 status = loadMachineNetwork(machine);
    return status == ErrorSuccess ? machine->failures.value(call, ErrorSuccess) : status;
}

QByteArray formatMachineNetwork(const MachineNetwork &machine)
{
    QJsonArray adapters;
    for (const MachineAdapter &adapter : machine.adapters) {
        adapters.append(QJsonObject { { QStringLiteral("id"), adapter.id },
            { QStringLiteral("index"), double(adapter.index) }, { QStringLiteral("name"), adapter.name },
            { QStringLiteral("type"), double(adapter.type) }, { QStringLiteral("up"), adapter.up },
            { QStringLiteral("addresses"), QJsonArray::fromStringList(adapter.addresses) } });
    }
    QJsonArray routes;
    for (const MachineRoute &route : machine.routes) {
        routes.append(QJsonObject { { QStringLiteral("destination"), formatIPv4NetworkOrder(route.destination) },
            { QStringLiteral("mask"), formatIPv4NetworkOrder(route.mask) },
            { QStringLiteral("nextHop"), formatIPv4NetworkOrder(route.nextHop) },
            { QStringLiteral("index"), double(route.index) }, { QStringLiteral("metric"), double(route.metric) } });
    }
    QJsonObject root { { QStringLiteral("adapters"), adapters }, { QStringLiteral("routes"), routes } };
    if (!machine.failures.isEmpty()) {
        QJsonObject failures;
        for (auto it = machine.failures.constBegin(); it != machine.failures.constEnd(); ++it)
            failures.insert(it.key(), double(it.value()));
        root.insert(QStringLiteral("failures"), failures);
    }
    return QJsonDocument(root).toJson();
}

void ensureInterfaceKey(const QString &adapterId, const QString &dhcpServers, const QStringList &dhcpGateways)
{
    const QString key = IpHelper::interfaceKey(adapterId);
    if (Registry::keyExists(key) || Registry::createKey(key) != ErrorSuccess)
        return;
    Registry::setString(key, QStringLiteral("NameServer"), QString());
    if (!dhcpServers.isEmpty())
        Registry::setString(key, QStringLiteral("DhcpNameServer"), dhcpServers);
    if (!dhcpGateways.isEmpty())
        Registry::setMultiString(key, QStringLiteral("DhcpDefaultGateway"), dhcpGateways);
}

bool parseSocketAddress(const QString &text, sockaddr_storage *address, qint32 *length)
{
    ::memset(address, 0, sizeof *address);
    const QByteArray latin = text.toLatin1();
    if (latin.size() != text.size() || latin.contains('\0'))
        return false;
    if (parseIPv4NetworkOrder(text, nullptr)) {
        auto *in = reinterpret_cast<sockaddr_in *>(address);
        in->sin_family = AF_INET;
        parseIPv4NetworkOrder(text, &in->sin_addr.s_addr);
        *length = qint32(sizeof(sockaddr_in));
        return true;
    }
    auto *in6 = reinterpret_cast<sockaddr_in6 *>(address);
    if (!text.contains(QLatin1Char(':')) || ::inet_pton(AF_INET6, latin.constData(), &in6->sin6_addr) != 1)
        return false;
    in6->sin6_family = AF_INET6;
    *length = qint32(sizeof(sockaddr_in6));
    return true;
}

bool parseIPv4NetworkOrder(const QString &text, quint32 *address)
{
    // inet_pton takes exactly four decimal parts and refuses leading zeros, unlike inet_aton.
    const QByteArray latin = text.toLatin1();
    in_addr in;
    if (latin.size() != text.size() || latin.contains('\0') || ::inet_pton(AF_INET, latin.constData(), &in) != 1)
        return false;
    if (address)
        *address = in.s_addr;
    return true;
}

QString formatIPv4NetworkOrder(quint32 address)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr in;
    in.s_addr = address;
    ::inet_ntop(AF_INET, &in, text, sizeof text);
    return QString::fromLatin1(text);
}

} // namespace Platform
} // namespace Velmor
