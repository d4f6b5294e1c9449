#include "machinenetwork.h"

#include "iphelper.h"
#include "winerror.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <mutex>

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Velmor {
namespace Platform {

namespace {

// A stable braced GUID for an interface name, so every seeding of the same computer names its adapters alike.
QString adapterIdFor(const QString &interfaceName)
{
    const QByteArray hex = QCryptographicHash::hash(interfaceName.toUtf8(), QCryptographicHash::Md5).toHex().toUpper();
    return QStringLiteral("{%1-%2-%3-%4-%5}")
        .arg(QLatin1String(hex.mid(0, 8)), QLatin1String(hex.mid(8, 4)), QLatin1String(hex.mid(12, 4)),
            QLatin1String(hex.mid(16, 4)), QLatin1String(hex.mid(20, 12)));
}

QByteArray sysClassNet(const QString &interfaceName, const char *entry)
{
    QFile file(QStringLiteral("/sys/class/net/%1/%2").arg(interfaceName, QLatin1String(entry)));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
}

// The interface type by the kernel's hardware type (ARPHRD_*).
quint32 interfaceTypeOf(const QString &interfaceName, unsigned int flags)
{
    if (flags & IFF_LOOPBACK)
        return IpHelper::TypeSoftwareLoopback;
    const int hardware = sysClassNet(interfaceName, "type").toInt();
    switch (hardware) {
    case 1: // Ethernet
        return QFileInfo::exists(QStringLiteral("/sys/class/net/%1/wireless").arg(interfaceName))
                || QFileInfo::exists(QStringLiteral("/sys/class/net/%1/phy80211").arg(interfaceName))
            ? IpHelper::TypeWireless
            : IpHelper::TypeEthernet;
    case 512: // PPP
        return IpHelper::TypePpp;
    case 772: // loopback
        return IpHelper::TypeSoftwareLoopback;
    case 768: // IPIP
    case 769: // IPv6-in-IPv6
    case 776: // SIT
    case 778: // GRE
        return IpHelper::TypeTunnel;
    default:
        return IpHelper::TypeOther;
    }
}

QString addressText(const sockaddr *address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address->sa_family == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(address)->sin_addr, text, sizeof text);
    else if (address->sa_family == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6 *>(address)->sin6_addr, text, sizeof text);
    return QString::fromLatin1(text);
}

QList<MachineAdapter> readInterfaces()
{
    QMap<QString, MachineAdapter> byName;
    QStringList order;
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0)
        return {};
    for (ifaddrs *entry = list; entry; entry = entry->ifa_next) {
        const QString name = QString::fromLocal8Bit(entry->ifa_name);
        if (!byName.contains(name)) {
            MachineAdapter adapter;
            adapter.id = adapterIdFor(name);
            adapter.index = ::if_nametoindex(entry->ifa_name);
            adapter.name = name;
            adapter.type = interfaceTypeOf(name, entry->ifa_flags);
            adapter.up = (entry->ifa_flags & IFF_UP) && (entry->ifa_flags & IFF_RUNNING);
            if (adapter.index == 0)
                continue;
            byName.insert(name, adapter);
            order.append(name);
        }
        if (entry->ifa_addr && (entry->ifa_addr->sa_family == AF_INET || entry->ifa_addr->sa_family == AF_INET6)) {
            const QString text = addressText(entry->ifa_addr);
            if (!text.isEmpty())
                byName[name].addresses.append(text);
        }
    }
    ::freeifaddrs(list);
    QList<MachineAdapter> adapters;
    for (const QString &name : std::as_const(order))
        adapters.append(byName.value(name));
    return adapters;
}

// /proc/net/route prints each address as the hexadecimal of its network-order bytes read as a host integer, so
// the parsed number is the address in network byte order.
QList<MachineRoute> readRoutes(const QList<MachineAdapter> &adapters)
{
    QFile file(QStringLiteral("/proc/net/route"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<MachineRoute> routes;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() < 8)
            continue;
        bool ok[5] = {};
        MachineRoute route;
        route.destination = fields.at(1).toUInt(&ok[0], 16);
        route.nextHop = fields.at(2).toUInt(&ok[1], 16);
        const uint flags = fields.at(3).toUInt(&ok[2], 16);
        route.metric = fields.at(6).toInt(&ok[3]);
        route.mask = fields.at(7).toUInt(&ok[4], 16);
        const bool up = flags & 0x1;
        if (!ok[0] || !ok[1] || !ok[2] || !ok[3] || !ok[4] || !up)
            continue;
        for (const MachineAdapter &adapter : adapters) {
            if (adapter.name == QString::fromLocal8Bit(fields.at(0)))
                route.index = adapter.index;
        }
        if (route.index != 0)
            routes.append(route);
    }
    return routes;
}

QString resolverServers()
{
    QFile file(QStringLiteral("/etc/resolv.conf"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QStringList servers;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 2 && fields.at(0) == "nameserver"
            && parseIPv4NetworkOrder(QString::fromLatin1(fields.at(1)), nullptr))
            servers.append(QString::fromLatin1(fields.at(1)));
    }
    return servers.join(QLatin1Char(' '));
}

// Creates the file with its final content under a temporary name and links it into place, so a reader never sees
// it half written and a file that appeared meanwhile is kept.
quint32 createExclusively(const QString &path, const QByteArray &bytes)
{
    const QByteArray target = QFile::encodeName(path);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray temporary
            = target + ".seed-" + QByteArray::number(::getpid()) + '-' + QByteArray::number(attempt);
        const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return ErrorAccessDenied;
        }
        ::fchmod(fd, 0644);
        qsizetype written = 0;
        while (written < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            written += n;
        }
        const bool complete = written == bytes.size() && ::fsync(fd) == 0;
        ::close(fd);
        const bool linked = complete && (::link(temporary.constData(), target.constData()) == 0 || errno == EEXIST);
        ::unlink(temporary.constData());
        return linked ? ErrorSuccess : ErrorAccessDenied;
    }
    return ErrorAccessDenied;
}

} // namespace

quint32 seedMachineNetwork()
{
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    const QString path = machineNetworkPath();
    if (QFileInfo::exists(path))
        return ErrorSuccess;
    MachineNetwork machine;
    machine.adapters = readInterfaces();
    machine.routes = readRoutes(machine.adapters);
    const QString servers = resolverServers();
    for (const MachineAdapter &adapter : std::as_const(machine.adapters)) {
        if (adapter.type == IpHelper::TypeSoftwareLoopback)
            continue;
        // This computer's resolvers are what its running IPv4 adapters were given.
        bool ipv4 = false;
        for (const QString &address : adapter.addresses)
            ipv4 = ipv4 || parseIPv4NetworkOrder(address, nullptr);
        QStringList gateways;
        for (const MachineRoute &route : std::as_const(machine.routes)) {
            if (route.index == adapter.index && route.destination == 0 && route.nextHop != 0)
                gateways.append(formatIPv4NetworkOrder(route.nextHop));
        }
        ensureInterfaceKey(adapter.id, adapter.up && ipv4 ? servers : QString(), gateways);
    }
    return createExclusively(path, formatMachineNetwork(machine));
}

} // namespace Platform
} // namespace Velmor
