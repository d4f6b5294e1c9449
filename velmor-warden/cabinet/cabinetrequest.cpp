#include "cabinetrequest.h"

namespace Velmor {

CabinetRequest::CabinetRequest(QObject *parent)
    : Request(parent)
{ }

CabinetRequest::~CabinetRequest() = default;

CabinetDomainsRequest::CabinetDomainsRequest(QObject *parent, quint32 profileId, CabinetDomain::Type type)
    : CabinetFunction<CabinetDomains>(parent)
    , m_profileId(profileId)
    , m_type(type)
{ }

CabinetScheduleRequest::CabinetScheduleRequest(QObject *parent, quint32 profileId)
    : CabinetFunction<CabinetSchedule>(parent)
    , m_profileId(profileId)
{ }

CabinetUserFilterRequest::CabinetUserFilterRequest(QObject *parent, quint32 profileId)
    : CabinetFunction<CabinetUserFilter>(parent)
    , m_profileId(profileId)
{ }

CabinetDomainAddRequest::CabinetDomainAddRequest(QObject *parent, quint32 profileId, CabinetDomain::Type type)
    : CabinetFunction<CabinetDomain>(parent)
    , m_profileId(profileId)
    , m_type(type)
{ }

CabinetProfileActivityRequest::CabinetProfileActivityRequest(QObject *parent, quint32 profileId)
    : CabinetFunction<CabinetProfileActivity>(parent)
    , m_profileId(profileId)
{ }

} // namespace Velmor
