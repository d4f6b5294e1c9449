#ifndef VELMOR_IDENTIFICATION_H
#define VELMOR_IDENTIFICATION_H

#include "velmorwire/error.h"

#include <QObject>
#include <QString>
#include <QTimer>

namespace Velmor {

class DNSProxy;
class HttpServer;
class ServerPrivate;

// Tells the filtering service whose queries it sees. By IP address: the account learns the computer's public
// address ("updateNic", at once and every five minutes) and the connections point at the resolver. By token: the
// local DNS proxy adds the selected profile's token to every query, the block-page responder to the block page,
// and the connections point at the proxy. A switch asked while a mode runs waits until the new mode is ready.
class Identification : public QObject
{
    Q_OBJECT

public:
    enum Type { IpType = 0, TokenType = 1 };
    enum State { Stopped = 0, NotReady = 1, ChangePending = 2, Running = 3 };

    static constexpr int ipInterval = 300000;
    // A block page that cannot listen is tried again after these, doubling from the first to the last.
    static constexpr int firstBlockPageRetryMs = 5000;
    static constexpr int lastBlockPageRetryMs = 3600000;

    explicit Identification(Velmor::ServerPrivate *server);
    ~Identification() override;

    // The mode that runs or is being brought up, and the one asked for while a change is pending.
    int type() const { return m_type; }
    int pendingType() const { return m_pendingType; }
    int state() const { return m_state; }
    // The last failure; a success when there is none.
    Velmor::Error lastError() const { return m_error; }

    // Asks for a mode: at once when it is ready, else once it is.
    void setType(int type);
    bool isTypeReady(int type) const;
    // Token mode is ready but stopped because the proxy could not listen on its address.
    bool isWaitingForProxy() const { return m_state == Stopped && m_activationFailed && m_type == TokenType; }
    // Brings up the mode that waits for its proxy, where the server runs; the same failure again otherwise.
    void retryActivation();

    Velmor::DNSProxy *dnsProxy() const { return m_dnsProxy; }
    Velmor::HttpServer *httpServer() const { return m_httpServer; }
    const QTimer &ipTimer() const { return m_ipTimer; }

Q_SIGNALS:
    void error();
    void stateChanged();
    void typeChanged();

public Q_SLOTS:
    // Brings up the mode of "tokens-enabled".
    void start();
    // Ends whatever runs on identification's behalf; stateChanged() follows in every case.
    void stop();

private Q_SLOTS:
    void checkFilterReady();
    void cabinet_error();
    void cabinet_stateChanged();
    void cabinet_currentProfileChanged();
    void cabinet_userInfoChanged();
    void cabinet_credentialsUpdated();
    void localDnsProxyAddressChanged();
    void blockPageRetry_timeout();

private:
    Q_DISABLE_COPY(Identification)

    void setState(int state);
    void setError(const Velmor::Error &error);
    void clearError();
    bool activate();
    void deactivate();
    // Closes the redirector, stops the proxy and the timers: nothing of a mode left behind.
    void endActivity();
    void requestIp();
    void startBlockPage();

    int m_type;
    int m_pendingType;
    int m_state;
    Velmor::Error m_error;
    Velmor::ServerPrivate *m_server;
    Velmor::DNSProxy *m_dnsProxy;
    Velmor::HttpServer *m_httpServer;
    QTimer m_ipTimer;
    QTimer m_blockPageRetry;
    int m_blockPageRetryMs = firstBlockPageRetryMs;
    QString m_lastPlanCode;
    // The last activation failed (the proxy or the redirector could not listen): a new proxy address retries it.
    bool m_activationFailed;
};

} // namespace Velmor

#endif // VELMOR_IDENTIFICATION_H
