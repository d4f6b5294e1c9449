#include "networkinterface.h"

#include "dnscacheresetter.h"
#include "networklog.h"

#include "base/adapterrecord.h"
#include "base/hostlisttext.h"
#include "base/serverstate.h"

#include "platform/iphelper.h"
#include "platform/registry.h"
#include "platform/winerror.h"

namespace Velmor {
namespace Private {

NetworkInterface::NetworkInterface(QChar separator, const ServerState *server, const QString &id, const QString &name)
    : m_separator(separator)
    , m_server(server)
    , m_id(id)
    , m_name(name)
    , m_record(new AdapterRecord(id, separator))
    , m_key(Platform::IpHelper::interfaceKey(id))
{
    saveOriginalDns();
}

NetworkInterface::~NetworkInterface() = default;

HostList NetworkInterface::registryList(const char *value, bool *readable) const
{
    Platform::Registry::Value data;
    const quint32 status = Platform::Registry::queryValue(m_key, QLatin1String(value), &data);
    if (readable)
        *readable = status == Platform::ErrorSuccess || status == Platform::ErrorFileNotFound;
    if (status != Platform::ErrorSuccess)
        return HostList();
    return parseServerList(
        data.type == Platform::Registry::MultiString ? data.texts.join(QLatin1Char(' ')) : data.text);
}

void NetworkInterface::recordOriginalDns(const HostList &servers)
{
    qCDebug(lcNetworkWrites, "settings %s originalDns = \"%s\"", qUtf8Printable(m_id),
        qUtf8Printable(formatServerList(servers, m_separator)));
    m_record->setOriginalDns(servers);
}

void NetworkInterface::recordAppliedDns(const HostList &addresses)
{
    qCDebug(lcNetworkWrites, "settings %s appliedDns = \"%s\"", qUtf8Printable(m_id),
        qUtf8Printable(formatServerList(addresses, m_separator)));
    m_record->setAppliedDns(addresses);
}

void NetworkInterface::forgetAppliedDns()
{
    qCDebug(lcNetworkWrites, "settings %s appliedDns removed", qUtf8Printable(m_id));
    m_record->removeAppliedDns();
}

bool NetworkInterface::hasDhcpServers()
{
    return !registryList("DhcpNameServer").isEmpty();
}

HostList NetworkInterface::currentNameServers() const
{
    const HostList own = registryList("NameServer");
    return own.isEmpty() ? registryList("DhcpNameServer") : own;
}

HostList NetworkInterface::originalDns() const
{
    return m_record->originalDns();
}

bool NetworkInterface::isOurs(const QHostAddress &address) const
{
    if (address.isNull())
        return false;
    if (m_server) {
        QHostAddress local = m_server->localDnsProxyAddress(false);
        if (local == QHostAddress(QHostAddress::AnyIPv4))
            local = QHostAddress(QHostAddress::LocalHost);
        if (address == local || address == m_server->upstreamProxyAddress())
            return true;
    }
    return m_record->appliedDns().contains(address);
}

void NetworkInterface::saveOriginalDns()
{
    bool readable = false;
    const HostList current = registryList("NameServer", &readable);
    // A value that cannot be read is not an empty one: the saved servers stay.
    if (!readable || (!current.isEmpty() && isOurs(current.first())))
        return;
    bool changed = false;
    // An empty "NameServer" saves the empty text: the adapter goes back to its DHCP servers.
    if (originalDns() != current) {
        recordOriginalDns(current);
        changed = true;
    }
    // The adapter is off this service's addresses, so none of them is applied any more.
    if (m_record->hasAppliedDns()) {
        forgetAppliedDns();
        changed = true;
    }
    if (changed)
        m_record->sync();
}

bool NetworkInterface::setNameServers(const HostList &servers)
{
    if (servers.isEmpty() && !hasDhcpServers()) {
        m_lastError = Error(Error::NoDhcpServers, QStringLiteral("DHCP Unavailable"));
        qWarning("can't do dhcpReset. dhcp unavailable");
        return false;
    }
    const QString text = formatServerList(servers, QLatin1Char(','));
    // A value that is already there is not written again: each write restarts the DNS client, and an adapter
    // given back to DHCP servers that are ours would be given back again at every run.
    Platform::Registry::Value current;
    if (Platform::Registry::queryValue(m_key, QStringLiteral("NameServer"), &current) == Platform::ErrorSuccess
        && current.type == Platform::Registry::String && current.text == text)
        return true;
    qCDebug(lcNetworkWrites, "registry %s NameServer = \"%s\"", qUtf8Printable(m_id), qUtf8Printable(text));
    const quint32 status = Platform::Registry::setString(m_key, QStringLiteral("NameServer"), text);
    if (status == Platform::ErrorSuccess) {
        DNSCacheResetter::reset();
        return true;
    }
    m_lastError = status == Platform::ErrorAccessDenied
        ? Error(Error::AccessDenied, QStringLiteral("Access denied"))
        : Error(Error::AccessDenied, QStringLiteral("Unexpected registry write error: %1").arg(status));
    return false;
}

bool NetworkInterface::pointAt(const QHostAddress &active)
{
    const QHostAddress first = currentNameServers().value(0);
    // The address being replaced stays ours until the write is known to have happened.
    HostList applied;
    applied.append(active);
    if (first != active && isOurs(first))
        applied.append(first);
    if (m_record->appliedDns() != applied)
        recordAppliedDns(applied);
    if (!m_record->sync(&m_lastError))
        return false;
    HostList servers;
    servers.append(active);
    return setNameServers(servers);
}

bool NetworkInterface::restore(const HostList &fallback)
{
    bool ok = setNameServers(originalDns());
    if (!ok && m_lastError.code() == Error::NoDhcpServers && !fallback.isEmpty())
        ok = setNameServers(fallback);
    if (ok && m_record->hasAppliedDns()) {
        forgetAppliedDns();
        m_record->sync();
    }
    return ok;
}

bool NetworkInterface::setProtected(bool on)
{
    const QHostAddress first = currentNameServers().value(0);
    if (on) {
        const QHostAddress active = m_server ? m_server->activeProxyAddress() : QHostAddress();
        if (active.isNull() || first == active)
            return true;
        if (!isOurs(first))
            saveOriginalDns();
        return pointAt(active);
    }
    if (!isOurs(first))
        return true;
    return restore(HostList());
}

bool NetworkInterface::storeOriginalDns(const HostList &servers)
{
    for (const QHostAddress &server : servers) {
        if (server.protocol() != QAbstractSocket::IPv4Protocol) {
            m_lastError
                = Error(Error::GeneralFailure, QStringLiteral("The connection's DNS servers must be IPv4 addresses"));
            return false;
        }
        if (isOurs(server)) {
            m_lastError = Error(
                Error::GeneralFailure, QStringLiteral("The address %1 belongs to this service").arg(server.toString()));
            return false;
        }
    }
    if (originalDns() == servers)
        return true;
    recordOriginalDns(servers);
    return m_record->sync(&m_lastError);
}

} // namespace Private
} // namespace Velmor
