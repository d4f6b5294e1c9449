#ifndef VELMOR_SERVICESETTINGS_H
#define VELMOR_SERVICESETTINGS_H

#include "velmorwire/hostlist.h"

#include <QByteArray>
#include <QHostAddress>
#include <QSettings>
#include <QString>
#include <QStringList>

// Copies every key and group of source's current group over destination's current group; a key whose value
// destination already holds is not written, so a store that already agrees stays untouched. Groups nested deeper
// than 64 levels below the current group are left out, and the result is then false.
bool copySettings(QSettings &source, QSettings &destination);

namespace Velmor {

// Readies the service's settings store at start: the "global" section of <directory>/service.ini wins over the
// stored values, every missing key gets its default, and the store is flushed. A store that cannot be read
// cleanly is left as it is, and the result is false with the reason in error.
bool prepareServiceSettings(const QString &directory, QString *error = nullptr);

// The service's settings store, one key at a time. Each getter gives what its readers get when the key is absent
// and parses the stored text the way they need it; each setter writes the form the store has always held. An
// object opens the store afresh, so it sees whatever was written before it was made: make one where a value is
// needed and do not keep it.
class ServiceSettings
{
public:
    // The process's store, as QSettings() opens it.
    ServiceSettings();
    // The same store named by its file: a worker thread opens it so, without reading the application's names.
    explicit ServiceSettings(const QString &fileName);
    Q_DISABLE_COPY(ServiceSettings)

    QString fileName() const;
    QSettings::Status status() const;
    // Writes what is pending; true when the store reports no error.
    bool sync();

    // "vyrproxy-addr", the filtering resolver: see parseAddress.
    void upstreamAddress(QHostAddress *address, quint16 *port) const;

    // "localproxy-addr", the local DNS proxy: the stored text, and parsed as parseAddress does.
    QString localProxyAddressText() const;
    void localProxyAddress(QHostAddress *address, quint16 *port) const;
    // Stores the address with ":" and the port after it when the port is not 53.
    void setLocalProxyAddress(const QHostAddress &address, quint16 port);

    // "httpd-port", the block page's port on 127.0.0.1; "0" when absent. False when the stored text, blanks
    // around it aside, is not a number of digits from 0 to 65535; text gets that text either way, for the message.
    bool httpdPort(quint16 *port, QString *text = nullptr) const;

    // "tokens-enabled": identification by token rather than by address; false when absent.
    bool tokensEnabled() const;
    void setTokensEnabled(bool on);

    // "settings-protected": a desktop connection starts locked; true when absent.
    bool settingsProtected() const;
    void setSettingsProtected(bool on);

    // "protected-networks": the ids of the connections the user protects; empty when absent.
    QStringList protectedNetworks() const;
    void setProtectedNetworks(const QStringList &ids);

    // "fallback-dns": the servers for a connection that has neither saved nor DHCP servers. Parts that are no
    // IPv4 dotted quad are dropped.
    HostList fallbackDns() const;

    // "www": the account service's base address as stored; empty when absent.
    QString accountServiceBase() const;
    // "www-ignore-ssl-errors": false when absent; a text is true unless it is empty, "0" or "false".
    bool ignoreSslErrors() const;

    // "dd-hostname", the name this computer gives the account service: "VelmorAgent" when absent or empty.
    QString agentName() const;

    // "user" and "password": the protected blobs of the account's credentials; empty when absent.
    QByteArray storedUser() const;
    QByteArray storedPassword() const;
    // Writes both blobs and flushes them.
    void setStoredCredentials(const QByteArray &user, const QByteArray &password);

    // "dnscache-stopped": this service stopped the system's DNS client and has not started it again yet.
    bool dnsCacheStopped() const;
    // Stores true, or removes the key.
    void setDnsCacheStopped(bool stopped);

    // Any key a desktop program names, as text.
    void setText(const QString &key, const QString &value);

    // "address[:port]": the address in strict dotted-quad form (else the null address), the port 53 unless the
    // second part is a decimal number from 1 to 65535. Further parts are ignored.
    static void parseAddress(const QString &text, QHostAddress *address, quint16 *port);

private:
    QSettings m_settings;
};

} // namespace Velmor

#endif // VELMOR_SERVICESETTINGS_H
