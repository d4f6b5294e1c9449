#include "browserproxysettings.h"

namespace {

// Unicode \w and \s, as the expressions were written for.
QRegularExpression pattern(const char *text)
{
    return QRegularExpression(QLatin1String(text), QRegularExpression::UseUnicodePropertiesOption);
}

void setUnlessDisabled(bool disabled, QString *field, const QString &value)
{
    if (!disabled)
        *field = value;
}

void disable(bool *disabled, QString *field)
{
    *disabled = true;
    *field = QLatin1String("");
}

} // namespace

BrowserProxyPatterns::BrowserProxyPatterns()
    : BrowserProxyPatterns(QStringList())
{ }

BrowserProxyPatterns::BrowserProxyPatterns(const QStringList &installedPrograms)
    : installedPrograms(installedPrograms)
    , operaServer(pattern("(HTTP|HTTPS|FTP|SOCKS)\\sserver=([0-9.:]+)"))
    , operaPac(pattern("Automatic Proxy Configuration URL=([:\\w_\\.\\d/]+)"))
    , firefoxAddress(pattern("[a-z_]+\\(\"network.proxy.([a-z]+)\",\\s\"([0-9.]+)\""))
    , firefoxType(pattern("[a-z_]+\\(\"network.proxy.type\",\\s([0-9]+)"))
    , firefoxPac(pattern("[a-z_]+\\(\"network.proxy.autoconfig_url\",\\s\"([:\\w_\\.\\d/]+)\""))
{ }

void BrowserProxySettings::clear()
{
    *this = BrowserProxySettings();
}

void BrowserProxySettings::setHttpProxy(const QString &proxy)
{
    setUnlessDisabled(m_httpDisabled, &m_httpProxy, proxy);
}

void BrowserProxySettings::setFtpProxy(const QString &proxy)
{
    setUnlessDisabled(m_ftpDisabled, &m_ftpProxy, proxy);
}

void BrowserProxySettings::setSslProxy(const QString &proxy)
{
    setUnlessDisabled(m_sslDisabled, &m_sslProxy, proxy);
}

void BrowserProxySettings::setSocksProxy(const QString &proxy)
{
    setUnlessDisabled(m_socksDisabled, &m_socksProxy, proxy);
}

void BrowserProxySettings::disableHttpProxy()
{
    disable(&m_httpDisabled, &m_httpProxy);
}

void BrowserProxySettings::disableFtpProxy()
{
    disable(&m_ftpDisabled, &m_ftpProxy);
}

void BrowserProxySettings::disableSslProxy()
{
    disable(&m_sslDisabled, &m_sslProxy);
}

void BrowserProxySettings::disableSocksProxy()
{
    disable(&m_socksDisabled, &m_socksProxy);
}

bool BrowserProxySettings::hasProxy() const
{
    return m_proxyType != 0
        && (!m_httpProxy.isEmpty() || !m_ftpProxy.isEmpty() || !m_sslProxy.isEmpty() || !m_socksProxy.isEmpty()
            || !m_pacUrl.isEmpty());
}

void BrowserProxySettings::merge(const BrowserProxySettings &other)
{
    if (other.m_httpDisabled)
        disableHttpProxy();
    if (other.m_ftpDisabled)
        disableFtpProxy();
    if (other.m_sslDisabled)
        disableSslProxy();
    if (other.m_socksDisabled)
        disableSocksProxy();
    if (m_httpProxy.isEmpty())
        setHttpProxy(other.m_httpProxy);
    if (m_ftpProxy.isEmpty())
        setFtpProxy(other.m_ftpProxy);
    if (m_sslProxy.isEmpty())
        setSslProxy(other.m_sslProxy);
    if (m_socksProxy.isEmpty())
        setSocksProxy(other.m_socksProxy);
    if (m_proxyType == 0)
        m_proxyType = other.m_proxyType;
    if (m_pacUrl.isEmpty())
        m_pacUrl = other.m_pacUrl;
}

QString BrowserProxySettings::toText() const
{
    if (!hasProxy())
        return QString();
    QString text;
    if (!m_httpProxy.isEmpty())
        text += QStringLiteral("HTTP_proxy:%1\n").arg(m_httpProxy);
    if (!m_ftpProxy.isEmpty())
        text += QStringLiteral("FTP_proxy:%1\n").arg(m_ftpProxy);
    if (!m_sslProxy.isEmpty())
        text += QStringLiteral("SSL_proxy:%1\n").arg(m_sslProxy);
    if (!m_socksProxy.isEmpty())
        text += QStringLiteral("SOCKS proxy:%1\n").arg(m_socksProxy);
    text += QStringLiteral("PROXY TYPE:%1\n").arg(m_proxyType);
    if (!m_pacUrl.isEmpty())
        text += QStringLiteral("PAC:%1\n").arg(m_pacUrl);
    return text;
}

BrowserProxySettings BrowserProxySettings::fromLine(const BrowserProxyPatterns &patterns, int kind, const QString &line)
{
    switch (kind) {
    case Opera:
        return fromOperaLine(patterns, line);
    case Firefox:
        return fromFirefoxLine(patterns, line);
    default:
        return BrowserProxySettings();
    }
}

BrowserProxySettings BrowserProxySettings::fromOperaLine(const BrowserProxyPatterns &patterns, const QString &line)
{
    BrowserProxySettings settings;
    const QRegularExpressionMatch server = patterns.operaServer.match(line);
    if (server.hasMatch()) {
        const QString kind = server.captured(1);
        const QString address = server.captured(2);
        if (kind == QLatin1String("FTP"))
            settings.setFtpProxy(address);
        else if (kind == QLatin1String("SOCKS"))
            settings.setSocksProxy(address);
        else if (kind == QLatin1String("HTTPS"))
            settings.setSslProxy(address);
        else
            settings.setHttpProxy(address);
        settings.m_proxyType = 1;
        return settings;
    }
    if (line == QLatin1String("Use FTP=0"))
        settings.disableFtpProxy();
    else if (line == QLatin1String("Use SOCKS=0"))
        settings.disableSocksProxy();
    else if (line == QLatin1String("Use HTTP=0"))
        settings.disableHttpProxy();
    else if (line == QLatin1String("Use HTTPS=0"))
        settings.disableSslProxy();
    const QRegularExpressionMatch pac = patterns.operaPac.match(line);
    if (pac.hasMatch()) {
        settings.m_pacUrl = pac.captured(1);
        settings.m_proxyType = 2;
    }
    return settings;
}

BrowserProxySettings BrowserProxySettings::fromFirefoxLine(const BrowserProxyPatterns &patterns, const QString &line)
{
    BrowserProxySettings settings;
    const QRegularExpressionMatch address = patterns.firefoxAddress.match(line);
    if (address.hasMatch()) {
        const QString kind = address.captured(1);
        const QString value = address.captured(2);
        if (kind == QLatin1String("ftp"))
            settings.setFtpProxy(value);
        else if (kind == QLatin1String("http"))
            settings.setHttpProxy(value);
        else if (kind == QLatin1String("socks"))
            settings.setSocksProxy(value);
        else if (kind == QLatin1String("ssl"))
            settings.setSslProxy(value);
    }
    const QRegularExpressionMatch type = patterns.firefoxType.match(line);
    if (type.hasMatch())
        settings.m_proxyType = type.captured(1).toInt();
    const QRegularExpressionMatch pac = patterns.firefoxPac.match(line);
    if (pac.hasMatch())
        settings.m_pacUrl = pac.captured(1);
    return settings;
}
