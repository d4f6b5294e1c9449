#ifndef VELMOR_CABINETREQUEST_H
#define VELMOR_CABINETREQUEST_H

#include "velmorwire/cabinetcategory.h"
#include "velmorwire/cabinetdomain.h"
#include "velmorwire/cabinetprofile.h"
#include "velmorwire/cabinetschedule.h"
#include "velmorwire/cabinetsysteminfo.h"
#include "velmorwire/cabinetuserfilter.h"
#include "velmorwire/cabinetuserinfo.h"
#include "velmorwire/request.h"

#include <QHostAddress>

namespace Velmor {

// The outcome of one account operation: its error, and in the typed forms below the parsed reply.
class CabinetRequest : public Velmor::Request
{
    Q_OBJECT

public:
    explicit CabinetRequest(QObject *parent = nullptr);
    ~CabinetRequest() override;
};

// An account operation that returns data. `result` holds the reply's value once finished() came with success;
// after a failure it is not to be read.
template<typename T>
class CabinetFunction : public Velmor::CabinetRequest
{
public:
    explicit CabinetFunction(QObject *parent = nullptr)
        : CabinetRequest(parent)
        , result()
    { }

    T result;
};

// A profile's white, black or alias list.
class CabinetDomainsRequest : public Velmor::CabinetFunction<Velmor::CabinetDomains>
{
    Q_OBJECT

public:
    CabinetDomainsRequest(QObject *parent, quint32 profileId, Velmor::CabinetDomain::Type type);

    quint32 profileId() const { return m_profileId; }
    Velmor::CabinetDomain::Type type() const { return m_type; }

private:
    quint32 m_profileId;
    Velmor::CabinetDomain::Type m_type;
};

// A profile's weekly schedule.
class CabinetScheduleRequest : public Velmor::CabinetFunction<Velmor::CabinetSchedule>
{
    Q_OBJECT

public:
    CabinetScheduleRequest(QObject *parent, quint32 profileId);

    quint32 profileId() const { return m_profileId; }

private:
    quint32 m_profileId;
};

// A profile's blocked categories.
class CabinetUserFilterRequest : public Velmor::CabinetFunction<Velmor::CabinetUserFilter>
{
public:
    CabinetUserFilterRequest(QObject *parent, quint32 profileId);

    quint32 profileId() const { return m_profileId; }

private:
    quint32 m_profileId;
};

// A new entry of a profile's list: `result` holds what was sent, and the id the account service gave it.
class CabinetDomainAddRequest : public Velmor::CabinetFunction<Velmor::CabinetDomain>
{
public:
    CabinetDomainAddRequest(QObject *parent, quint32 profileId, Velmor::CabinetDomain::Type type);

    quint32 profileId() const { return m_profileId; }
    Velmor::CabinetDomain::Type type() const { return m_type; }

private:
    quint32 m_profileId;
    Velmor::CabinetDomain::Type m_type;
};

// Whether a profile applies now by its schedule.
class CabinetProfileActivityRequest : public Velmor::CabinetFunction<Velmor::CabinetProfileActivity>
{
public:
    CabinetProfileActivityRequest(QObject *parent, quint32 profileId);

    quint32 profileId() const { return m_profileId; }

private:
    quint32 m_profileId;
};

} // namespace Velmor

#endif // VELMOR_CABINETREQUEST_H
