#ifndef VELMOR_TESTS_TYPEREADERS_H
#define VELMOR_TESTS_TYPEREADERS_H

// Every fromVariant of the account data types behind one signature, shared by the tests and the fuzz target.

#include "velmorwire/cabinetcategory.h"
#include "velmorwire/cabinetdomain.h"
#include "velmorwire/cabinetprofile.h"
#include "velmorwire/cabinetschedule.h"
#include "velmorwire/cabinetsysteminfo.h"
#include "velmorwire/cabinetuserfilter.h"
#include "velmorwire/cabinetuserinfo.h"
#include "velmorwire/hostlist.h"
#include "velmorwire/network.h"

#include <QList>
#include <QVariant>

namespace Velmor {
namespace Test {

struct TypeReader
{
    const char *name;
    // Reads value into a fresh object. When accepted, *written is its toVariant(), or stays invalid when the
    // type does not promise to accept its own output (a profile list whose default was replaced by a later
    // profile with the same id).
    bool (*read)(const QVariant &value, QVariant *written);
};

template<typename T>
bool readInto(const QVariant &value, QVariant *written)
{
    T object;
    if (!object.fromVariant(value))
        return false;
    *written = object.toVariant();
    return true;
}

template<CabinetDomain::Type type>
bool readDomain(const QVariant &value, QVariant *written)
{
    CabinetDomain entry;
    if (!entry.fromVariant(value, type))
        return false;
    *written = entry.toVariant();
    return true;
}

template<CabinetDomain::Type type>
bool readDomains(const QVariant &value, QVariant *written)
{
    CabinetDomains list;
    if (!list.fromVariant(value, type))
        return false;
    *written = list.toVariant();
    return true;
}

inline bool readProfiles(const QVariant &value, QVariant *written)
{
    CabinetProfiles profiles;
    if (!profiles.fromVariant(value))
        return false;
    if (profiles.defaultProfile())
        *written = profiles.toVariant();
    return true;
}

inline const QList<TypeReader> &typeReaders()
{
    static const QList<TypeReader> readers = {
        { "CabinetDomain/white", readDomain<CabinetDomain::White> },
        { "CabinetDomain/black", readDomain<CabinetDomain::Black> },
        { "CabinetDomain/alias", readDomain<CabinetDomain::Alias> },
        { "CabinetDomains/white", readDomains<CabinetDomain::White> },
        { "CabinetDomains/alias", readDomains<CabinetDomain::Alias> },
        { "CabinetCategory", readInto<CabinetCategory> },
        { "CabinetCategoryGroup", readInto<CabinetCategoryGroup> },
        { "CabinetCategories", readInto<CabinetCategories> },
        { "CabinetUserFilter", readInto<CabinetUserFilter> },
        { "CabinetScheduleDay", readInto<CabinetScheduleDay> },
        { "CabinetSchedule", readInto<CabinetSchedule> },
        { "CabinetProfile", readInto<CabinetProfile> },
        { "CabinetProfiles", readProfiles },
        { "CabinetProfileActivity", readInto<CabinetProfileActivity> },
        { "Network", readInto<Network> },
        { "NetworksInfo", readInto<NetworksInfo> },
        { "HostList", readInto<HostList> },
        { "CabinetUserInfo", readInto<CabinetUserInfo> },
        { "CabinetSystemInfo", readInto<CabinetSystemInfo> },
    };
    return readers;
}

} // namespace Test
} // namespace Velmor

#endif // VELMOR_TESTS_TYPEREADERS_H
