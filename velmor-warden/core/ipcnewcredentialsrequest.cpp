#include "ipcnewcredentialsrequest.h"

#include "server_p.h"

#include "cabinet/cabinet.h"

#include <QTimer>

namespace Velmor {

IPCNewCredentialsRequest::IPCNewCredentialsRequest(
    ServerPrivate *server, qint64 owner, const QString &user, const QString &password)
    : QObject(server)
    , m_server(server)
    , m_owner(owner)
    , m_user(user)
    , m_password(password)
{
    QTimer::singleShot(0, this, &IPCNewCredentialsRequest::proceed);
}

IPCNewCredentialsRequest::~IPCNewCredentialsRequest() = default;

void IPCNewCredentialsRequest::proceed()
{
    Cabinet *cabinet = m_server->cabinet;
    const bool others = m_user != cabinet->user() || m_password != cabinet->password();
    if (!cabinet->isSignedIn() || !others) {
        switchOver();
        return;
    }
    // An empty field cannot be right; the account service is not asked.
    if (m_user.isEmpty() || m_password.isEmpty()) {
        m_deferred.errback(Error(Error::AuthenticationFailed, QString()));
        deleteLater();
        return;
    }
    // A check is a guess at a password like an unlock attempt, and keeps the same pause of the same user.
    const qint64 wait = m_server->unlockThrottle.begin(m_owner, this);
    if (wait != 0) {
        m_deferred.errback(UnlockThrottle::refusal(wait));
        deleteLater();
        return;
    }
    CabinetRequest *check = m_server->cabinet->testAuth(m_user, m_password);
    connect(check, &Request::finished, this, &IPCNewCredentialsRequest::check_finished);
}

void IPCNewCredentialsRequest::check_finished()
{
    const auto *check = qobject_cast<const Request *>(sender());
    const Error failure = check ? check->error() : Error(Error::GeneralFailure, QString());
    if (!failure.isSuccess()) {
        // Only a refusal is a wrong guess; an account service out of reach says nothing of the password, and the
        // check ends when this request goes.
        if (failure.code() == Error::AuthenticationFailed)
            m_server->unlockThrottle.refused(m_owner);
        m_deferred.errback(failure);
        deleteLater();
        return;
    }
    m_server->unlockThrottle.accepted(m_owner);
    switchOver();
}

void IPCNewCredentialsRequest::switchOver()
{
    Cabinet *cabinet = m_server->cabinet;
    if (!cabinet->setCredentials(m_user, m_password)) {
        m_deferred.callback(true);
        finish();
        return;
    }
    // Credentials the client refuses without asking (an empty password) fail before anything is sent; the next
    // POST would clear that error, so it is read now.
    if (!cabinet->lastError().isSuccess()) {
        m_deferred.errback(cabinet->lastError());
        finish();
        return;
    }
    connect(cabinet, &Cabinet::error, this, &IPCNewCredentialsRequest::cabinet_error);
    connect(cabinet, &Cabinet::stateChanged, this, &IPCNewCredentialsRequest::cabinet_stateChanged);
}

void IPCNewCredentialsRequest::cabinet_error()
{
    const Error failure = m_server->cabinet->lastError();
    finish();
    m_deferred.errback(failure);
}

void IPCNewCredentialsRequest::cabinet_stateChanged()
{
    if (m_server->cabinet->state() != Cabinet::Connected)
        return;
    finish();
    m_deferred.callback(true);
}

void IPCNewCredentialsRequest::finish()
{
    disconnect(m_server->cabinet, nullptr, this, nullptr);
    deleteLater();
}

} // namespace Velmor
