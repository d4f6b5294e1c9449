#include "ipcrequesthandler.h"

#include "identification.h"
#include "ipcnewcredentialsrequest.h"
#include "ipcsysteminforequest.h"
#include "ipcuserregisterrequest.h"
#include "server_p.h"

#include "base/deferredserializer.h"
#include "base/servicesettings.h"
#include "base/settingslock.h"
#include "cabinet/cabinet.h"
#include "network/backend.h"

#include "velmorwire/ipaddress.h"
#include "velmorwire/ipcconnection.h"
#include "velmorwire/methodnames.h"
#include "velmorwire/peertext.h"

namespace Velmor {

namespace {

// Where the credentials and the queries go, and the credentials themselves: they come only from service.ini and
// the service's own code, never over the link.
const char *const protectedKeys[]
    = { "www", "vyrproxy-addr", "www-ignore-ssl-errors", "user", "password", "fallback-dns" };

// Each call rewrites the whole settings file, so what one call may add to it is bounded.
const qsizetype longestSettingText = 4096;

// The key as the settings store would file it: no empty parts ("/www", "www/", "a//b"), and compared without case,
// so no other spelling reaches a protected key.
bool isProtectedKey(const QString &key)
{
    const QString normalized = key.split(QLatin1Char('/'), Qt::SkipEmptyParts).join(QLatin1Char('/'));
    for (const char *name : protectedKeys) {
        if (normalized.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

Deferred failedDeferred(const Error &error)
{
    Deferred deferred;
    deferred.errback(error);
    return deferred;
}

} // namespace

IPCRequestHandler::IPCRequestHandler(ServerPrivate *server, IpcConnection *connection, bool locked, qint64 owner)
    : QObject(connection)
    , m_server(server)
    , m_connection(connection)
    , m_lock(new SettingsLock(locked, this))
    , m_owner(owner)
    , m_unlocking(false)
{ }

IPCRequestHandler::~IPCRequestHandler() = default;

bool IPCRequestHandler::isLocked() const
{
    return m_lock->isLocked();
}

bool IPCRequestHandler::refused(const char *method) const
{
    if (!m_lock->isLocked())
        return false;
    qWarning("Settings are locked: %s refused", method);
    return true;
}

Deferred IPCRequestHandler::unlockingOnSuccess(Deferred deferred)
{
    // Attached before the engine attaches its answer, so the connection is unlocked by the time the caller reads
    // the success.
    deferred.addCallback(m_lock, SLOT(unlock(QVariant)));
    return deferred;
}

Error IPCRequestHandler::setSetting(const QString &key, const QString &value)
{
    if (refused(DesktopCall::setSetting))
        return SettingsLock::refusal();
    if (key.split(QLatin1Char('/'), Qt::SkipEmptyParts).isEmpty())
        return Error(Error::GeneralFailure, QStringLiteral("Invalid setting key"));
    if (isProtectedKey(key)) {
        qWarning("setSetting: the setting \"%s\" is not changed over IPC", qPrintable(peerText(key)));
        return Error(Error::GeneralFailure, QStringLiteral("The setting %1 cannot be changed").arg(key));
    }
    if (key.toUtf8().size() > longestSettingText || value.toUtf8().size() > longestSettingText) {
        qWarning("setSetting: a key or value over %lld bytes is not stored", qlonglong(longestSettingText));
        return Error(Error::GeneralFailure,
            QStringLiteral("A setting's key and value are at most %1 bytes long").arg(longestSettingText));
    }
    ServiceSettings().setText(key, value);
    return Error();
}

Error IPCRequestHandler::setLocalDnsAddress(const QString &address, quint16 port)
{
    if (refused(DesktopCall::setLocalDnsAddress))
        return SettingsLock::refusal();
    QHostAddress parsed;
    if (!parseIPv4(address, &parsed) || !m_server->setLocalDnsProxyAddress(parsed, port))
        return Error(Error::GeneralFailure, QStringLiteral("Invalid local DNS proxy address"));
    return Error();
}

Error IPCRequestHandler::setNetworkProtection(const QString &id, bool state, const HostList &originalDns)
{
    if (!state && refused(DesktopCall::setNetworkProtection))
        return SettingsLock::refusal();
    if (!originalDns.isEmpty()) {
        // Stored servers are written to the adapter at the next pause or stop, so a locked connection may bring
        // them only where the desktop asked the user for them: an adapter with none saved, not protected yet.
        if (m_lock->isLocked() && !acceptsServersWhileLocked(id) && refused(DesktopCall::setNetworkProtection))
            return SettingsLock::refusal();
        if (!m_server->backend->setOriginalDns(id, originalDns))
            return m_server->backend->lastError();
    }
    if (!m_server->backend->setNetworkProtection(id, state))
        return m_server->backend->lastError();
    return Error();
}

bool IPCRequestHandler::acceptsServersWhileLocked(const QString &id) const
{
    const QList<Network> networks = m_server->backend->networks();
    for (const Network &network : networks) {
        if (network.id == id && network.isProtected)
            return false;
    }
    return m_server->backend->originalDns(id).isEmpty();
}

Deferred IPCRequestHandler::registerUser(const QString &user, const QString &password)
{
    if (refused(DesktopCall::registerUser))
        return failedDeferred(SettingsLock::refusal());
    auto *request = new IPCUserRegisterRequest(user, password, m_server);
    return unlockingOnSuccess(request->deferred());
}

Deferred IPCRequestHandler::unlockSettings(const QString &user, const QString &password)
{
    if (m_unlocking) {
        qWarning("unlockSettings: refused while an attempt of the same connection is checked");
        return failedDeferred(UnlockThrottle::refusal(UnlockThrottle::checkInProgress));
    }
    // Answered at once rather than held: a held call would outlast the desktop's deadline, and the user can be told
    // how long to wait.
    const qint64 wait = m_server->unlockThrottle.begin(m_owner, this);
    if (wait != 0)
        return failedDeferred(UnlockThrottle::refusal(wait));
    m_unlocking = true;
    Deferred answer;
    unlockingOnSuccess(answer);
    checkPassword(user, password, answer);
    return answer;
}

void IPCRequestHandler::checkPassword(const QString &user, const QString &password, Deferred answer)
{
    const bool isProtected = ServiceSettings().settingsProtected();
    Cabinet *cabinet = m_server->cabinet;
    if (!isProtected || (user == cabinet->user() && password == cabinet->password())) {
        endUnlock(answer, Error());
        return;
    }
    // Only the password of the account this computer is signed in with unlocks it, not any account's.
    if (user != cabinet->user()) {
        endUnlock(answer, Error(Error::AuthenticationFailed, QLatin1String("")));
        return;
    }
    CabinetRequest *request = cabinet->testAuth(user, password);
    connect(request, &Request::finished, this, [this, request, answer] { endUnlock(answer, request->error()); });
}

void IPCRequestHandler::endUnlock(Deferred answer, const Error &error)
{
    m_unlocking = false;
    // Any failure holds the next attempt: a guess answered by the account service being away is still a guess.
    if (error.isSuccess()) {
        m_server->unlockThrottle.accepted(m_owner);
        answer.callback(QVariant());
    } else {
        m_server->unlockThrottle.refused(m_owner);
        answer.errback(error);
    }
}

Deferred IPCRequestHandler::setCredentials(const QString &user, const QString &password)
{
    if (refused(DesktopCall::setCredentials))
        return failedDeferred(SettingsLock::refusal());
    auto *request = new IPCNewCredentialsRequest(m_server, m_owner, user, password);
    return unlockingOnSuccess(request->deferred());
}

Error IPCRequestHandler::setTokensEnabled(bool state)
{
    if (refused(DesktopCall::setTokensEnabled))
        return SettingsLock::refusal();
    ServiceSettings settings;
    settings.setTokensEnabled(state);
    // A stopped server brings the stored mode up at its next start.
    if (settings.sync() && m_server->state == ServerPrivate::Running)
        m_server->identification->setType(state ? Identification::TokenType : Identification::IpType);
    return Error();
}

Error IPCRequestHandler::setSettingsProtection(bool state)
{
    if (!state && refused(DesktopCall::setSettingsProtection))
        return SettingsLock::refusal();
    ServiceSettings().setSettingsProtected(state);
    m_server->server->notifyAll(ServicePush::setSettingsLocked, { state }, { m_connection });
    return Error();
}

Error IPCRequestHandler::setGlobalFiltering(bool state, int delayMinutes)
{
    if (!state && refused(DesktopCall::setGlobalFiltering))
        return SettingsLock::refusal();
    m_server->setGlobalFiltering(state, delayMinutes);
    return Error();
}

Error IPCRequestHandler::setProfile(quint32 id)
{
    if (refused(DesktopCall::setProfile))
        return SettingsLock::refusal();
    const Error noSuchProfile(Error::GeneralFailure, QStringLiteral("No such profile"));
    // The account client would fall back to the default profile: an unknown id changes nothing instead.
    if (!m_server->cabinet->cachedProfiles().contains(id))
        return noSuchProfile;
    m_server->cabinet->selectProfile(id);
    return m_server->selectedProfileId() == id ? Error() : noSuchProfile;
}

Deferred IPCRequestHandler::addProfile(const QString &name)
{
    if (refused(DesktopCall::addProfile))
        return failedDeferred(SettingsLock::refusal());
    class F : public DeferredSerializer
    {
    public:
        explicit F(CabinetFunction<CabinetProfile> *request)
            : DeferredSerializer(request)
            , m_request(request)
        { }

    protected:
        QVariant serializeResult() const override { return ServerPrivate::profileForLink(m_request->result); }

    private:
        CabinetFunction<CabinetProfile> *m_request;
    };
    return (new F(m_server->cabinet->addProfile(name)))->deferred();
}

Error IPCRequestHandler::removeProfile(quint32 id)
{
    if (refused(DesktopCall::removeProfile))
        return SettingsLock::refusal();
    m_server->cabinet->removeProfile(id);
    return Error();
}

Deferred IPCRequestHandler::systemInfo()
{
    Deferred deferred;
    new IPCSystemInfoRequest(deferred, m_server->server);
    return deferred;
}

QVariant IPCRequestHandler::categories()
{
    m_server->cabinet->categories();
    return m_server->cabinet->cachedCategories().toVariant();
}

QVariant IPCRequestHandler::userFilter(quint32 profileId)
{
    m_server->cabinet->userFilter(profileId);
    return m_server->cabinet->cachedUserFilter(profileId).toVariant();
}

QVariant IPCRequestHandler::domains(quint32 profileId, const QString &listType)
{
    const CabinetDomain::Type type = CabinetDomain::listTypeFromString(listType);
    m_server->cabinet->domains(profileId, type);
    return m_server->cabinet->cachedDomains(profileId, type).toVariant();
}

Error IPCRequestHandler::clearDomains(quint32 profileId, const QString &listType)
{
    if (refused(DesktopCall::clearDomains))
        return SettingsLock::refusal();
    m_server->cabinet->clearDomains(profileId, CabinetDomain::listTypeFromString(listType));
    return Error();
}

Error IPCRequestHandler::setFilterCat(quint32 profileId, quint32 catId, bool blocked)
{
    if (refused(DesktopCall::setFilterCat))
        return SettingsLock::refusal();
    m_server->cabinet->setFilterCat(profileId, catId, blocked);
    return Error();
}

Deferred IPCRequestHandler::addDomain(
    quint32 profileId, const QString &listType, const QString &domain, const QString &ip)
{
    if (refused(DesktopCall::addDomain))
        return failedDeferred(SettingsLock::refusal());
    class F : public DeferredSerializer
    {
    public:
        explicit F(CabinetDomainAddRequest *request)
            : DeferredSerializer(request)
            , m_request(request)
        { }

    protected:
        QVariant serializeResult() const override { return QVariant::fromValue<quint32>(m_request->result.id); }

    private:
        CabinetDomainAddRequest *m_request;
    };
    const QHostAddress address = listType == QLatin1String("alias") ? parseIPAddress(ip) : QHostAddress();
    CabinetDomainAddRequest *request
        = m_server->cabinet->addDomain(profileId, CabinetDomain::listTypeFromString(listType), domain, address);
    return (new F(request))->deferred();
}

Deferred IPCRequestHandler::addDomain(quint32 profileId, const QString &listType, const QString &domain)
{
    return addDomain(profileId, listType, domain, QString());
}

Error IPCRequestHandler::removeDomain(quint32 profileId, const QString &listType, quint32 domainId)
{
    if (refused(DesktopCall::removeDomain))
        return SettingsLock::refusal();
    m_server->cabinet->removeDomain(profileId, CabinetDomain::listTypeFromString(listType), domainId);
    return Error();
}

QVariant IPCRequestHandler::schedule(quint32 profileId)
{
    m_server->cabinet->schedule(profileId);
    return m_server->cabinet->cachedSchedule(profileId).toVariant();
}

Error IPCRequestHandler::setScheduleEnabled(quint32 profileId, bool enabled)
{
    if (refused(DesktopCall::setScheduleEnabled))
        return SettingsLock::refusal();
    m_server->cabinet->setScheduleEnabled(profileId, enabled);
    return Error();
}

Error IPCRequestHandler::setSchedule(quint32 profileId, const QVariant &schedule)
{
    if (refused(DesktopCall::setSchedule))
        return SettingsLock::refusal();
    // An unreadable value reads as no schedule at all, which would erase the account's schedule.
    CabinetSchedule week;
    if (!week.fromVariant(schedule)) {
        qWarning("setSchedule: the schedule of profile %u cannot be read and is not sent", profileId);
        return Error(Error::GeneralFailure, QStringLiteral("Invalid schedule"));
    }
    m_server->cabinet->setSchedule(profileId, week);
    return Error();
}

Error IPCRequestHandler::setWhiteListOnly(quint32 profileId, bool enabled)
{
    if (refused(DesktopCall::setWhiteListOnly))
        return SettingsLock::refusal();
    m_server->cabinet->setWhiteListOnly(profileId, enabled);
    return Error();
}

Error IPCRequestHandler::setSafeSearchEnabled(quint32 profileId, bool enabled)
{
    if (refused(DesktopCall::setSafeSearchEnabled))
        return SettingsLock::refusal();
    m_server->cabinet->setSafeSearchEnabled(profileId, enabled);
    return Error();
}

void IPCRequestHandler::updateProfiles()
{
    m_server->cabinet->profiles();
}

void IPCRequestHandler::updateUserInfo()
{
    m_server->cabinet->userInfo();
}

} // namespace Velmor
