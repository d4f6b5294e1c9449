#include "ipcuserregisterrequest.h"

#include "server_p.h"

#include "cabinet/cabinet.h"

#include <QTimer>

namespace Velmor {

IPCUserRegisterRequest::IPCUserRegisterRequest(const QString &user, const QString &password, ServerPrivate *server)
    : Request(server)
    , m_server(server)
    , m_user(user)
    , m_password(password)
{
    QTimer::singleShot(0, this, &IPCUserRegisterRequest::proceed);
}

IPCUserRegisterRequest::~IPCUserRegisterRequest() = default;

void IPCUserRegisterRequest::proceed()
{
    m_registration = m_server->cabinet->registerUser(m_user, m_password);
    connect(m_registration, &Request::finished, this, &IPCUserRegisterRequest::registrationFinished);
}

void IPCUserRegisterRequest::registrationFinished()
{
    const auto *registration = qobject_cast<const Request *>(sender());
    if (!registration)
        return;
    disconnect(registration, nullptr, this, nullptr);
    deleteLater();
    if (!registration->error().isSuccess()) {
        m_deferred.errback(registration->error());
        return;
    }
    m_server->cabinet->setCredentials(m_user, m_password);
    m_deferred.callback(true);
}

} // namespace Velmor
