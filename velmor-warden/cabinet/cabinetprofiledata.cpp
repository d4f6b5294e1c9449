#include "cabinetprofiledata.h"

#include "jsoncache.h"

#include <QVariantMap>

namespace Velmor {

namespace {

bool isListType(CabinetDomain::Type type)
{
    return CabinetDomain::listTypeToString(type) != nullptr;
}

QByteArray documentName(const char *prefix, quint32 id)
{
    return QByteArray(prefix) + QByteArray::number(id);
}

QByteArray domainsName(quint32 id, CabinetDomain::Type type)
{
    return "domains-" + QByteArray::number(id) + '-' + CabinetDomain::listTypeToString(type);
}

void release(CabinetProfileData::Pending *pending)
{
    if (pending->request)
        pending->request->deleteLater();
}

} // namespace

// A part whose version cannot be read is fetched again.
quint32 CabinetProfileData::storedNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong: {
        const qlonglong number = value.toLongLong();
        return number >= 0 && number <= 0xffffffffLL ? quint32(number) : 0;
    }
    case QMetaType::UInt:
    case QMetaType::ULongLong: {
        const qulonglong number = value.toULongLong();
        return number <= 0xffffffffULL ? quint32(number) : 0;
    }
    default:
        return 0;
    }
}

CabinetProfileData::CabinetProfileData(quint32 profileId, JsonCache *store)
    : active(true)
    , profileId(profileId)
    , version(0)
    , filterVersion(0)
    , whiteVersion(0)
    , blackVersion(0)
    , aliasVersion(0)
    , scheduleVersion(0)
    , validLists(0)
    , store(store)
{ }

CabinetProfileData::ListParts CabinetProfileData::parts(CabinetDomain::Type type)
{
    switch (type) {
    case CabinetDomain::White:
        return { &whiteList, &whiteVersion, &whiteRequest, WhiteListValid, "whitelist" };
    case CabinetDomain::Black:
        return { &blackList, &blackVersion, &blackRequest, BlackListValid, "blacklist" };
    case CabinetDomain::Alias:
        return { &aliasList, &aliasVersion, &aliasRequest, AliasListValid, "aliaslist" };
    }
    return ListParts();
}

void CabinetProfileData::load()
{
    if (profileId == 0 || !store)
        return;
    const QVariantMap versions = store->get(documentName("profileversion-", profileId)).toMap();
    version = storedNumber(versions.value(QStringLiteral("actual")));

    if (userFilter.fromVariant(store->get(documentName("filter-", profileId)))) {
        validLists |= UserFilterValid;
        filterVersion = storedNumber(versions.value(QStringLiteral("filter")));
    } else {
        filterVersion = 0;
    }

    for (const CabinetDomain::Type type : { CabinetDomain::White, CabinetDomain::Black, CabinetDomain::Alias }) {
        const ListParts part = parts(type);
        CabinetDomains stored;
        if (stored.fromVariant(store->get(domainsName(profileId, type)), type)) {
            *part.list = stored;
            validLists |= part.validBit;
            *part.version = storedNumber(versions.value(QLatin1String(part.versionKey)));
        } else {
            *part.version = 0;
        }
    }

    if (schedule.fromVariant(store->get(documentName("schedule-", profileId)))) {
        validLists |= ScheduleValid;
        scheduleVersion = storedNumber(versions.value(QStringLiteral("schedule")));
    } else {
        scheduleVersion = 0;
    }
}

void CabinetProfileData::save() const
{
    if (profileId == 0 || !store)
        return;
    saveVersions();
    if (validLists & UserFilterValid)
        store->put(documentName("filter-", profileId), userFilter.toVariant());
    if (validLists & WhiteListValid)
        saveDomains(CabinetDomain::White);
    if (validLists & BlackListValid)
        saveDomains(CabinetDomain::Black);
    if (validLists & AliasListValid)
        saveDomains(CabinetDomain::Alias);
    if (validLists & ScheduleValid)
        store->put(documentName("schedule-", profileId), schedule.toVariant());
}

void CabinetProfileData::saveVersions() const
{
    if (profileId == 0 || !store)
        return;
    QVariantMap versions;
    versions.insert(QStringLiteral("actual"), QVariant::fromValue<uint>(version));
    versions.insert(QStringLiteral("filter"), QVariant::fromValue<uint>(filterVersion));
    versions.insert(QStringLiteral("whitelist"), QVariant::fromValue<uint>(whiteVersion));
    versions.insert(QStringLiteral("blacklist"), QVariant::fromValue<uint>(blackVersion));
    versions.insert(QStringLiteral("aliaslist"), QVariant::fromValue<uint>(aliasVersion));
    versions.insert(QStringLiteral("schedule"), QVariant::fromValue<uint>(scheduleVersion));
    store->put(documentName("profileversion-", profileId), versions);
}

void CabinetProfileData::saveDomains(CabinetDomain::Type type) const
{
    saveDomains(type, domains(type));
}

void CabinetProfileData::saveDomains(CabinetDomain::Type type, const CabinetDomains &domains) const
{
    if (profileId == 0 || !store || !isListType(type))
        return;
    store->put(domainsName(profileId, type), domains.toVariant());
}

CabinetDomains CabinetProfileData::domains(CabinetDomain::Type type) const
{
    const ListParts part = const_cast<CabinetProfileData *>(this)->parts(type);
    return part.list ? *part.list : CabinetDomains();
}

bool CabinetProfileData::setDomains(CabinetDomain::Type type, const CabinetDomains &received)
{
    const ListParts part = parts(type);
    if (!part.list)
        return false;
    *part.version = version;
    // Lists compare by their ids only: an entry whose address alone changed is no change.
    if ((validLists & part.validBit) && *part.list == received)
        return false;
    validLists |= part.validBit;
    *part.list = received;
    saveDomains(type);
    saveVersions();
    return true;
}

void CabinetProfileData::addDomain(CabinetDomain::Type type, const CabinetDomain &entry)
{
    const ListParts part = parts(type);
    if (!part.list)
        return;
    part.list->append(entry);
    if (validLists & part.validBit)
        saveDomains(type);
}

void CabinetProfileData::removeDomain(CabinetDomain::Type type, quint32 domainId)
{
    const ListParts part = parts(type);
    if (!part.list)
        return;
    part.list->removeDomain(domainId);
    if (validLists & part.validBit)
        saveDomains(type);
}

void CabinetProfileData::clearDomains(CabinetDomain::Type type)
{
    const ListParts part = parts(type);
    if (!part.list)
        return;
    part.list->clear();
    validLists |= part.validBit;
    *part.version = version;
    saveDomains(type);
}

bool CabinetProfileData::setUserFilter(const CabinetUserFilter &filter)
{
    const bool changed = !((validLists & UserFilterValid) && userFilter == filter);
    userFilter = filter;
    if (changed && profileId != 0) {
        if (store)
            store->put(documentName("filter-", profileId), userFilter.toVariant());
        if (filterVersion != version) {
            filterVersion = version;
            saveVersions();
        }
        validLists |= UserFilterValid;
    }
    return changed;
}

void CabinetProfileData::setFilterCategory(quint32 categoryId, bool blocked)
{
    // The filter holds ids of one byte: a larger id must not be filed under its low byte.
    if (profileId == 0 || categoryId < 1 || categoryId > 255)
        return;
    if (blocked)
        userFilter.insert(quint8(categoryId));
    else
        userFilter.remove(quint8(categoryId));
    if ((validLists & UserFilterValid) && store)
        store->put(documentName("filter-", profileId), userFilter.toVariant());
}

bool CabinetProfileData::setSchedule(const CabinetSchedule &received)
{
    if ((validLists & ScheduleValid) && schedule == received) {
        schedule = received;
        return false;
    }
    schedule = received;
    if (profileId == 0)
        return true;
    scheduleVersion = version;
    if (store)
        store->put(documentName("schedule-", profileId), schedule.toVariant());
    validLists |= ScheduleValid;
    return true;
}

void CabinetProfileData::setDomainsRequest(CabinetDomainsRequest *request)
{
    Pending *pending = parts(request->type()).request;
    if (!pending)
        return;
    if (pending->request != request)
        release(pending);
    pending->version = version;
    pending->request = request;
}

void CabinetProfileData::dropRequests()
{
    for (Pending *pending : { &whiteRequest, &blackRequest, &aliasRequest, &filterRequest, &scheduleRequest })
        release(pending);
}

void CabinetProfileData::resetVersions()
{
    version = 0;
    filterVersion = 0;
    whiteVersion = 0;
    blackVersion = 0;
    aliasVersion = 0;
    scheduleVersion = 0;
    for (Pending *pending : { &whiteRequest, &blackRequest, &aliasRequest, &filterRequest, &scheduleRequest })
        pending->version = 0;
}

} // namespace Velmor
