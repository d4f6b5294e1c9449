#include "servicesettings.h"

#include "hostlisttext.h"

#include "platform/settingsstore.h"
#include "velmorwire/ipaddress.h"

#include <QFile>
#include <QVariant>

namespace {

const int MaximumGroupDepth = 64;

} // namespace

bool copySettings(QSettings &source, QSettings &destination)
{
    // Without recursion, and only so deep: one key of service.ini nested thousands of levels must not exhaust the
    // stack, nor make the copy take the square of its depth.
    bool complete = true;
    QStringList pending { QString() };
    while (!pending.isEmpty()) {
        const QString group = pending.takeLast();
        if (!group.isEmpty()) {
            source.beginGroup(group);
            destination.beginGroup(group);
        }
        const int depth = group.isEmpty() ? 0 : int(group.count(QLatin1Char('/'))) + 1;
        const QStringList groups = source.childGroups();
        for (const QString &child : groups) {
            // A key with an empty part ("a//b", "/x") shows as a group without a name, which cannot be entered:
            // descending into it would copy the same group again and again. Its keys cannot be read either.
            if (child.isEmpty())
                continue;
            if (depth == MaximumGroupDepth) {
                complete = false;
                continue;
            }
            pending.append(group.isEmpty() ? child : group + QLatin1Char('/') + child);
        }
        const QStringList keys = source.childKeys();
        for (const QString &key : keys) {
            const QVariant value = source.value(key);
            if (value != destination.value(key))
                destination.setValue(key, value);
        }
        if (!group.isEmpty()) {
            destination.endGroup();
            source.endGroup();
        }
    }
    return complete;
}

namespace Velmor {

namespace {

const QString upstreamKey = QStringLiteral("vyrproxy-addr");
const QString localProxyKey = QStringLiteral("localproxy-addr");
const QString httpdPortKey = QStringLiteral("httpd-port");
const QString tokensKey = QStringLiteral("tokens-enabled");
const QString protectedKey = QStringLiteral("settings-protected");
const QString networksKey = QStringLiteral("protected-networks");
const QString fallbackKey = QStringLiteral("fallback-dns");
const QString wwwKey = QStringLiteral("www");
const QString ignoreSslKey = QStringLiteral("www-ignore-ssl-errors");
const QString agentNameKey = QStringLiteral("dd-hostname");
const QString userKey = QStringLiteral("user");
const QString passwordKey = QStringLiteral("password");
const QString dnsCacheStoppedKey = QStringLiteral("dnscache-stopped");

const QString defaultAgentName = QStringLiteral("VelmorAgent");

// A port as text: one to five decimal digits, no sign and no blanks, nothing a looser number reader would let
// through; -1 for anything else.
int portDigits(const QString &text)
{
    if (text.isEmpty() || text.size() > 5)
        return -1;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
    }
    const uint value = text.toUInt();
    return value <= 65535 ? int(value) : -1;
}

const QString profileKey = QStringLiteral("profile");

struct Default
{
    QString key;
    QVariant value;
};

// In the byte order of the key names, the order they are written in. The two outside endpoints are placeholders
// from the ranges reserved for documentation: a deployment names the real ones in service.ini.
QList<Default> defaults()
{
    return {
        { agentNameKey, defaultAgentName },
        { fallbackKey, QStringLiteral("8.8.8.8") },
        { httpdPortKey, 13107 },
        { localProxyKey, QStringLiteral("127.0.0.1:53") },
        { passwordKey, QStringLiteral("") },
        { profileKey, 0 },
        { protectedKey, true },
        { tokensKey, true },
        { userKey, QStringLiteral("") },
        { upstreamKey, QStringLiteral("198.51.100.53") },
        { wwwKey, QStringLiteral("https://my.velmor.example") },
        { ignoreSslKey, false },
    };
}

} // namespace

bool prepareServiceSettings(const QString &directory, QString *error)
{
    QSettings settings;
    // Whatever QSettings writes replaces the whole file: over a store it could not read, that would lose the keys it
    // did not get to.
    if (settings.status() != QSettings::NoError) {
        if (error) {
            *error = QStringLiteral("the settings store %1 cannot be read (%2); its values are kept as they are")
                         .arg(settings.fileName(),
                             settings.status() == QSettings::AccessError ? QLatin1String("access error")
                                                                         : QLatin1String("format error"));
        }
        return false;
    }
    const QString overridePath = directory + QLatin1String("/service.ini");
    if (QFile::exists(overridePath)) {
        qWarning("reading service.ini and override settings");
        QSettings overrides(overridePath, QSettings::IniFormat);
        overrides.beginGroup(QStringLiteral("global"));
        if (!copySettings(overrides, settings))
            qWarning("service.ini: groups nested deeper than 64 levels are not copied");
    }
    const QList<Default> table = defaults();
    for (const Default &entry : table) {
        if (!settings.contains(entry.key))
            settings.setValue(entry.key, entry.value);
    }
    settings.sync();
    return true;
}

ServiceSettings::ServiceSettings() = default;

ServiceSettings::ServiceSettings(const QString &fileName)
    : m_settings(fileName, QSettings::IniFormat)
{ }

QString ServiceSettings::fileName() const
{
    return m_settings.fileName();
}

QSettings::Status ServiceSettings::status() const
{
    return m_settings.status();
}

bool ServiceSettings::sync()
{
    m_settings.sync();
    return m_settings.status() == QSettings::NoError;
}

void ServiceSettings::upstreamAddress(QHostAddress *address, quint16 *port) const
{
    parseAddress(Platform::settingText(m_settings, upstreamKey), address, port);
}

QString ServiceSettings::localProxyAddressText() const
{
    return Platform::settingText(m_settings, localProxyKey);
}

void ServiceSettings::localProxyAddress(QHostAddress *address, quint16 *port) const
{
    parseAddress(localProxyAddressText(), address, port);
}

void ServiceSettings::setLocalProxyAddress(const QHostAddress &address, quint16 port)
{
    QString text = address.toString();
    if (port != 53)
        text += QLatin1Char(':') + QString::number(port);
    m_settings.setValue(localProxyKey, text);
}

bool ServiceSettings::httpdPort(quint16 *port, QString *text) const
{
    const QString stored = Platform::settingText(m_settings, httpdPortKey, QStringLiteral("0")).trimmed();
    if (text)
        *text = stored;
    const int value = portDigits(stored);
    if (value < 0)
        return false;
    *port = quint16(value);
    return true;
}

bool ServiceSettings::tokensEnabled() const
{
    return m_settings.value(tokensKey, false).toBool();
}

void ServiceSettings::setTokensEnabled(bool on)
{
    m_settings.setValue(tokensKey, on);
}

bool ServiceSettings::settingsProtected() const
{
    return m_settings.value(protectedKey, true).toBool();
}

void ServiceSettings::setSettingsProtected(bool on)
{
    m_settings.setValue(protectedKey, on);
}

QStringList ServiceSettings::protectedNetworks() const
{
    return m_settings.value(networksKey).toStringList();
}

void ServiceSettings::setProtectedNetworks(const QStringList &ids)
{
    m_settings.setValue(networksKey, ids);
}

HostList ServiceSettings::fallbackDns() const
{
    return Private::parseServerList(Platform::settingText(m_settings, fallbackKey));
}

QString ServiceSettings::accountServiceBase() const
{
    return Platform::settingText(m_settings, wwwKey);
}

bool ServiceSettings::ignoreSslErrors() const
{
    return QVariant(Platform::settingText(m_settings, ignoreSslKey)).toBool();
}

QString ServiceSettings::agentName() const
{
    const QString name = Platform::settingText(m_settings, agentNameKey);
    return name.isEmpty() ? defaultAgentName : name;
}

QByteArray ServiceSettings::storedUser() const
{
    return m_settings.value(userKey).toByteArray();
}

QByteArray ServiceSettings::storedPassword() const
{
    return m_settings.value(passwordKey).toByteArray();
}

void ServiceSettings::setStoredCredentials(const QByteArray &user, const QByteArray &password)
{
    m_settings.setValue(userKey, user);
    m_settings.setValue(passwordKey, password);
    m_settings.sync();
}

bool ServiceSettings::dnsCacheStopped() const
{
    return m_settings.value(dnsCacheStoppedKey).toBool();
}

void ServiceSettings::setDnsCacheStopped(bool stopped)
{
    if (stopped)
        m_settings.setValue(dnsCacheStoppedKey, true);
    else
        m_settings.remove(dnsCacheStoppedKey);
}

void ServiceSettings::setText(const QString &key, const QString &value)
{
    m_settings.setValue(key, value);
}

void ServiceSettings::parseAddress(const QString &text, QHostAddress *address, quint16 *port)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    QHostAddress parsed;
    if (!parseIPv4(parts.constFirst(), &parsed))
        parsed = QHostAddress();
    *address = parsed;
    *port = 53;
    if (parts.size() < 2)
        return;
    const int value = portDigits(parts.at(1));
    if (value >= 1)
        *port = quint16(value);
}

} // namespace Velmor
