#include "scriptedcabinet.h"

using namespace Velmor;

namespace WardenTest {

ScriptedCabinet::ScriptedCabinet() = default;

ScriptedCabinet::~ScriptedCabinet() = default;

template<typename RequestType>
RequestType *ScriptedCabinet::keep(const QString &operation, RequestType *request)
{
    m_requests.append(request);
    m_requestNames.append(operation);
    return request;
}

void ScriptedCabinet::holdProfiles(int count, const QList<quint32> &withData)
{
    m_profiles.clear();
    for (int i = 1; i <= count; ++i) {
        const auto id = quint32(i);
        m_profiles.insert(
            id, QSharedPointer<CabinetProfile>::create(id, 100 + id, QStringLiteral("Profile %1").arg(i), i == 1));
    }
    for (const quint32 id : withData)
        holdProfileData(id);
}

void ScriptedCabinet::holdProfileData(quint32 profileId, bool active)
{
    ProfileData record(profileId, m_store);
    record.active = active;
    m_profileData.insert(profileId, record);
}

void ScriptedCabinet::dropProfileData(quint32 profileId)
{
    m_profileData.remove(profileId);
}

void ScriptedCabinet::setIp(const QHostAddress &address)
{
    m_ip = address;
}

void ScriptedCabinet::setUserPlan(const QString &planCode)
{
    m_userInfo.timeZone = 3;
    m_userInfo.planCode = planCode;
    m_userInfo.planName = planCode;
}

void ScriptedCabinet::setHeldCredentials(const QString &user, const QString &password)
{
    m_user = user;
    m_password = password;
}

void ScriptedCabinet::holdDomains(quint32 profileId, CabinetDomain::Type type, int count)
{
    ProfileData *record = profileData(profileId);
    if (!record)
        return;
    CabinetDomains list;
    for (int i = 0; i < count; ++i) {
        CabinetDomain entry;
        entry.id = quint32(1000 + i);
        entry.domain = QStringLiteral("site-%1-%2.example").arg(profileId).arg(i);
        list.append(entry);
    }
    record->setDomains(type, list);
}

void ScriptedCabinet::fail(unsigned int code, const QString &message)
{
    m_lastError = Error(code, message);
    Q_EMIT error();
}

void ScriptedCabinet::clearError()
{
    m_lastError = Error();
}

void ScriptedCabinet::moveToState(int state)
{
    setState(state);
}

CabinetRequest *ScriptedCabinet::pending(const QString &operation) const
{
    for (qsizetype i = m_requests.size() - 1; i >= 0; --i) {
        if (m_requestNames.at(i) == operation && m_requests.at(i))
            return m_requests.at(i);
    }
    return nullptr;
}

bool ScriptedCabinet::finish(const QString &operation, const Error &error)
{
    for (qsizetype i = m_requests.size() - 1; i >= 0; --i) {
        if (m_requestNames.at(i) != operation || !m_requests.at(i))
            continue;
        CabinetRequest *request = m_requests.at(i);
        m_requests.removeAt(i);
        m_requestNames.removeAt(i);
        request->requestFinished(error);
        request->deleteLater();
        return true;
    }
    return false;
}

int ScriptedCabinet::liveRequests() const
{
    int live = 0;
    for (const QPointer<CabinetRequest> &request : m_requests)
        live += request ? 1 : 0;
    return live;
}

void ScriptedCabinet::releaseRequests()
{
    for (const QPointer<CabinetRequest> &request : std::as_const(m_requests))
        delete request.data();
    m_requests.clear();
    m_requestNames.clear();
}

bool ScriptedCabinet::setCredentials(const QString &user, const QString &password)
{
    calls.append(QStringLiteral("setCredentials"));
    return Cabinet::setCredentials(user, password);
}

void ScriptedCabinet::systemInfo()
{
    calls.append(QStringLiteral("systemInfo"));
}

CabinetFunction<CabinetUserInfo> *ScriptedCabinet::userInfo()
{
    calls.append(QStringLiteral("userInfo"));
    return keep(QStringLiteral("userInfo"), new CabinetFunction<CabinetUserInfo>(this));
}

CabinetFunction<CabinetProfiles> *ScriptedCabinet::profiles()
{
    calls.append(QStringLiteral("profiles"));
    return keep(QStringLiteral("profiles"), new CabinetFunction<CabinetProfiles>(this));
}

CabinetRequest *ScriptedCabinet::registerUser(const QString &user, const QString &password)
{
    Q_UNUSED(user);
    Q_UNUSED(password);
    calls.append(QStringLiteral("registerUser"));
    return keep(QStringLiteral("registerUser"), new CabinetRequest(this));
}

CabinetRequest *ScriptedCabinet::testAuth(const QString &user, const QString &password)
{
    Q_UNUSED(user);
    Q_UNUSED(password);
    calls.append(QStringLiteral("testAuth"));
    return keep(QStringLiteral("testAuth"), new CabinetRequest(this));
}

void ScriptedCabinet::myIp(QObject *receiver, const char *slot)
{
    Q_UNUSED(receiver);
    Q_UNUSED(slot);
    calls.append(QStringLiteral("myIp"));
}

void ScriptedCabinet::categories()
{
    calls.append(QStringLiteral("categories"));
}

CabinetUserFilterRequest *ScriptedCabinet::userFilter(quint32 profileId)
{
    calls.append(QStringLiteral("userFilter"));
    return keep(QStringLiteral("userFilter"), new CabinetUserFilterRequest(this, profileId));
}

CabinetDomainsRequest *ScriptedCabinet::domains(quint32 profileId, CabinetDomain::Type type)
{
    calls.append(QStringLiteral("domains"));
    return keep(QStringLiteral("domains"), new CabinetDomainsRequest(this, profileId, type));
}

void ScriptedCabinet::setFilterCat(quint32 profileId, quint32 categoryId, bool blocked)
{
    Q_UNUSED(profileId);
    Q_UNUSED(categoryId);
    Q_UNUSED(blocked);
    calls.append(QStringLiteral("setFilterCat"));
}

void ScriptedCabinet::clearDomains(quint32 profileId, CabinetDomain::Type type)
{
    Q_UNUSED(profileId);
    Q_UNUSED(type);
    calls.append(QStringLiteral("clearDomains"));
}

CabinetDomainAddRequest *ScriptedCabinet::addDomain(
    quint32 profileId, CabinetDomain::Type type, const QString &domain, const QHostAddress &address)
{
    calls.append(QStringLiteral("addDomain"));
    auto *request = new CabinetDomainAddRequest(this, profileId, type);
    request->result.domain = domain;
    request->result.ip = address;
    return keep(QStringLiteral("addDomain"), request);
}

void ScriptedCabinet::removeDomain(quint32 profileId, CabinetDomain::Type type, quint32 domainId)
{
    Q_UNUSED(profileId);
    Q_UNUSED(type);
    Q_UNUSED(domainId);
    calls.append(QStringLiteral("removeDomain"));
}

CabinetFunction<CabinetProfile> *ScriptedCabinet::addProfile(const QString &name)
{
    calls.append(QStringLiteral("addProfile"));
    auto *request = new CabinetFunction<CabinetProfile>(this);
    request->result = CabinetProfile(500, 5000, name, false);
    return keep(QStringLiteral("addProfile"), request);
}

void ScriptedCabinet::removeProfile(quint32 profileId)
{
    Q_UNUSED(profileId);
    calls.append(QStringLiteral("removeProfile"));
}

CabinetScheduleRequest *ScriptedCabinet::schedule(quint32 profileId)
{
    calls.append(QStringLiteral("schedule"));
    return keep(QStringLiteral("schedule"), new CabinetScheduleRequest(this, profileId));
}

void ScriptedCabinet::setScheduleEnabled(quint32 profileId, bool enabled)
{
    Q_UNUSED(profileId);
    Q_UNUSED(enabled);
    calls.append(QStringLiteral("setScheduleEnabled"));
}

void ScriptedCabinet::setSchedule(quint32 profileId, const CabinetSchedule &schedule)
{
    Q_UNUSED(profileId);
    Q_UNUSED(schedule);
    calls.append(QStringLiteral("setSchedule"));
}

void ScriptedCabinet::setWhiteListOnly(quint32 profileId, bool enabled)
{
    Q_UNUSED(profileId);
    Q_UNUSED(enabled);
    calls.append(QStringLiteral("setWhiteListOnly"));
}

void ScriptedCabinet::setSafeSearchEnabled(quint32 profileId, bool enabled)
{
    Q_UNUSED(profileId);
    Q_UNUSED(enabled);
    calls.append(QStringLiteral("setSafeSearchEnabled"));
}

CabinetProfileActivityRequest *ScriptedCabinet::profileScheduleActivity(quint32 profileId)
{
    calls.append(QStringLiteral("profileScheduleActivity"));
    return keep(QStringLiteral("profileScheduleActivity"), new CabinetProfileActivityRequest(this, profileId));
}

void ScriptedCabinet::connectToServer()
{
    calls.append(QStringLiteral("connectToServer"));
}

CabinetFunction<QHostAddress> *ScriptedCabinet::updateIP()
{
    calls.append(QStringLiteral("updateIP"));
    if (!m_selectedProfile)
        return nullptr;
    return keep(QStringLiteral("updateIP"), new CabinetFunction<QHostAddress>(this));
}

} // namespace WardenTest
