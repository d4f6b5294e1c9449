#ifndef VELMOR_TESTS_SCRIPTEDCABINET_H
#define VELMOR_TESTS_SCRIPTEDCABINET_H

#include "cabinet/cabinet.h"

#include <QList>
#include <QPointer>
#include <QStringList>

namespace WardenTest {

// An account client that sends nothing: every operation is recorded by name, and the operations that return a
// request leave it pending for the test to finish. The held account data is set directly.
class ScriptedCabinet : public Velmor::Cabinet
{
    Q_OBJECT

public:
    ScriptedCabinet();
    ~ScriptedCabinet() override;

    // The operations called, oldest first, each as its name.
    QStringList calls;

    // Profiles 1..count (1 the default), each with token 100 + id; data records for those in withData.
    void holdProfiles(int count, const QList<quint32> &withData = {});
    void holdProfileData(quint32 profileId, bool active = true);
    void dropProfileData(quint32 profileId);
    void setIp(const QHostAddress &address);
    void setUserPlan(const QString &planCode);
    void setHeldCredentials(const QString &user, const QString &password);
    void holdDomains(quint32 profileId, Velmor::CabinetDomain::Type type, int count);
    // Holds the error and emits error(), as a failed POST does (without the reconnect back-off).
    void fail(unsigned int code, const QString &message = QString());
    void clearError();
    void moveToState(int state);

    // The last pending request of an operation, or null.
    Velmor::CabinetRequest *pending(const QString &operation) const;
    // Finishes it with the error; null when there is none.
    bool finish(const QString &operation, const Velmor::Error &error = Velmor::Error());
    // Requests made and not yet released.
    int liveRequests() const;
    // Releases every pending request unfinished.
    void releaseRequests();

    bool setCredentials(const QString &user, const QString &password) override;
    void systemInfo() override;
    Velmor::CabinetFunction<Velmor::CabinetUserInfo> *userInfo() override;
    Velmor::CabinetFunction<Velmor::CabinetProfiles> *profiles() override;
    Velmor::CabinetRequest *registerUser(const QString &user, const QString &password) override;
    Velmor::CabinetRequest *testAuth(const QString &user, const QString &password) override;
    void myIp(QObject *receiver, const char *slot) override;
    void categories() override;
    Velmor::CabinetUserFilterRequest *userFilter(quint32 profileId) override;
    Velmor::CabinetDomainsRequest *domains(quint32 profileId, Velmor::CabinetDomain::Type type) override;
    void setFilterCat(quint32 profileId, quint32 categoryId, bool blocked) override;
    void clearDomains(quint32 profileId, Velmor::CabinetDomain::Type type) override;
    Velmor::CabinetDomainAddRequest *addDomain(quint32 profileId, Velmor::CabinetDomain::Type type,
        const QString &domain, const QHostAddress &address) override;
    void removeDomain(quint32 profileId, Velmor::CabinetDomain::Type type, quint32 domainId) override;
    Velmor::CabinetFunction<Velmor::CabinetProfile> *addProfile(const QString &name) override;
    void removeProfile(quint32 profileId) override;
    Velmor::CabinetScheduleRequest *schedule(quint32 profileId) override;
    void setScheduleEnabled(quint32 profileId, bool enabled) override;
    void setSchedule(quint32 profileId, const Velmor::CabinetSchedule &schedule) override;
    void setWhiteListOnly(quint32 profileId, bool enabled) override;
    void setSafeSearchEnabled(quint32 profileId, bool enabled) override;
    Velmor::CabinetProfileActivityRequest *profileScheduleActivity(quint32 profileId) override;

    using Velmor::Cabinet::profileData;

public Q_SLOTS:
    void connectToServer() override;
    Velmor::CabinetFunction<QHostAddress> *updateIP() override;

private:
    template<typename RequestType>
    RequestType *keep(const QString &operation, RequestType *request);

    QList<QPointer<Velmor::CabinetRequest>> m_requests;
    QStringList m_requestNames;
};

} // namespace WardenTest

#endif // VELMOR_TESTS_SCRIPTEDCABINET_H
