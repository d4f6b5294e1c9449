#include "requesthandler.h"

#include "app/agent.h"
#include "cabinet.h"
#include "wiretext.h"

#include "velmorwire/ipaddress.h"
#include "velmorwire/network.h"

RequestHandler::RequestHandler(Agent *agent)
    : QObject(nullptr)
    , m_agent(agent)
{ }

RequestHandler::~RequestHandler() = default;

void RequestHandler::setSettings(const QVariantMap &settings)
{
    m_agent->setServiceSettings(settings);
}

void RequestHandler::setSystemInfo(const QVariant &si)
{
    Velmor::CabinetSystemInfo info;
    if (info.fromVariant(si))
        m_agent->cabinet()->setSystemInfo(info);
}

void RequestHandler::setCategories(const QVariant &v)
{
    Velmor::CabinetCategories categories;
    if (categories.fromVariant(v))
        m_agent->cabinet()->setCategories(categories);
}

void RequestHandler::setIdentification(quint32 type, const QVariant &data)
{
    const bool wasComplete = m_agent->isConnectionComplete();
    m_agent->setConnectionComplete(true);
    if (type != 0)
        m_agent->cabinet()->setIdentifiedByToken(wireId(data));
    else
        m_agent->cabinet()->setIdentifiedByIp(Velmor::parseIPAddress(data.toString()));
    completeConnection(wasComplete);
}

void RequestHandler::setIdentificationError(quint32 type, const QVariant &data)
{
    const bool wasComplete = m_agent->isConnectionComplete();
    m_agent->setConnectionComplete(true);
    Velmor::Error error;
    (void)error.fromVariant(data);
    m_agent->cabinet()->setIdentificationError(type, error);
    completeConnection(wasComplete);
}

void RequestHandler::setCredentials(const QString &user, const QString &password)
{
    m_agent->cabinet()->updateCredentials(user, password);
}

void RequestHandler::setUserInfo(const QVariantMap &userInfo)
{
    Velmor::CabinetUserInfo info;
    (void)info.fromVariant(userInfo);
    m_agent->cabinet()->setUserInfo(info);
}

void RequestHandler::setProfiles(const QVariantList &vl, quint32 selectedProfile)
{
    Velmor::CabinetProfiles profiles;
    (void)profiles.fromVariant(vl);
    m_agent->cabinet()->setProfiles(profiles, selectedProfile);
}

void RequestHandler::setSelectedProfile(quint32 selectedProfile)
{
    m_agent->cabinet()->setSelectedProfile(selectedProfile);
}

void RequestHandler::setProfileScheduleActivity(quint32 profileId, bool active)
{
    m_agent->cabinet()->setProfileScheduleActivity(profileId, active);
}

void RequestHandler::setNetworks(const QVariantMap &vm)
{
    Velmor::NetworksInfo info;
    (void)info.fromVariant(vm);
    m_agent->setNetworks(info);
}

void RequestHandler::setSettingsLocked(bool state)
{
    Q_EMIT m_agent->settingsLockUpdated(state);
}

void RequestHandler::setGlobalFiltering(bool state)
{
    m_agent->setGlobalFilteringState(state);
}

void RequestHandler::setNetworkProtection(const QString &id, bool state)
{
    m_agent->applyNetworkProtection(id, state);
}

void RequestHandler::setUserFilter(quint32 profileId, const QVariantList &vl)
{
    Velmor::CabinetUserFilter filter;
    if (filter.fromVariant(vl))
        m_agent->cabinet()->setUserFilter(profileId, filter);
}

void RequestHandler::setDomains(quint32 profileId, int type, const QVariantList &vl)
{
    if (type < Velmor::CabinetDomain::White || type > Velmor::CabinetDomain::Alias)
        return;
    Velmor::CabinetDomains domains;
    if (domains.fromVariant(vl, Velmor::CabinetDomain::Type(type)))
        m_agent->cabinet()->setDomains(profileId, type, domains);
}

void RequestHandler::completeConnection(bool wasComplete)
{
    // An identification error whose map did not parse changes no signal of the model, so the state is
    // recomputed here: "Connecting to service.." must not stay up once the push has ended.
    m_agent->updateState();
    if (wasComplete)
        return;
    Q_EMIT m_agent->connectionComplete();
    if (m_agent->isUnlockPending())
        m_agent->processUnlockRequest();
}
