#include "legacyhttpcabinet.h"

#include "legacycabinetrequests.h"

#include "velmorwire/jsonrpc.h"
#include "velmorwire/jsonrpccall.h"

#include <QTimer>

namespace Velmor {

namespace {

QVariant id(quint32 value)
{
    return QVariant::fromValue<uint>(value);
}

QString listName(CabinetDomain::Type type)
{
    return QString::fromLatin1(CabinetDomain::listTypeToString(type));
}

bool isListType(CabinetDomain::Type type)
{
    return CabinetDomain::listTypeToString(type) != nullptr;
}

// A request that never goes out still finishes once, on the next turn, and is released after its receivers ran.
template<typename RequestType>
RequestType *failLater(QObject *owner, RequestType *request, const QString &text)
{
    request->setParent(owner);
    QTimer::singleShot(0, request, [request, text] {
        request->requestFinished(Error(Error::InvalidResponse, text));
        request->deleteLater();
    });
    return request;
}

} // namespace

template<typename RequestType>
RequestType *LegacyHttpCabinet::send(
    const char *method, const QVariantList &params, RequestType *request, void (Cabinet::*finished)())
{
    resendChanges();
    JsonRPCCall *call = m_jsonrpc->call(method, params);
    // A call never answered goes with the cabinet; an answered one right after its request's receivers ran.
    call->setParent(this);
    request->setParent(call);
    connect(call, &JsonRPCCall::finished, request, &RequestType::callFinished);
    // The request has read the answer: a whole account's lists come in one reply, and each list's part of it is
    // freed as soon as it is held, not with the last call of the reply.
    connect(call, &JsonRPCCall::finished, call, &JsonRPCCall::releaseResult);
    connect(call, &JsonRPCCall::finished, call, &QObject::deleteLater);
    if (finished)
        connect(request, &Velmor::Request::finished, this, finished);
    return request;
}

void LegacyHttpCabinet::systemInfo()
{
    send("systemInfo", {}, new LegacyCabinetSystemInfoRequest, &LegacyHttpCabinet::request_systemInfoFinished);
}

CabinetFunction<CabinetUserInfo> *LegacyHttpCabinet::userInfo()
{
    return send("userInfo", {}, new LegacyCabinetUserInfoRequest, &LegacyHttpCabinet::request_userInfoFinished);
}

CabinetFunction<CabinetProfiles> *LegacyHttpCabinet::profiles()
{
    return send("profiles", {}, new LegacyCabinetProfilesRequest, &LegacyHttpCabinet::request_profilesFinished);
}

CabinetRequest *LegacyHttpCabinet::registerUser(const QString &user, const QString &password)
{
    return send("register", { user, password }, new LegacyCabinetRegisterRequest, nullptr);
}

CabinetRequest *LegacyHttpCabinet::testAuth(const QString &user, const QString &password)
{
    auto *request = new LegacyCabinetTestAuthRequest;
    request->setParent(this);
    m_passwordChecks.append({ user, password, request });
    sendNextPasswordCheck();
    return request;
}

void LegacyHttpCabinet::sendNextPasswordCheck()
{
    // One at a time, so that no POST carries a batch of guesses.
    if (m_passwordCheckInFlight)
        return;
    while (!m_passwordChecks.isEmpty()) {
        const PasswordCheck next = m_passwordChecks.takeFirst();
        if (!next.request)
            continue;
        m_passwordCheckInFlight = next.request;
        connect(next.request, &Request::finished, this, &LegacyHttpCabinet::passwordCheckFinished);
        // Queued: the guard has let go of the request by the time the next one is looked at.
        connect(
            next.request, &QObject::destroyed, this, &LegacyHttpCabinet::sendNextPasswordCheck, Qt::QueuedConnection);
        send("testAuth", { next.user, next.password }, next.request.data(), nullptr);
        return;
    }
}

void LegacyHttpCabinet::passwordCheckFinished()
{
    if (sender() != m_passwordCheckInFlight)
        return;
    m_passwordCheckInFlight.clear();
    sendNextPasswordCheck();
}

void LegacyHttpCabinet::myIp(QObject *receiver, const char *slot)
{
    send("myip", {}, new LegacyCabinetMyIpRequest(receiver, slot), nullptr);
}

void LegacyHttpCabinet::categories()
{
    send("categories", {}, new LegacyCabinetCatagoriesRequest, &LegacyHttpCabinet::request_categoriesFinished);
}

CabinetUserFilterRequest *LegacyHttpCabinet::userFilter(quint32 profileId)
{
    return send("userFilter", { id(profileId) }, new LegacyCabinetUserFilterRequest(profileId),
        &LegacyHttpCabinet::request_userFilterFinished);
}

CabinetDomainsRequest *LegacyHttpCabinet::domains(quint32 profileId, CabinetDomain::Type type)
{
    auto *request = new LegacyCabinetDomainsRequest(profileId, type);
    if (!isListType(type))
        return failLater(this, request, QStringLiteral("Invalid list type"));
    return send("domains", { id(profileId), listName(type) }, request, &LegacyHttpCabinet::request_domainsFinished);
}

void LegacyHttpCabinet::setFilterCat(quint32 profileId, quint32 categoryId, bool blocked)
{
    if (ProfileData *record = profileData(profileId))
        record->setFilterCategory(categoryId, blocked);
    notify("setFilterCat", { id(profileId), id(categoryId), blocked });
}

void LegacyHttpCabinet::clearDomains(quint32 profileId, CabinetDomain::Type type)
{
    if (!isListType(type))
        return;
    notify("clearDomains", { id(profileId), listName(type) });
    if (ProfileData *record = profileData(profileId)) {
        record->clearDomains(type);
        Q_EMIT domainsChanged(profileId, int(type));
    }
}

CabinetDomainAddRequest *LegacyHttpCabinet::addDomain(
    quint32 profileId, CabinetDomain::Type type, const QString &domain, const QHostAddress &address)
{
    auto *request = new LegacyCabinetAddDomainRequest(profileId, type);
    request->result.id = 0;
    request->result.domain = domain;
    request->result.ip = address;
    if (!isListType(type))
        return failLater(this, request, QStringLiteral("Invalid list type"));
    QVariantList params { id(profileId), listName(type), domain };
    if (!address.isNull())
        params.append(address.toString());
    return send("addDomain", params, request, &LegacyHttpCabinet::request_domainAddFinished);
}

void LegacyHttpCabinet::removeDomain(quint32 profileId, CabinetDomain::Type type, quint32 domainId)
{
    if (!isListType(type))
        return;
    notify("removeDomain", { id(profileId), listName(type), id(domainId) });
    if (ProfileData *record = profileData(profileId)) {
        record->removeDomain(type, domainId);
        Q_EMIT domainsChanged(profileId, int(type));
    }
}

CabinetFunction<CabinetProfile> *LegacyHttpCabinet::addProfile(const QString &name)
{
    return send(
        "addProfile", { name }, new LegacyCabinetAddProfileRequest, &LegacyHttpCabinet::request_profileAddFinished);
}

void LegacyHttpCabinet::removeProfile(quint32 profileId)
{
    notify("removeProfile", { id(profileId) });
    dropProfile(profileId);
}

CabinetScheduleRequest *LegacyHttpCabinet::schedule(quint32 profileId)
{
    return send("schedule", { id(profileId) }, new LegacyCabinetScheduleRequest(profileId),
        &LegacyHttpCabinet::request_profileScheduleFinished);
}

void LegacyHttpCabinet::setScheduleEnabled(quint32 profileId, bool enabled)
{
    notify("setScheduleEnabled", { id(profileId), enabled });
    if (const QSharedPointer<CabinetProfile> profile = m_profiles.value(profileId))
        profile->scheduleEnabled = enabled;
}

void LegacyHttpCabinet::setSchedule(quint32 profileId, const CabinetSchedule &schedule)
{
    notify("setSchedule", { id(profileId), schedule.toVariant() });
    if (ProfileData *record = profileData(profileId))
        record->setSchedule(schedule);
}

void LegacyHttpCabinet::setWhiteListOnly(quint32 profileId, bool enabled)
{
    notify("setWhiteListOnly", { id(profileId), enabled });
    if (const QSharedPointer<CabinetProfile> profile = m_profiles.value(profileId))
        profile->whiteListOnly = enabled;
}

void LegacyHttpCabinet::setSafeSearchEnabled(quint32 profileId, bool enabled)
{
    notify("setSafeSearchEnabled", { id(profileId), enabled });
    if (const QSharedPointer<CabinetProfile> profile = m_profiles.value(profileId))
        profile->safeSearchEnabled = enabled;
}

CabinetProfileActivityRequest *LegacyHttpCabinet::profileScheduleActivity(quint32 profileId)
{
    return send("profileScheduleActivity", { id(profileId) }, new LegacyCabinetProfileActivityRequest(profileId),
        &LegacyHttpCabinet::request_profileActivityFinished);
}

CabinetFunction<QHostAddress> *LegacyHttpCabinet::updateIP()
{
    // Without a selected profile there is no id to send, and none is made up.
    if (!m_selectedProfile)
        return nullptr;
    return send("updateNic", { id(m_selectedProfile->id), agentName() }, new LegacyCabinetUpdateNicRequest,
        &LegacyHttpCabinet::request_updateNicFinished);
}

} // namespace Velmor
