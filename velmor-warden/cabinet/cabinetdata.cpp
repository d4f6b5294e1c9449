#include "cabinet.h"

#include "jsoncache.h"

#include <QtDebug>

#include <algorithm>
#include <climits>

namespace Velmor {

namespace {

// The activity timer counts milliseconds in an int.
const qint64 longestActivityMinutes = INT_MAX / 60000;

bool holdsDomain(const CabinetDomains &list, const QString &domain)
{
    return std::any_of(
        list.cbegin(), list.cend(), [&domain](const CabinetDomain &entry) { return entry.domain == domain; });
}

bool sameSystemInfo(const CabinetSystemInfo &a, const CabinetSystemInfo &b)
{
    return a.safeSearch == b.safeSearch && a.services == b.services && a.publicDns == b.publicDns;
}

// A part is stale when the record's version is newer or unknown; a fetch under way for a version at least as new
// is left to finish.
bool needsFetch(quint32 partVersion, const CabinetProfileData::Pending &pending, quint32 version)
{
    const bool stale = version == 0 || partVersion < version;
    const bool underWay = !pending.request.isNull() && pending.version >= version;
    return stale && !underWay;
}

QList<quint32> sortedIds(const CabinetProfiles &profiles)
{
    QList<quint32> ids = profiles.keys();
    std::sort(ids.begin(), ids.end());
    return ids;
}

} // namespace

Cabinet::ProfileData *Cabinet::profileData(quint32 profileId)
{
    const auto found = m_profileData.find(profileId);
    return found == m_profileData.end() ? nullptr : &found.value();
}

CabinetSchedule Cabinet::cachedSchedule(quint32 profileId) const
{
    return m_profileData.value(profileId).schedule;
}

CabinetUserFilter Cabinet::cachedUserFilter(quint32 profileId) const
{
    return m_profileData.value(profileId).userFilter;
}

CabinetDomains Cabinet::cachedDomains(quint32 profileId, CabinetDomain::Type type) const
{
    const auto found = m_profileData.constFind(profileId);
    return found == m_profileData.constEnd() ? CabinetDomains() : found->domains(type);
}

QHostAddress Cabinet::aliasAddress(const QString &domain) const
{
    if (!m_selectedProfile)
        return QHostAddress();
    const auto found = m_profileData.constFind(m_selectedProfile->id);
    return found == m_profileData.constEnd() ? QHostAddress() : found->aliasList.findDomain(domain).ip;
}

bool Cabinet::isBlacklisted(const QString &domain) const
{
    if (!m_selectedProfile)
        return false;
    const auto found = m_profileData.constFind(m_selectedProfile->id);
    return found != m_profileData.constEnd() && holdsDomain(found->blackList, domain);
}

bool Cabinet::isWhitelisted(const QString &domain) const
{
    if (!m_selectedProfile)
        return false;
    const auto found = m_profileData.constFind(m_selectedProfile->id);
    return found != m_profileData.constEnd() && holdsDomain(found->whiteList, domain);
}

bool Cabinet::filteredCategories(const CabinetUserFilter &categories) const
{
    if (!m_selectedProfile)
        return false;
    const auto found = m_profileData.constFind(m_selectedProfile->id);
    return found != m_profileData.constEnd() && found->userFilter.intersects(categories);
}

void Cabinet::updateCurrentProfile()
{
    QSharedPointer<CabinetProfile> next = m_selectedProfile;
    if (next && next->scheduleEnabled) {
        const auto found = m_profileData.constFind(next->id);
        if (found != m_profileData.constEnd() && !found->active)
            next = m_profiles.defaultProfile();
    }
    const bool changed
        = next != m_currentProfile && (next.isNull() || m_currentProfile.isNull() || next->id != m_currentProfile->id);
    m_currentProfile = next;
    if (changed)
        Q_EMIT currentProfileChanged();
}

bool Cabinet::isProfileActive(quint32 profileId) const
{
    const auto found = m_profileData.constFind(profileId);
    return found == m_profileData.constEnd() || found->active;
}

bool Cabinet::selectProfile(quint32 profileId)
{
    QSharedPointer<CabinetProfile> candidate;
    if (profileId != 0 && m_profiles.contains(profileId))
        candidate = m_profiles.value(profileId);
    if (!candidate) {
        qDebug("No pofile whith this id:%u", profileId);
        candidate = m_profiles.defaultProfile();
    }
    const bool changed = candidate.isNull() != m_selectedProfile.isNull()
        || (candidate && m_selectedProfile && candidate->id != m_selectedProfile->id);
    m_selectedProfile = candidate;
    updateCurrentProfile();
    if (!changed)
        return false;
    applySelectedProfile();
    Q_EMIT selectedProfileChanged();
    return true;
}

void Cabinet::applySelectedProfile()
{
    m_store->put("profile", QVariant::fromValue<uint>(m_selectedProfile ? m_selectedProfile->id : 0));
    m_activityTimer.stop();
    updateCurrentProfile();
    if (m_selectedProfile)
        loadProfileData(m_selectedProfile->id);
}

void Cabinet::loadProfileData(quint32 profileId)
{
    if (profileId == 0)
        return;
    if (!m_profileData.contains(profileId)) {
        if (!m_profiles.contains(profileId))
            return;
        m_profileData.insert(profileId, ProfileData(profileId, m_store));
    }
    // Starting an operation only queues its message, so the record stays where it is meanwhile.
    ProfileData &record = m_profileData[profileId];
    const quint32 version = record.version;

    if (needsFetch(record.filterVersion, record.filterRequest, version)) {
        if (CabinetUserFilterRequest *request = userFilter(profileId)) {
            if (record.filterRequest.request)
                record.filterRequest.request->deleteLater();
            record.filterRequest.version = version;
            record.filterRequest.request = request;
        }
    }
    for (const CabinetDomain::Type type : { CabinetDomain::White, CabinetDomain::Black, CabinetDomain::Alias }) {
        const ProfileData::ListParts part = record.parts(type);
        if (!needsFetch(*part.version, *part.request, version))
            continue;
        if (CabinetDomainsRequest *request = domains(profileId, type))
            record.setDomainsRequest(request);
    }
    if (needsFetch(record.scheduleVersion, record.scheduleRequest, version)) {
        if (CabinetScheduleRequest *request = schedule(profileId)) {
            if (record.scheduleRequest.request)
                record.scheduleRequest.request->deleteLater();
            record.scheduleRequest.version = version;
            record.scheduleRequest.request = request;
        }
    }
}

void Cabinet::raiseProfileVersion(quint32 profileId, quint32 version)
{
    ProfileData *record = profileData(profileId);
    if (!record)
        return;
    if (record->version < version) {
        record->version = version;
        record->saveVersions();
    }
    loadProfileData(profileId);
}

void Cabinet::saveProfiles()
{
    m_store->put("profile", QVariant::fromValue<uint>(m_selectedProfile ? m_selectedProfile->id : 0));
    m_store->put("profiles", m_profiles.toVariant());
}

void Cabinet::setUserInfo(const CabinetUserInfo &info)
{
    const bool changed = !(m_userInfo == info);
    m_userInfo = info;
    if (!changed)
        return;
    m_store->put("userinfo", info.toVariant());
    Q_EMIT userInfoChanged();
}

void Cabinet::dropProfile(quint32 profileId)
{
    m_profiles.remove(profileId);
    if (ProfileData *record = profileData(profileId)) {
        record->dropRequests();
        m_profileData.remove(profileId);
    }
    // By the selected id, not the current one: a choice that its schedule hides for now must survive.
    selectProfile(m_selectedProfile ? m_selectedProfile->id : 0);
    Q_EMIT profilesChanged();
    saveProfiles();
}

void Cabinet::updateProfileActivity()
{
    if (m_selectedProfile && m_selectedProfile->scheduleEnabled)
        profileScheduleActivity(m_selectedProfile->id);
}

void Cabinet::request_systemInfoFinished()
{
    const auto *request = dynamic_cast<CabinetFunction<CabinetSystemInfo> *>(sender());
    if (!request || !request->error().isSuccess())
        return;
    if (sameSystemInfo(request->result, m_systemInfo))
        return;
    m_systemInfo = request->result;
    Q_EMIT systemInfoChanged();
}

void Cabinet::request_categoriesFinished()
{
    const auto *request = dynamic_cast<CabinetFunction<CabinetCategories> *>(sender());
    if (!request || !request->error().isSuccess())
        return;
    if (request->result == m_categories)
        return;
    m_categories = request->result;
    Q_EMIT categoriesChanged();
}

void Cabinet::request_updateNicFinished()
{
    const auto *request = dynamic_cast<CabinetFunction<QHostAddress> *>(sender());
    if (!request)
        return;
    if (!request->error().isSuccess()) {
        m_lastError = Error(request->error().code(), request->error().message());
        Q_EMIT error();
        return;
    }
    const bool changed = request->result != m_ip;
    m_ip = request->result;
    if (changed)
        Q_EMIT ipChanged();
}

void Cabinet::request_userInfoFinished()
{
    const auto *request = dynamic_cast<CabinetFunction<CabinetUserInfo> *>(sender());
    if (!request || !request->error().isSuccess())
        return;
    setUserInfo(request->result);
}

void Cabinet::request_profilesFinished()
{
    const auto *request = dynamic_cast<CabinetFunction<CabinetProfiles> *>(sender());
    if (!request || !request->error().isSuccess())
        return;
    // Profiles read from a reply are new objects, so any non-empty list counts as a change.
    if (request->result != m_profiles) {
        m_profiles = request->result;
        selectProfile(m_selectedProfile ? m_selectedProfile->id : m_chosenProfileId);
        saveProfiles();
        Q_EMIT profilesChanged();
    }
    // Every profile, the selected one included: after a reconnection its parts are as stale as the others', and
    // a fetch already under way is not started twice.
    const QList<quint32> ids = sortedIds(m_profiles);
    for (const quint32 id : ids)
        loadProfileData(id);
}

void Cabinet::request_profileAddFinished()
{
    const auto *request = dynamic_cast<CabinetFunction<CabinetProfile> *>(sender());
    if (!request || !request->error().isSuccess())
        return;
    const QSharedPointer<CabinetProfile> profile(new CabinetProfile(request->result));
    m_profiles.insert(profile->id, profile);
    loadProfileData(profile->id);
    saveProfiles();
    Q_EMIT profilesChanged();
}

void Cabinet::request_domainsFinished()
{
    const auto *request = dynamic_cast<CabinetDomainsRequest *>(sender());
    if (!request || !request->error().isSuccess())
        return;
    ProfileData *record = profileData(request->profileId());
    if (record && record->setDomains(request->type(), request->result))
        Q_EMIT domainsChanged(request->profileId(), int(request->type()));
}

void Cabinet::request_domainAddFinished()
{
    const auto *request = dynamic_cast<CabinetDomainAddRequest *>(sender());
    if (!request || !request->error().isSuccess())
        return;
    ProfileData *record = profileData(request->profileId());
    if (!record)
        return;
    record->addDomain(request->type(), request->result);
    Q_EMIT domainsChanged(request->profileId(), int(request->type()));
}

void Cabinet::request_profileActivityFinished()
{
    const auto *request = dynamic_cast<CabinetProfileActivityRequest *>(sender());
    if (!request || !request->error().isSuccess())
        return;
    const quint32 profileId = request->profileId();
    ProfileData *record = profileData(profileId);
    if (!record)
        return;
    const bool active = request->result.active;
    const qint64 minutes = qBound<qint64>(0, qint64(request->result.minutes), longestActivityMinutes);
    if (record->active != active) {
        record->active = active;
        Q_EMIT profileActivityChanged(profileId, active);
        updateCurrentProfile();
    }
    if (m_selectedProfile && m_selectedProfile->id == profileId)
        m_activityTimer.start(int(minutes * 60000));
}

void Cabinet::request_userFilterFinished()
{
    const auto *request = dynamic_cast<CabinetUserFilterRequest *>(sender());
    if (!request || !request->error().isSuccess())
        return;
    ProfileData *record = profileData(request->profileId());
    if (!record || record->userFilter == request->result)
        return;
    record->setUserFilter(request->result);
    Q_EMIT userFilterChanged(request->profileId());
}

void Cabinet::request_profileScheduleFinished()
{
    const auto *request = dynamic_cast<CabinetScheduleRequest *>(sender());
    if (!request || !request->error().isSuccess())
        return;
    ProfileData *record = profileData(request->profileId());
    if (!record)
        return;
    record->setSchedule(request->result);
    if (m_selectedProfile && m_selectedProfile->id == request->profileId())
        updateProfileActivity();
}

} // namespace Velmor
