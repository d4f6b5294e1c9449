#include "cabinet.h"

#include "errortext.h"
#include "serviceconnector.h"
#include "wiretext.h"

#include "velmorwire/ipaddress.h"
#include "velmorwire/jsonrpccall.h"
#include "velmorwire/methodnames.h"

namespace {

QVariant id(quint32 value)
{
    return QVariant::fromValue<quint32>(value);
}

bool isListType(int type)
{
    return type >= Velmor::CabinetDomain::White && type <= Velmor::CabinetDomain::Alias;
}

// A type outside the three lists travels as null, which the service refuses, rather than as a name that it
// would read as the white list.
QVariant listType(int type)
{
    if (!isListType(type))
        return QVariant(QString());
    return QString::fromLatin1(Velmor::CabinetDomain::listTypeToString(Velmor::CabinetDomain::Type(type)));
}

} // namespace

Cabinet::Cabinet(ServiceConnector *connector, QObject *parent)
    : QObject(parent)
    , m_connector(connector)
    , m_identified(false)
    , m_tokenMode(false)
    , m_selectedProfileId(0)
    , m_activityProfileId(0)
    , m_activityActive(false)
{
    // Made before the status's own connection, so the status sees the identified flag already cleared.
    connect(m_connector, &ServiceConnector::disconnected, this, &Cabinet::service_disconnected);
}

Cabinet::~Cabinet() = default;

Velmor::CabinetDomains Cabinet::cachedDomains(quint32 profileId, int type) const
{
    const DomainLists *lists = const_cast<Cabinet *>(this)->listsOf(type);
    return lists ? lists->value(profileId) : Velmor::CabinetDomains();
}

Velmor::CabinetUserFilter Cabinet::cachedUserFilter(quint32 profileId) const
{
    return m_userFilters.value(profileId);
}

QString Cabinet::currentProfileName() const
{
    const QSharedPointer<Velmor::CabinetProfile> selected = m_profiles.value(m_selectedProfileId);
    if (!selected)
        return QString();
    if (selected->scheduleEnabled && m_activityProfileId == selected->id && !m_activityActive) {
        const QSharedPointer<Velmor::CabinetProfile> fallback = m_profiles.defaultProfile();
        return fallback ? fallback->name : QString();
    }
    return selected->name;
}

void Cabinet::setIdentifiedByIp(const QHostAddress &address)
{
    m_tokenMode = false;
    m_identified = true;
    // An identification clears what went wrong before it.
    m_lastError = Velmor::Error();
    m_ipAddress = address.toString();
    Q_EMIT identificationStateChanged();
}

void Cabinet::setIdentifiedByToken(quint32 profileId)
{
    m_tokenMode = true;
    m_identified = true;
    m_lastError = Velmor::Error();
    m_selectedProfileId = profileId;
    Q_EMIT identificationStateChanged();
}

void Cabinet::setIdentificationError(quint32 type, const Velmor::Error &error)
{
    m_identified = false;
    m_tokenMode = type == 1;
    setLastError(error);
}

void Cabinet::updateCredentials(const QString &user, const QString &password)
{
    Q_EMIT credentialsUpdated(user, password);
}

void Cabinet::setUserInfo(const Velmor::CabinetUserInfo &userInfo)
{
    m_userInfo = userInfo;
    Q_EMIT userInfoChanged();
}

void Cabinet::setProfiles(const Velmor::CabinetProfiles &profiles, quint32 selectedProfile)
{
    m_profiles = profiles;
    m_selectedProfileId = selectedProfile;
    Q_EMIT profilesChanged();
}

void Cabinet::setSelectedProfile(quint32 profileId)
{
    m_selectedProfileId = profileId;
    Q_EMIT profilesChanged();
}

void Cabinet::setProfileScheduleActivity(quint32 profileId, bool active)
{
    m_activityProfileId = profileId;
    m_activityActive = active;
    Q_EMIT identificationStateChanged();
}

void Cabinet::setSystemInfo(const Velmor::CabinetSystemInfo &systemInfo)
{
    m_systemInfo = systemInfo;
    Q_EMIT systemInfoChanged();
}

void Cabinet::setCategories(const Velmor::CabinetCategories &categories)
{
    m_categories = categories;
    Q_EMIT categoriesUpdated();
}

void Cabinet::setUserFilter(quint32 profileId, const Velmor::CabinetUserFilter &filter)
{
    m_userFilters.insert(profileId, filter);
    Q_EMIT userFilterUpdated(profileId);
}

void Cabinet::setDomains(quint32 profileId, int type, const Velmor::CabinetDomains &domains)
{
    DomainLists *lists = listsOf(type);
    if (!lists)
        return;
    lists->insert(profileId, domains);
    emitListUpdated(type, profileId);
}

void Cabinet::setLastError(const Velmor::Error &error)
{
    m_lastError = error;
    if (error.isSuccess())
        return;
    if (error.code() == Velmor::Error::NetworkFailure || error.code() == Velmor::Error::AddressRefused)
        Q_EMIT errorOccurred(errorText(error), tr("Error while querying info from website"));
    Q_EMIT this->error();
}

Velmor::JsonRPCCall *Cabinet::categories()
{
    return call(Velmor::DesktopCall::categories, {}, &Cabinet::service_categoriesUpdated);
}

Velmor::JsonRPCCall *Cabinet::userFilter(quint32 profileId)
{
    return call(Velmor::DesktopCall::userFilter, { id(profileId) }, &Cabinet::service_userFilterUpdated);
}

Velmor::JsonRPCCall *Cabinet::domains(quint32 profileId, int type)
{
    return call(Velmor::DesktopCall::domains, { id(profileId), listType(type) }, &Cabinet::service_domainsUpdated);
}

Velmor::JsonRPCCall *Cabinet::schedule(quint32 profileId)
{
    return call(Velmor::DesktopCall::schedule, { id(profileId) }, nullptr);
}

Velmor::JsonRPCCall *Cabinet::addProfile(const QString &name)
{
    return call(Velmor::DesktopCall::addProfile, { wireText(name) }, &Cabinet::service_profileAddFinished);
}

Velmor::JsonRPCCall *Cabinet::addDomain(quint32 profileId, int type, const QString &domain, const QHostAddress &ip)
{
    const QString address = ip.isNull() ? QString() : ip.toString();
    return call(Velmor::DesktopCall::addDomain, { id(profileId), listType(type), wireText(domain), wireText(address) },
        &Cabinet::service_domainAddFinished);
}

Velmor::JsonRPCCall *Cabinet::setProfile(quint32 profileId)
{
    return call(Velmor::DesktopCall::setProfile, { id(profileId) }, &Cabinet::service_requestFinished);
}

Velmor::JsonRPCCall *Cabinet::unlockSettings(const QString &login, const QString &password)
{
    return call(Velmor::DesktopCall::unlockSettings, { wireText(login), wireText(password) },
        &Cabinet::service_passwordAccepted);
}

Velmor::JsonRPCCall *Cabinet::registerUser(const QString &email, const QString &password)
{
    return call(
        Velmor::DesktopCall::registerUser, { wireText(email), wireText(password) }, &Cabinet::service_passwordAccepted);
}

Velmor::JsonRPCCall *Cabinet::setCredentials(const QString &login, const QString &password)
{
    return call(Velmor::DesktopCall::setCredentials, { wireText(login), wireText(password) },
        &Cabinet::service_passwordAccepted);
}

void Cabinet::setSchedule(quint32 profileId, const Velmor::CabinetSchedule &schedule)
{
    notify(Velmor::DesktopCall::setSchedule, { id(profileId), schedule.toVariant() });
}

void Cabinet::removeProfile(quint32 profileId)
{
    notify(Velmor::DesktopCall::removeProfile, { id(profileId) });
}

void Cabinet::removeDomain(quint32 profileId, int type, quint32 domainId)
{
    notify(Velmor::DesktopCall::removeDomain, { id(profileId), listType(type), id(domainId) });
    if (DomainLists *lists = listsOf(type))
        (*lists)[profileId].removeDomain(domainId);
}

void Cabinet::clearDomains(quint32 profileId, int type)
{
    notify(Velmor::DesktopCall::clearDomains, { id(profileId), listType(type) });
}

void Cabinet::setFilterCat(quint32 profileId, quint32 catId, bool blocked)
{
    notify(Velmor::DesktopCall::setFilterCat, { id(profileId), id(catId), blocked });
}

void Cabinet::setSafeSearchEnabled(quint32 profileId, bool enabled)
{
    if (const QSharedPointer<Velmor::CabinetProfile> profile = m_profiles.value(profileId))
        profile->safeSearchEnabled = enabled;
    notify(Velmor::DesktopCall::setSafeSearchEnabled, { id(profileId), enabled });
}

void Cabinet::setWhiteListOnly(quint32 profileId, bool enabled)
{
    if (const QSharedPointer<Velmor::CabinetProfile> profile = m_profiles.value(profileId))
        profile->whiteListOnly = enabled;
    notify(Velmor::DesktopCall::setWhiteListOnly, { id(profileId), enabled });
}

void Cabinet::setScheduleEnabled(quint32 profileId, bool enabled)
{
    if (const QSharedPointer<Velmor::CabinetProfile> profile = m_profiles.value(profileId))
        profile->scheduleEnabled = enabled;
    notify(Velmor::DesktopCall::setScheduleEnabled, { id(profileId), enabled });
}

void Cabinet::setTokensEnabled(bool enabled)
{
    notify(Velmor::DesktopCall::setTokensEnabled, { enabled });
}

void Cabinet::updateProfiles()
{
    notify(Velmor::DesktopCall::updateProfiles);
}

void Cabinet::updateUserInfo()
{
    notify(Velmor::DesktopCall::updateUserInfo);
}

void Cabinet::service_requestFinished()
{
    (void)succeededCall();
}

void Cabinet::service_passwordAccepted()
{
    if (succeededCall())
        m_lastError = Velmor::Error();
}

const Velmor::JsonRPCCall *Cabinet::succeededCall()
{
    auto finished = qobject_cast<Velmor::JsonRPCCall *>(sender());
    if (!finished || finished->error().isSuccess())
        return finished;
    // The one reply slot of a call reports its failure, once.
    setLastError(finished->error());
    return nullptr;
}

void Cabinet::service_disconnected()
{
    m_identified = false;
}

void Cabinet::service_categoriesUpdated()
{
    const Velmor::JsonRPCCall *finished = succeededCall();
    if (!finished)
        return;
    (void)m_categories.fromVariant(finished->result());
    Q_EMIT categoriesUpdated();
}

void Cabinet::service_userFilterUpdated()
{
    const Velmor::JsonRPCCall *finished = succeededCall();
    if (!finished)
        return;
    const quint32 profileId = wireId(finished->params().value(0));
    (void)m_userFilters[profileId].fromVariant(finished->result());
    Q_EMIT userFilterUpdated(profileId);
}

void Cabinet::service_domainsUpdated()
{
    const Velmor::JsonRPCCall *finished = succeededCall();
    if (!finished)
        return;
    const quint32 profileId = wireId(finished->params().value(0));
    const auto type = Velmor::CabinetDomain::listTypeFromString(finished->params().value(1).toString());
    (void)(*listsOf(type))[profileId].fromVariant(finished->result(), type);
    emitListUpdated(type, profileId);
}

void Cabinet::tellLostAddition(int nameIndex)
{
    const auto *finished = qobject_cast<const Velmor::JsonRPCCall *>(sender());
    // Refusals and a lost service are told where they are met; an addition that timed out would vanish unsaid.
    if (!finished || finished->error().code() != Velmor::Error::Timeout)
        return;
    Q_EMIT errorOccurred(tr("\"%1\" was not added: %2")
                             .arg(finished->params().value(nameIndex).toString(), errorText(finished->error())),
        tr("Service error"));
}

void Cabinet::service_domainAddFinished()
{
    tellLostAddition(2);
    const Velmor::JsonRPCCall *finished = succeededCall();
    if (!finished)
        return;
    const QVariantList params = finished->params();
    const quint32 profileId = wireId(params.value(0));
    const auto type = Velmor::CabinetDomain::listTypeFromString(params.value(1).toString());
    Velmor::CabinetDomain entry;
    entry.id = wireId(finished->result());
    entry.domain = params.value(2).toString();
    if (type == Velmor::CabinetDomain::Alias)
        entry.ip = Velmor::parseIPAddress(params.value(3).toString());
    (*listsOf(type))[profileId].append(entry);
    emitListUpdated(type, profileId);
}

void Cabinet::service_profileAddFinished()
{
    tellLostAddition(0);
    const Velmor::JsonRPCCall *finished = succeededCall();
    if (!finished)
        return;
    auto profile = QSharedPointer<Velmor::CabinetProfile>::create();
    (void)profile->fromVariant(finished->result());
    m_profiles.insert(profile->id, profile);
    Q_EMIT profilesChanged();
}

Velmor::JsonRPCCall *Cabinet::call(const char *method, const QVariantList &params, void (Cabinet::*reply)())
{
    Velmor::JsonRPCCall *sent = m_connector->call(method, params);
    if (reply)
        connect(sent, &Velmor::JsonRPCCall::finished, this, reply);
    return sent;
}

void Cabinet::notify(const char *method, const QVariantList &params)
{
    m_connector->notify(method, params);
}

Cabinet::DomainLists *Cabinet::listsOf(int type)
{
    switch (type) {
    case Velmor::CabinetDomain::White:
        return &m_whiteLists;
    case Velmor::CabinetDomain::Black:
        return &m_blackLists;
    case Velmor::CabinetDomain::Alias:
        return &m_aliasLists;
    default:
        return nullptr;
    }
}

void Cabinet::emitListUpdated(int type, quint32 profileId)
{
    switch (type) {
    case Velmor::CabinetDomain::White:
        Q_EMIT whiteListUpdated(profileId);
        break;
    case Velmor::CabinetDomain::Black:
        Q_EMIT blackListUpdated(profileId);
        break;
    case Velmor::CabinetDomain::Alias:
        Q_EMIT aliasListUpdated(profileId);
        break;
    default:
        break;
    }
}
