#ifndef VELMOR_LEGACYHTTPCABINET_H
#define VELMOR_LEGACYHTTPCABINET_H

#include "cabinet.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QSslError>
#include <QTimer>

class QAuthenticator;
class QNetworkAccessManager;
class QNetworkReply;

namespace Velmor {

class JsonRPC;
class JsonRPCCall;
class LegacyCabinetHttpRequest;
class LegacyCabinetTestAuthRequest;

// The account client over JSON-RPC 2.0 and HTTPS: everything queued in one turn of the event loop goes to the
// account service in one POST to "<www>/api/json", and the reply answers the calls it carried.
class LegacyHttpCabinet : public Velmor::Cabinet
{
    Q_OBJECT

public:
    explicit LegacyHttpCabinet(QObject *parent = nullptr);
    ~LegacyHttpCabinet() override;

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

public Q_SLOTS:
    void connectToServer() override;
    Velmor::CabinetFunction<QHostAddress> *updateIP() override;

private Q_SLOTS:
    void nam_authenticationRequired(QNetworkReply *reply, QAuthenticator *authenticator);
    void nam_sslErrors(QNetworkReply *reply, const QList<QSslError> &errors);
    void jsonrpc_outgoingReady();
    void httpRequestFinished();
    void sendNextPasswordCheck();
    void passwordCheckFinished();

private:
    Q_DISABLE_COPY(LegacyHttpCabinet)

    void createNetworkManager();
    // Ends every POST still in flight without letting its outcome reach the state, the error or the back-off.
    void abortRequests();
    // A refused authentication, however the POST came to end with it.
    void authenticationFailed();
    // Queues the call and ties the request to it: the request finishes from the call's answer and reaches the
    // slot given, and both are released once the request's receivers have run.
    template<typename RequestType>
    RequestType *send(
        const char *method, const QVariantList &params, RequestType *request, void (Cabinet::*finished)());
    void notify(const char *method, const QVariantList &params);
    // Queues again every change the account service has not taken, ahead of anything newer, so that it sees them
    // in the order they were made.
    void resendChanges();

    struct PasswordCheck
    {
        QString user;
        QString password;
        QPointer<Velmor::LegacyCabinetTestAuthRequest> request;
    };

    // A change of the account's settings (a notification: nothing answers it) as it was sent.
    struct Change
    {
        quint64 serial;
        QByteArray method;
        QVariantList params;
    };
    // Takes back the changes of POSTs that were not answered.
    void keepUnsent(const QList<Change> &changes);
    // Every change not seen taken, kept in the store, so a restart during an outage loses none of them.
    void saveChanges();
    void loadChanges();

    // Changes the account service has not taken yet: kept, and sent again with the next POST, until one carrying
    // them is answered. Those queued for the next POST, and those of each POST under way.
    QList<Change> m_unsentChanges;
    QList<Change> m_queuedChanges;
    QHash<QObject *, QList<Change>> m_postedChanges;
    quint64 m_changeSerial = 0;
    bool m_firstChallenge;
    QList<PasswordCheck> m_passwordChecks;
    QPointer<Velmor::LegacyCabinetTestAuthRequest> m_passwordCheckInFlight;
    QNetworkAccessManager *m_nam;
    Velmor::JsonRPC *m_jsonrpc;
    // Gives the heap that a large reply's parsing freed back to the system once the replies have quietened.
    QTimer m_trimTimer;
};

} // namespace Velmor

#endif // VELMOR_LEGACYHTTPCABINET_H
