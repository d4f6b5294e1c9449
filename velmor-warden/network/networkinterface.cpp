#include "networkinterface.h"

#include "backend.h"
#include "backendimpl.h"
#include "dnscacheresetter.h"
#include "networklog.h"

#include "base/hostlisttext.h"
#include "base/serverstate.h"

#include "platform/iphelper.h"
#include "platform/registry.h"
#include "platform/settingsstore.h"
#include "platform/winerror.h"

#include <QSettings>

namespace Velmor {
namespace Private {

namespace {

const QString originalDnsKey = QStringLiteral("originalDns");
const QString appliedDnsKey = QStringLiteral("appliedDns");

} // namespace

NetworkInterface::NetworkInterface(QChar separator, BackendImpl *owner, const QString &id, const QString &name)
    : m_separator(separator)
    , m_owner(owner)
    , m_id(id)
    , m_name(name)
    , m_key(Platform::IpHelper::interfaceKey(id))
{
    bindSettings();
    saveOriginalDns();
}

NetworkInterface::~NetworkInterface()
{
    delete m_group;
}

ServerState *NetworkInterface::server() const
{
    return m_owner && m_owner->backend ? m_owner->backend->server() : nullptr;
}

void NetworkInterface::bindSettings()
{
    m_group = new QSettings;
    m_group->beginGroup(QStringLiteral("interfaces"));
    const QStringList children = m_group->childGroups();
    for (const QString &child : children) {
        m_group->beginGroup(child);
        if (Platform::settingText(*m_group, QStringLiteral("guid")) == m_id)
            return;
        m_group->endGroup();
    }
    // The first free name: counting the groups would reuse the name of the last one when an earlier one is gone.
    int free = 0;
    while (children.contains(QStringLiteral("i%1").arg(free)))
        ++free;
    m_group->beginGroup(QStringLiteral("i%1").arg(free));
    m_group->setValue(QStringLiteral("guid"), m_id);
}

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

HostList NetworkInterface::settingsList(const QString &key) const
{
    return parseServerList(Platform::settingText(*m_group, key));
}

void NetworkInterface::setSetting(const QString &key, const QString &text)
{
    qCDebug(
        lcNetworkWrites, "settings %s %s = \"%s\"", qUtf8Printable(m_id), qUtf8Printable(key), qUtf8Printable(text));
    m_group->setValue(key, text);
}

void NetworkInterface::removeSetting(const QString &key)
{
    qCDebug(lcNetworkWrites, "settings %s %s removed", qUtf8Printable(m_id), qUtf8Printable(key));
    m_group->remove(key);
}

bool NetworkInterface::flushSettings()
{
    m_group->sync();
    switch (m_group->status()) {
    case QSettings::NoError:
        return true;
    case QSettings::AccessError:
        m_lastError = Error(Error::AccessDenied, QStringLiteral("Access denied"));
        return false;
    default:
        m_lastError = Error(
            Error::AccessDenied, QStringLiteral("Unexpected settings write error: %1").arg(int(m_group->status())));
        return false;
    }
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
    return settingsList(originalDnsKey);
}

bool NetworkInterface::isOurs(const QHostAddress &address) const
{
    if (address.isNull())
        return false;
    if (const ServerState *state = server()) {
        QHostAddress local = state->localDnsProxyAddress(false);
        if (local == QHostAddress(QHostAddress::AnyIPv4))
            local = QHostAddress(QHostAddress::LocalHost);
        if (address == local || address == state->upstreamProxyAddress())
            return true;
    }
    return settingsList(appliedDnsKey).contains(address);
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
        setSetting(originalDnsKey, formatServerList(current, m_separator));
        changed = true;
    }
    // The adapter is off this service's addresses, so none of them is applied any more.
    if (m_group->contains(appliedDnsKey)) {
        removeSetting(appliedDnsKey);
        changed = true;
    }
    if (changed)
        m_group->sync();
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
    if (settingsList(appliedDnsKey) != applied)
        setSetting(appliedDnsKey, formatServerList(applied, m_separator));
    if (!flushSettings())
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
    if (ok && m_group->contains(appliedDnsKey)) {
        removeSetting(appliedDnsKey);
        m_group->sync();
    }
    return ok;
}

bool NetworkInterface::setProtected(bool on)
{
    const QHostAddress first = currentNameServers().value(0);
    if (on) {
        const QHostAddress active = server() ? server()->activeProxyAddress() : QHostAddress();
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
            m_lastError = Error(1, QStringLiteral("The connection's DNS servers must be IPv4 addresses"));
            return false;
        }
        if (isOurs(server)) {
            m_lastError = Error(1, QStringLiteral("The address %1 belongs to this service").arg(server.toString()));
            return false;
        }
    }
    if (originalDns() == servers)
        return true;
    setSetting(originalDnsKey, formatServerList(servers, m_separator));
    return flushSettings();
}

} // namespace Private
} // namespace Velmor
