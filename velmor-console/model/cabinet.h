#ifndef VELMOR_CONSOLE_CABINET_H
#define VELMOR_CONSOLE_CABINET_H

#include "velmorwire/cabinetcategory.h"
#include "velmorwire/cabinetdomain.h"
#include "velmorwire/cabinetprofile.h"
#include "velmorwire/cabinetschedule.h"
#include "velmorwire/cabinetsysteminfo.h"
#include "velmorwire/cabinetuserfilter.h"
#include "velmorwire/cabinetuserinfo.h"
#include "velmorwire/error.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>

class ServiceConnector;

namespace Velmor {
class JsonRPCCall;
}

// The desktop's picture of the account as the service reports it, and its one way to the service's account
// methods. Values arrive whole from the service's notifications and are replaced, never merged; every change
// is announced. Only the identified flag goes with a lost connection: the service pushes everything again
// when the link returns.
class Cabinet : public QObject
{
    Q_OBJECT

public:
    explicit Cabinet(ServiceConnector *connector, QObject *parent = nullptr);
    ~Cabinet() override;

    bool isIdentified() const { return m_identified; }
    bool isTokenMode() const { return m_tokenMode; }
    const Velmor::Error &lastError() const { return m_lastError; }
    const QString &ipAddress() const { return m_ipAddress; }
    const Velmor::CabinetSystemInfo &systemInfo() const { return m_systemInfo; }
    const Velmor::CabinetUserInfo &userInfo() const { return m_userInfo; }
    const Velmor::CabinetProfiles &profiles() const { return m_profiles; }
    quint32 selectedProfileId() const { return m_selectedProfileId; }
    const Velmor::CabinetCategories &cachedCategories() const { return m_categories; }
    // Empty for a profile or list type the model holds nothing for.
    Velmor::CabinetDomains cachedDomains(quint32 profileId, int type) const;
    Velmor::CabinetUserFilter cachedUserFilter(quint32 profileId) const;

    // The name after "Current profile:": the selected profile's, or the default profile's while the selected
    // one is out of its schedule; empty when the selected profile is unknown or no default stands in for it.
    QString currentProfileName() const;

    // Setters of the notification handler.
    void setIdentifiedByIp(const QHostAddress &address);
    void setIdentifiedByToken(quint32 profileId);
    void setIdentificationError(quint32 type, const Velmor::Error &error);
    void updateCredentials(const QString &user, const QString &password);
    void setUserInfo(const Velmor::CabinetUserInfo &userInfo);
    void setProfiles(const Velmor::CabinetProfiles &profiles, quint32 selectedProfile);
    void setSelectedProfile(quint32 profileId);
    void setProfileScheduleActivity(quint32 profileId, bool active);
    void setSystemInfo(const Velmor::CabinetSystemInfo &systemInfo);
    void setCategories(const Velmor::CabinetCategories &categories);
    void setUserFilter(quint32 profileId, const Velmor::CabinetUserFilter &filter);
    void setDomains(quint32 profileId, int type, const Velmor::CabinetDomains &domains);
    // A success clears the error silently; Error::NetworkFailure and Error::AddressRefused are also shown in the tray.
    void setLastError(const Velmor::Error &error);

    // The service's account methods. Calls return the call, whose finished() the caller may watch.
    Velmor::JsonRPCCall *categories();
    Velmor::JsonRPCCall *userFilter(quint32 profileId);
    Velmor::JsonRPCCall *domains(quint32 profileId, int type);
    Velmor::JsonRPCCall *schedule(quint32 profileId);
    Velmor::JsonRPCCall *addProfile(const QString &name);
    Velmor::JsonRPCCall *addDomain(quint32 profileId, int type, const QString &domain, const QHostAddress &ip);
    Velmor::JsonRPCCall *setProfile(quint32 profileId);
    Velmor::JsonRPCCall *unlockSettings(const QString &login, const QString &password);
    Velmor::JsonRPCCall *registerUser(const QString &email, const QString &password);
    Velmor::JsonRPCCall *setCredentials(const QString &login, const QString &password);
    void setSchedule(quint32 profileId, const Velmor::CabinetSchedule &schedule);
    void removeProfile(quint32 profileId);
    void removeDomain(quint32 profileId, int type, quint32 domainId);
    void clearDomains(quint32 profileId, int type);
    void setFilterCat(quint32 profileId, quint32 catId, bool blocked);
    void setSafeSearchEnabled(quint32 profileId, bool enabled);
    void setWhiteListOnly(quint32 profileId, bool enabled);
    void setScheduleEnabled(quint32 profileId, bool enabled);
    void setTokensEnabled(bool enabled);
    void updateProfiles();
    void updateUserInfo();

Q_SIGNALS:
    void stateChanged();
    void error();
    // A failure the user should hear of beside the windows that follow error().
    void errorOccurred(const QString &text, const QString &title);
    void systemInfoChanged();
    void identificationStateChanged();
    void credentialsUpdated(const QString &user, const QString &password);
    void userInfoChanged();
    void profilesChanged();
    void categoriesUpdated();
    void userFilterUpdated(quint32 profileId);
    void whiteListUpdated(quint32 profileId);
    void blackListUpdated(quint32 profileId);
    void aliasListUpdated(quint32 profileId);

private Q_SLOTS:
    void service_requestFinished();
    // The account took the password: a refusal before it is no error of the account any more.
    void service_passwordAccepted();
    void service_disconnected();
    void service_categoriesUpdated();
    void service_userFilterUpdated();
    void service_domainsUpdated();
    void service_domainAddFinished();
    void service_profileAddFinished();

private:
    Q_DISABLE_COPY(Cabinet)

    using DomainLists = QHash<quint32, Velmor::CabinetDomains>;

    Velmor::JsonRPCCall *call(const char *method, const QVariantList &params, void (Cabinet::*reply)());
    // The finished call that sent the reply, or null after its error went to setLastError.
    const Velmor::JsonRPCCall *succeededCall();
    // Tells the user of an addition whose call timed out; the parameter at nameIndex names the entry.
    void tellLostAddition(int nameIndex);
    void notify(const char *method, const QVariantList &params = QVariantList());
    DomainLists *listsOf(int type);
    void emitListUpdated(int type, quint32 profileId);

    ServiceConnector *m_connector;
    bool m_identified;
    bool m_tokenMode;
    Velmor::Error m_lastError;
    QString m_ipAddress;
    Velmor::CabinetSystemInfo m_systemInfo;
    Velmor::CabinetUserInfo m_userInfo;
    Velmor::CabinetProfiles m_profiles;
    quint32 m_selectedProfileId;
    quint32 m_activityProfileId;
    bool m_activityActive;
    DomainLists m_whiteLists;
    DomainLists m_blackLists;
    DomainLists m_aliasLists;
    Velmor::CabinetCategories m_categories;
    QHash<quint32, Velmor::CabinetUserFilter> m_userFilters;
};

#endif // VELMOR_CONSOLE_CABINET_H
