#ifndef VELMOR_IPCNEWCREDENTIALSREQUEST_H
#define VELMOR_IPCNEWCREDENTIALSREQUEST_H

#include "velmorwire/deferred.h"

#include <QObject>
#include <QString>

namespace Velmor {

class ServerPrivate;

// The answer of "setCredentials": true once the account client is connected with the new credentials (or at once
// when they are the ones in use), else the account client's first error. While the service is signed in, other
// credentials are first checked with the account service: a refusal or a network failure answers with its error
// and replaces nothing, so one typo or an outage never takes the filtering down. Goes as soon as it has answered.
class IPCNewCredentialsRequest : public QObject
{
    Q_OBJECT

public:
    // Starts on the next turn of the event loop, so the caller has its deferred before anything can fire it.
    // The owner is the local user of the asking connection's peer, whose password pause the check keeps.
    IPCNewCredentialsRequest(Velmor::ServerPrivate *server, qint64 owner, const QString &user, const QString &password);
    ~IPCNewCredentialsRequest() override;

    Velmor::Deferred deferred() const { return m_deferred; }

private Q_SLOTS:
    void proceed();
    void check_finished();
    void cabinet_error();
    void cabinet_stateChanged();

private:
    Q_DISABLE_COPY(IPCNewCredentialsRequest)

    void switchOver();
    void finish();

    Velmor::ServerPrivate *m_server;
    qint64 m_owner;
    QString m_user;
    QString m_password;
    Velmor::Deferred m_deferred;
};

} // namespace Velmor

#endif // VELMOR_IPCNEWCREDENTIALSREQUEST_H
