#include "requesthandler.h"

#include "cabinet.h"
#include "servicestatus.h"
#include "wiretext.h"

#include "velmorwire/ipaddress.h"
#include "velmorwire/network.h"

RequestHandler::RequestHandler(ServiceStatus *status, Cabinet *cabinet)
    : QObject(nullptr)
    , m_status(status)
    , m_cabinet(cabinet)
{ }

RequestHandler::~RequestHandler() = default;

void RequestHandler::setSettings(const QVariantMap &settings)
{
    m_status->setServiceSettings(settings);
}

void RequestHandler::setSystemInfo(const QVariant &si)
{
    Velmor::CabinetSystemInfo info;
    if (info.fromVariant(si))
        m_cabinet->setSystemInfo(info);
}

void RequestHandler::setCategories(const QVariant &v)
{
    Velmor::CabinetCategories categories;
    if (categories.fromVariant(v))
        m_cabinet->setCategories(categories);
}

void RequestHandler::setIdentification(quint32 type, const QVariant &data)
{
    const bool wasComplete = m_status->isConnectionComplete();
    m_status->setConnectionComplete(true);
    if (type != 0)
        m_cabinet->setIdentifiedByToken(wireId(data));
    else
        m_cabinet->setIdentifiedByIp(Velmor::parseIPAddress(data.toString()));
    completeConnection(wasComplete);
}

void RequestHandler::setIdentificationError(quint32 type, const QVariant &data)
{
    const bool wasComplete = m_status->isConnectionComplete();
    m_status->setConnectionComplete(true);
    Velmor::Error error;
    (void)error.fromVariant(data);
    m_cabinet->setIdentificationError(type, error);
    completeConnection(wasComplete);
}

void RequestHandler::setCredentials(const QString &user, const QString &password)
{
    m_cabinet->updateCredentials(user, password);
}

void RequestHandler::setUserInfo(const QVariantMap &userInfo)
{
    Velmor::CabinetUserInfo info;
    (void)info.fromVariant(userInfo);
    m_cabinet->setUserInfo(info);
}

void RequestHandler::setProfiles(const QVariantList &vl, quint32 selectedProfile)
{
    Velmor::CabinetProfiles profiles;
    (void)profiles.fromVariant(vl);
    m_cabinet->setProfiles(profiles, selectedProfile);
}

void RequestHandler::setSelectedProfile(quint32 selectedProfile)
{
    m_cabinet->setSelectedProfile(selectedProfile);
}

void RequestHandler::setProfileScheduleActivity(quint32 profileId, bool active)
{
    m_cabinet->setProfileScheduleActivity(profileId, active);
}

void RequestHandler::setNetworks(const QVariantMap &vm)
{
    Velmor::NetworksInfo info;
    (void)info.fromVariant(vm);
    m_status->setNetworks(info);
}

void RequestHandler::setSettingsLocked(bool state)
{
    m_status->setSettingsLocked(state);
}

void RequestHandler::setGlobalFiltering(bool state)
{
    m_status->setGlobalFilteringState(state);
}

void RequestHandler::setNetworkProtection(const QString &id, bool state)
{
    m_status->applyNetworkProtection(id, state);
}

void RequestHandler::setUserFilter(quint32 profileId, const QVariantList &vl)
{
    Velmor::CabinetUserFilter filter;
    if (filter.fromVariant(vl))
        m_cabinet->setUserFilter(profileId, filter);
}

void RequestHandler::setDomains(quint32 profileId, int type, const QVariantList &vl)
{
    if (type < Velmor::CabinetDomain::White || type > Velmor::CabinetDomain::Alias)
        return;
    Velmor::CabinetDomains domains;
    if (domains.fromVariant(vl, Velmor::CabinetDomain::Type(type)))
        m_cabinet->setDomains(profileId, type, domains);
}

void RequestHandler::completeConnection(bool wasComplete)
{
    // An identification error whose map did not parse changes no signal of the model, so the state is
    // recomputed here: "Connecting to service.." must not stay up once the push has ended.
    m_status->updateState();
    if (wasComplete)
        return;
    m_status->completeConnection();
}
