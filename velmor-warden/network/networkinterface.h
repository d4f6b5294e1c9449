#ifndef VELMOR_NETWORKINTERFACE_H
#define VELMOR_NETWORKINTERFACE_H

#include "velmorwire/error.h"
#include "velmorwire/hostlist.h"

#include <QChar>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <memory>

namespace Velmor {

class AdapterRecord;
class ServerState;

namespace Private {

// One IPv4 adapter and its DNS servers: the values of its interface key, and its record in the service's settings,
// which keeps the servers to put back and the addresses of this service last written to it.
class NetworkInterface
{
public:
    // server names the addresses of this service, the active one among them, and outlives the object.
    NetworkInterface(QChar separator, const ServerState *server, const QString &id, const QString &name);
    virtual ~NetworkInterface();

    // "DhcpNameServer" holds a server.
    virtual bool hasDhcpServers();
    // Writes "NameServer" (the empty list hands the adapter to its DHCP servers) and asks for a DNS client
    // restart; codes 4 and 5 in lastError() on failure.
    virtual bool setNameServers(const HostList &servers);
    // On: saves the adapter's own servers and points it at the active address. Off: an adapter on an address of
    // this service gets its saved servers back; any other keeps what it has.
    virtual bool setProtected(bool on);

    // Keeps the adapter's "NameServer" as the servers to put back, unless it points at an address of this service.
    void saveOriginalDns();
    // "NameServer", or "DhcpNameServer" when that gives no address.
    HostList currentNameServers() const;
    HostList originalDns() const;
    // The local proxy (the any-address as 127.0.0.1), the filtering resolver, or an address written here as active.
    bool isOurs(const QHostAddress &address) const;

    // Records active as applied, flushes the saved servers, and only then writes [active] (AccessDenied when the
    // settings cannot be flushed).
    bool pointAt(const QHostAddress &active);
    // Writes the saved servers back, and fallback instead when that fails with NoDhcpServers and fallback is not empty.
    bool restore(const HostList &fallback);
    // Stores servers as the ones to put back; refuses a list with an IPv6 address or an address of this service.
    bool storeOriginalDns(const HostList &servers);

    QString id() const { return m_id; }
    QString name() const { return m_name; }
    QList<QHostAddress> addresses() const { return m_addresses; }
    Error lastError() const { return m_lastError; }
    QChar separator() const { return m_separator; }

protected:
    QList<QHostAddress> m_addresses;

private:
    Q_DISABLE_COPY(NetworkInterface)

    HostList registryList(const char *value, bool *readable = nullptr) const;
    // The record's writes, each logged before it is made.
    void recordOriginalDns(const HostList &servers);
    void recordAppliedDns(const HostList &addresses);
    void forgetAppliedDns();

    QChar m_separator;
    const ServerState *m_server;
    Error m_lastError;
    QString m_id;
    QString m_name;
    std::unique_ptr<AdapterRecord> m_record;
    QString m_key; // the interface key in the registry
};

} // namespace Private
} // namespace Velmor

#endif // VELMOR_NETWORKINTERFACE_H
