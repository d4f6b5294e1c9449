#ifndef VELMOR_IPCREQUESTHANDLER_H
#define VELMOR_IPCREQUESTHANDLER_H

#include "velmorwire/deferred.h"
#include "velmorwire/error.h"
#include "velmorwire/hostlist.h"

#include <QObject>
#include <QVariant>

namespace Velmor {

class IpcConnection;
class ServerPrivate;
class SettingsLock;

// The service's methods for one desktop connection. Every slot of this class is callable over the link by its
// name and parameter count, so the class declares no other slot, signal or invokable method. The desktop spells
// their names from DesktopCall (velmorwire/methodnames.h).
//
// A connection that opened while the settings were protected and the service held credentials is locked: it may
// read, unlock, and switch filtering, the lock or a network's protection on (with servers only for an adapter
// that has none); every other method is refused with GeneralFailure (1), "Settings are locked". The keys that send the
// credentials or the queries elsewhere are never written over the link, and no value is longer than 4 KiB.
// A connection checks one settings password at a time, and each local user's attempts keep the pause his refused
// ones start (UnlockThrottle).
class IPCRequestHandler : public QObject
{
    Q_OBJECT

public:
    // A child of the connection, so it goes with it. The owner is the local user of the connection's peer.
    IPCRequestHandler(Velmor::ServerPrivate *server, Velmor::IpcConnection *connection, bool locked, qint64 owner);
    ~IPCRequestHandler() override;

    bool isLocked() const;

public Q_SLOTS:
    Velmor::Error setSetting(const QString &key, const QString &value);
    Velmor::Error setLocalDnsAddress(const QString &address, quint16 port);
    Velmor::Error setNetworkProtection(const QString &id, bool state, const Velmor::HostList &originalDns);
    Velmor::Deferred registerUser(const QString &user, const QString &password);
    Velmor::Deferred unlockSettings(const QString &user, const QString &password);
    Velmor::Deferred setCredentials(const QString &user, const QString &password);
    Velmor::Error setTokensEnabled(bool state);
    Velmor::Error setSettingsProtection(bool state);
    Velmor::Error setGlobalFiltering(bool state, int delayMinutes);
    Velmor::Error setProfile(quint32 id);
    Velmor::Deferred addProfile(const QString &name);
    Velmor::Error removeProfile(quint32 id);
    Velmor::Deferred systemInfo();
    QVariant categories();
    QVariant userFilter(quint32 profileId);
    QVariant domains(quint32 profileId, const QString &listType);
    Velmor::Error clearDomains(quint32 profileId, const QString &listType);
    Velmor::Error setFilterCat(quint32 profileId, quint32 catId, bool blocked);
    Velmor::Deferred addDomain(quint32 profileId, const QString &listType, const QString &domain, const QString &ip);
    Velmor::Deferred addDomain(quint32 profileId, const QString &listType, const QString &domain);
    Velmor::Error removeDomain(quint32 profileId, const QString &listType, quint32 domainId);
    QVariant schedule(quint32 profileId);
    Velmor::Error setScheduleEnabled(quint32 profileId, bool enabled);
    Velmor::Error setSchedule(quint32 profileId, const QVariant &schedule);
    Velmor::Error setWhiteListOnly(quint32 profileId, bool enabled);
    Velmor::Error setSafeSearchEnabled(quint32 profileId, bool enabled);
    void updateProfiles();
    void updateUserInfo();

private:
    Q_DISABLE_COPY(IPCRequestHandler)

    // True, with a warning naming the method, when the lock refuses it.
    bool refused(const char *method) const;
    // Whether a locked connection may store servers for the adapter: only the retry after NoDhcpServers (4).
    bool acceptsServersWhileLocked(const QString &id) const;
    // The deferred unlocks this connection when it fires with success.
    Velmor::Deferred unlockingOnSuccess(Velmor::Deferred deferred);
    // The settings password once the user's pause lets it be checked, and the end of that check.
    void checkPassword(const QString &user, const QString &password, Velmor::Deferred answer);
    void endUnlock(Velmor::Deferred answer, const Velmor::Error &error);

    Velmor::ServerPrivate *m_server;
    Velmor::IpcConnection *m_connection;
    Velmor::SettingsLock *m_lock;
    qint64 m_owner;
    // One unlock attempt at a time per connection.
    bool m_unlocking;
};

} // namespace Velmor

#endif // VELMOR_IPCREQUESTHANDLER_H
