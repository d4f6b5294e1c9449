#ifndef VELMOR_CONSOLE_BROWSERPROXYSETTINGS_H
#define VELMOR_CONSOLE_BROWSERPROXYSETTINGS_H

#include <QRegularExpression>
#include <QString>
#include <QStringList>

// The patterns that find proxy settings in the browsers' preference lines, and the installed programs; built once
// per check.
struct BrowserProxyPatterns
{
    BrowserProxyPatterns();
    explicit BrowserProxyPatterns(const QStringList &installedPrograms);

    QStringList installedPrograms;
    QRegularExpression operaServer;
    QRegularExpression operaPac;
    QRegularExpression firefoxAddress;
    QRegularExpression firefoxType;
    QRegularExpression firefoxPac;
};

// The proxy settings of one browser, or of one of its preference lines. A kind that a line switched off stays off:
// its address is wiped and later values for it are refused.
class BrowserProxySettings
{
public:
    enum Kind { Opera = 0, Firefox = 1 };

    void clear();

    void setHttpProxy(const QString &proxy);
    void setFtpProxy(const QString &proxy);
    void setSslProxy(const QString &proxy);
    void setSocksProxy(const QString &proxy);
    void disableHttpProxy();
    void disableFtpProxy();
    void disableSslProxy();
    void disableSocksProxy();

    // A type other than 0 and at least one address or automatic configuration URL.
    bool hasProxy() const;

    // The first value found for a field wins; a kind the other settings switched off is wiped and locked here too.
    void merge(const BrowserProxySettings &other);
    // One "NAME:value" line per setting, or the empty text without a proxy.
    QString toText() const;

    static BrowserProxySettings fromLine(const BrowserProxyPatterns &patterns, int kind, const QString &line);
    static BrowserProxySettings fromOperaLine(const BrowserProxyPatterns &patterns, const QString &line);
    static BrowserProxySettings fromFirefoxLine(const BrowserProxyPatterns &patterns, const QString &line);

private:
    bool m_httpDisabled = false;
    bool m_ftpDisabled = false;
    bool m_sslDisabled = false;
    bool m_socksDisabled = false;
    QString m_httpProxy;
    QString m_ftpProxy;
    QString m_sslProxy;
    QString m_socksProxy;
    QString m_pacUrl;
    int m_proxyType = 0;
};

#endif // VELMOR_CONSOLE_BROWSERPROXYSETTINGS_H
