#ifndef VELMOR_CABINETPROFILEDATA_H
#define VELMOR_CABINETPROFILEDATA_H

#include "cabinetrequest.h"

#include "velmorwire/cabinetdomain.h"
#include "velmorwire/cabinetschedule.h"
#include "velmorwire/cabinetuserfilter.h"

#include <QPointer>

namespace Velmor {

class JsonCache;

// What the account client holds of one profile: its user filter, its three lists and its schedule, each with
// the profile version it belongs to and the fetch of it now under way. Known as Velmor::Cabinet::ProfileData.
class CabinetProfileData
{
public:
    // Bits of validLists: which parts are held.
    enum ValidList {
        UserFilterValid = 1,
        WhiteListValid = 2,
        BlackListValid = 4,
        AliasListValid = 8,
        ScheduleValid = 16
    };

    // A fetch under way and the profile version it was made for; the pointer goes null when the request is
    // released.
    struct Pending
    {
        quint32 version = 0;
        QPointer<Velmor::CabinetRequest> request;
    };

    explicit CabinetProfileData(quint32 profileId = 0, Velmor::JsonCache *store = nullptr);

    // A number the store holds (an id or a version): a whole number that fits 32 bits, else 0.
    static quint32 storedNumber(const QVariant &value);

    // Reads the profile's documents from the store; a part that is missing or rejected stays invalid.
    void load();
    // Writes every part held, as after a change of the store's key.
    void save() const;
    void saveVersions() const;
    // Writes the list of that type: the record's own, or the one given.
    void saveDomains(Velmor::CabinetDomain::Type type) const;
    void saveDomains(Velmor::CabinetDomain::Type type, const Velmor::CabinetDomains &list) const;

    Velmor::CabinetDomains domains(Velmor::CabinetDomain::Type type) const;
    // Stores a received list; true when it changed.
    bool setDomains(Velmor::CabinetDomain::Type type, const Velmor::CabinetDomains &list);
    void addDomain(Velmor::CabinetDomain::Type type, const Velmor::CabinetDomain &entry);
    void removeDomain(Velmor::CabinetDomain::Type type, quint32 domainId);
    void clearDomains(Velmor::CabinetDomain::Type type);
    // Stores a received user filter; true when it differs from a held one.
    bool setUserFilter(const Velmor::CabinetUserFilter &filter);
    // A category id outside 1 to 255 has no place in the filter and changes nothing.
    void setFilterCategory(quint32 categoryId, bool blocked);
    // Stores a schedule; true when it differs from a held one.
    bool setSchedule(const Velmor::CabinetSchedule &schedule);
    // Makes the request the pending fetch of its list, releasing the one before.
    void setDomainsRequest(Velmor::CabinetDomainsRequest *request);
    // Releases every fetch under way.
    void dropRequests();
    void resetVersions();

    // The members that belong to one list type; all null for a value outside the three types.
    struct ListParts
    {
        Velmor::CabinetDomains *list = nullptr;
        quint32 *version = nullptr;
        Pending *request = nullptr;
        int validBit = 0;
        const char *versionKey = nullptr;
    };
    ListParts parts(Velmor::CabinetDomain::Type type);

    bool active;
    quint32 profileId;
    quint32 version;
    quint32 filterVersion;
    quint32 whiteVersion;
    quint32 blackVersion;
    quint32 aliasVersion;
    quint32 scheduleVersion;
    int validLists;
    Velmor::CabinetUserFilter userFilter;
    Velmor::CabinetDomains whiteList;
    Velmor::CabinetDomains blackList;
    Velmor::CabinetDomains aliasList;
    Velmor::CabinetSchedule schedule;
    Velmor::JsonCache *store;
    Pending whiteRequest;
    Pending blackRequest;
    Pending aliasRequest;
    Pending filterRequest;
    Pending scheduleRequest;
};

} // namespace Velmor

#endif // VELMOR_CABINETPROFILEDATA_H
