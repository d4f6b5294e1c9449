#ifndef VELMOR_CABINET_H
#define VELMOR_CABINET_H

#include "cabinetprofiledata.h"
#include "cabinetrequest.h"

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
#include <QSharedPointer>
#include <QTimer>

namespace Velmor {

class JsonCache;

// The service's client of the user's account: the connection state and its reconnect back-off, the account's
// credentials, and everything the service knows of the account, kept in memory and in an encrypted cache
// between runs. The account operations are carried out by the one implementation, LegacyHttpCabinet.
class Cabinet : public QObject
{
    Q_OBJECT

public:
    using ProfileData = Velmor::CabinetProfileData;

    enum State { Disconnected = 0, Connecting = 1, Connected = 2 };

    explicit Cabinet(QObject *parent = nullptr);
    ~Cabinet() override;

    // New credentials: stored protected, the old account's data dropped and the link started afresh; the account
    // already held keeps its data and its chosen profile, and only reconnects. False, with nothing changed but the
    // activity timer stopped, when they are the held ones and the link is up.
    virtual bool setCredentials(const QString &user, const QString &password);
    virtual void systemInfo() = 0;
    virtual Velmor::CabinetFunction<Velmor::CabinetUserInfo> *userInfo() = 0;
    virtual Velmor::CabinetFunction<Velmor::CabinetProfiles> *profiles() = 0;
    virtual Velmor::CabinetRequest *registerUser(const QString &user, const QString &password) = 0;
    virtual Velmor::CabinetRequest *testAuth(const QString &user, const QString &password) = 0;
    virtual void myIp(QObject *receiver, const char *slot) = 0;
    virtual void categories() = 0;
    virtual Velmor::CabinetUserFilterRequest *userFilter(quint32 profileId) = 0;
    virtual Velmor::CabinetDomainsRequest *domains(quint32 profileId, Velmor::CabinetDomain::Type type) = 0;
    virtual void setFilterCat(quint32 profileId, quint32 categoryId, bool blocked) = 0;
    virtual void clearDomains(quint32 profileId, Velmor::CabinetDomain::Type type) = 0;
    virtual Velmor::CabinetDomainAddRequest *addDomain(
        quint32 profileId, Velmor::CabinetDomain::Type type, const QString &domain, const QHostAddress &address)
        = 0;
    virtual void removeDomain(quint32 profileId, Velmor::CabinetDomain::Type type, quint32 domainId) = 0;
    virtual Velmor::CabinetFunction<Velmor::CabinetProfile> *addProfile(const QString &name) = 0;
    virtual void removeProfile(quint32 profileId) = 0;
    virtual Velmor::CabinetScheduleRequest *schedule(quint32 profileId) = 0;
    virtual void setScheduleEnabled(quint32 profileId, bool enabled) = 0;
    virtual void setSchedule(quint32 profileId, const Velmor::CabinetSchedule &schedule) = 0;
    virtual void setWhiteListOnly(quint32 profileId, bool enabled) = 0;
    virtual void setSafeSearchEnabled(quint32 profileId, bool enabled) = 0;
    virtual Velmor::CabinetProfileActivityRequest *profileScheduleActivity(quint32 profileId) = 0;

    int state() const { return m_state; }
    // Credentials are held that the account service has not refused: kept from an earlier run, or taken by it in
    // this one. Other credentials must then pass a check before they replace these.
    bool isSignedIn() const { return m_credentialsAccepted && !m_user.isEmpty() && !m_password.isEmpty(); }
    const Velmor::Error &lastError() const { return m_lastError; }
    QString user() const { return m_user; }
    QString password() const { return m_password; }
    // The setting "dd-hostname", or "VelmorAgent" when it is missing or empty; read anew at every call.
    QString agentName() const;

    const Velmor::CabinetSystemInfo &cachedSystemInfo() const { return m_systemInfo; }
    const Velmor::CabinetCategories &cachedCategories() const { return m_categories; }
    const Velmor::CabinetUserInfo &cachedUserInfo() const { return m_userInfo; }
    const Velmor::CabinetProfiles &cachedProfiles() const { return m_profiles; }
    QSharedPointer<Velmor::CabinetProfile> selectedProfile() const { return m_selectedProfile; }
    QSharedPointer<Velmor::CabinetProfile> currentProfile() const { return m_currentProfile; }
    QHostAddress ip() const { return m_ip; }

    bool hasProfileData(quint32 profileId) const { return m_profileData.contains(profileId); }
    // Whether the profile applies now by its schedule, as last learnt; true when nothing is held for it.
    bool isProfileActive(quint32 profileId) const;
    Velmor::CabinetSchedule cachedSchedule(quint32 profileId) const;
    Velmor::CabinetUserFilter cachedUserFilter(quint32 profileId) const;
    Velmor::CabinetDomains cachedDomains(quint32 profileId, Velmor::CabinetDomain::Type type) const;
    QHostAddress aliasAddress(const QString &domain) const;
    bool isBlacklisted(const QString &domain) const;
    bool isWhitelisted(const QString &domain) const;
    bool filteredCategories(const Velmor::CabinetUserFilter &categories) const;

    // Selects a profile, or the default one for an id the account does not hold; true when the selection changed.
    bool selectProfile(quint32 profileId);
    // Makes sure the profile has a record and fetches its stale parts.
    void loadProfileData(quint32 profileId);
    void raiseProfileVersion(quint32 profileId, quint32 version);

    // The timers, for those who must see when the next attempt or activity check is due.
    const QTimer &reconnectTimer() const { return m_reconnectTimer; }
    const QTimer &activityTimer() const { return m_activityTimer; }
    quint16 reconnectDelay() const { return m_reconnectDelay; }

public Q_SLOTS:
    virtual void connectToServer() = 0;
    // Null, and nothing sent, when no profile is selected.
    virtual Velmor::CabinetFunction<QHostAddress> *updateIP() = 0;
    void invalidateSettings();

Q_SIGNALS:
    void error();
    void systemInfoChanged();
    void categoriesChanged();
    void stateChanged();
    void credentialsUpdated();
    void selectedProfileChanged();
    void currentProfileChanged();
    void userInfoChanged();
    void profilesChanged();
    void domainsChanged(quint32 profileId, int type);
    void userFilterChanged(quint32 profileId);
    void profileActivityChanged(quint32 profileId, bool active);
    void ipChanged();

protected:
    void setState(int state);
    // They are the held ones and the link is up: setCredentials() changes nothing.
    bool holdsCredentials(const QString &user, const QString &password) const;
    // Holds the error, reports it and retries later with back-off.
    void setError(const Velmor::Error &error);
    // Forgets everything that belongs to the account but the profile chosen for this computer; emits nothing.
    void clear();
    // Writes everything held again, under the store's current key.
    void saveAll();
    void saveProfiles();
    void setUserInfo(const Velmor::CabinetUserInfo &info);
    void updateCurrentProfile();
    void applySelectedProfile();
    ProfileData *profileData(quint32 profileId);
    // Drops a profile and its record, selects again by the selected id and saves the list.
    void dropProfile(quint32 profileId);

protected Q_SLOTS:
    void updateProfileActivity();
    void request_systemInfoFinished();
    void request_categoriesFinished();
    void request_updateNicFinished();
    void request_userInfoFinished();
    void request_profilesFinished();
    void request_profileAddFinished();
    void request_domainsFinished();
    void request_domainAddFinished();
    void request_profileActivityFinished();
    void request_userFilterFinished();
    void request_profileScheduleFinished();

private Q_SLOTS:
    void init();

protected:
    int m_state;
    QString m_user;
    QString m_password;
    Velmor::JsonCache *m_store;
    QHostAddress m_ip;
    Velmor::Error m_lastError;
    Velmor::CabinetSystemInfo m_systemInfo;
    Velmor::CabinetCategories m_categories;
    Velmor::CabinetUserInfo m_userInfo;
    Velmor::CabinetProfiles m_profiles;
    QSharedPointer<Velmor::CabinetProfile> m_selectedProfile;
    QSharedPointer<Velmor::CabinetProfile> m_currentProfile;
    QHash<quint32, ProfileData> m_profileData;
    QTimer m_activityTimer;
    quint16 m_reconnectDelay;
    QTimer m_reconnectTimer;
    bool m_credentialsAccepted;
    // The profile chosen for this computer when the account's data went with a refusal: the same account signing
    // in again gets it back.
    quint32 m_chosenProfileId;

private:
    Q_DISABLE_COPY(Cabinet)
};

} // namespace Velmor

#endif // VELMOR_CABINET_H
