#ifndef VELMOR_IPCUSERREGISTERREQUEST_H
#define VELMOR_IPCUSERREGISTERREQUEST_H

#include "velmorwire/deferred.h"
#include "velmorwire/request.h"

#include <QPointer>
#include <QString>

namespace Velmor {

class CabinetRequest;
class ServerPrivate;

// The answer of "registerUser": the account service registers the account, then the account client takes the new
// credentials and the call answers true while the sign-in runs on; a refusal answers the registration's error
// (Error::RegistrationRefused, 33, with the service's reason). Goes as soon as it has answered.
class IPCUserRegisterRequest : public Velmor::Request
{
    Q_OBJECT

public:
    // Starts on the next turn of the event loop, so the caller has its deferred before anything can fire it.
    IPCUserRegisterRequest(const QString &user, const QString &password, Velmor::ServerPrivate *server);
    ~IPCUserRegisterRequest() override;

    Velmor::Deferred deferred() override { return m_deferred; }

private Q_SLOTS:
    void proceed();
    void registrationFinished();

private:
    Q_DISABLE_COPY(IPCUserRegisterRequest)

    Velmor::ServerPrivate *m_server;
    QString m_user;
    QString m_password;
    QPointer<Velmor::CabinetRequest> m_registration;
    Velmor::Deferred m_deferred;
};

} // namespace Velmor

#endif // VELMOR_IPCUSERREGISTERREQUEST_H
