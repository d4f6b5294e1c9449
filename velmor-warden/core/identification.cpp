#include "identification.h"

#include "server_p.h"

#include "base/servicesettings.h"
#include "cabinet/cabinet.h"
#include "dns/dnsproxy.h"
#include "dns/httpserver.h"

namespace Velmor {

namespace {

int storedType()
{
    return ServiceSettings().tokensEnabled() ? Identification::TokenType : Identification::IpType;
}

} // namespace

Identification::Identification(ServerPrivate *server)
    : QObject(nullptr)
    , m_type(storedType())
    , m_pendingType(m_type)
    , m_state(Stopped)
    , m_error(0, QString())
    , m_server(server)
    , m_dnsProxy(new DNSProxy(server->server))
    , m_httpServer(new HttpServer(server->server))
    , m_activationFailed(false)
{
    m_ipTimer.setInterval(ipInterval);
    m_blockPageRetry.setSingleShot(true);
    connect(&m_blockPageRetry, &QTimer::timeout, this, &Identification::blockPageRetry_timeout);
    Cabinet *cabinet = server->cabinet;
    connect(&m_ipTimer, &QTimer::timeout, cabinet, &Cabinet::updateIP);
    connect(cabinet, &Cabinet::error, this, &Identification::cabinet_error);
    connect(cabinet, &Cabinet::profilesChanged, this, &Identification::checkFilterReady);
    connect(cabinet, &Cabinet::userFilterChanged, this, &Identification::checkFilterReady);
    connect(cabinet, &Cabinet::domainsChanged, this, &Identification::checkFilterReady);
    connect(cabinet, &Cabinet::stateChanged, this, &Identification::cabinet_stateChanged);
    connect(cabinet, &Cabinet::currentProfileChanged, this, &Identification::cabinet_currentProfileChanged);
    connect(cabinet, &Cabinet::ipChanged, this, &Identification::checkFilterReady);
    connect(cabinet, &Cabinet::userInfoChanged, this, &Identification::cabinet_userInfoChanged);
    connect(cabinet, &Cabinet::credentialsUpdated, this, &Identification::cabinet_credentialsUpdated);
    connect(server->server, &Server::localDnsProxyAddressChanged, this, &Identification::localDnsProxyAddressChanged);
}

Identification::~Identification() = default;

bool Identification::isTypeReady(int type) const
{
    const Cabinet *cabinet = m_server->cabinet;
    switch (type) {
    case IpType:
        return !cabinet->ip().isNull();
    case TokenType: {
        const QSharedPointer<CabinetProfile> profile = cabinet->selectedProfile();
        return profile && cabinet->hasProfileData(profile->id);
    }
    default:
        return false;
    }
}

void Identification::start()
{
    setType(storedType());
}

void Identification::stop()
{
    deactivate();
    Q_EMIT stateChanged();
}

void Identification::setType(int type)
{
    if (m_state != Stopped && type == m_type) {
        if (m_state == ChangePending) {
            m_pendingType = m_type;
            m_state = Running;
            clearError();
            Q_EMIT stateChanged();
        }
        return;
    }
    if (m_state == ChangePending && type == m_pendingType)
        return;
    clearError();

    if (isTypeReady(type)) {
        // The old mode ends before the new one starts: no proxy or timer of a mode that no longer runs.
        endActivity();
        m_type = type;
        m_pendingType = type;
        activate();
        Q_EMIT typeChanged();
        return;
    }
    switch (m_state) {
    case Stopped:
        m_type = type;
        m_pendingType = type;
        m_state = NotReady;
        Q_EMIT stateChanged();
        break;
    case Running:
        m_pendingType = type;
        m_state = ChangePending;
        Q_EMIT stateChanged();
        break;
    case NotReady:
        // The user's latest choice is the one that waits; what a lost mode left running goes.
        endActivity();
        m_type = type;
        m_pendingType = type;
        Q_EMIT typeChanged();
        break;
    default:
        break;
    }
    if (type == IpType)
        requestIp();
}

void Identification::checkFilterReady()
{
    if (m_state == Stopped)
        return;
    const int relevant = m_state == ChangePending ? m_pendingType : m_type;
    if (isTypeReady(relevant)) {
        if (m_state == NotReady) {
            activate();
        } else if (m_state == ChangePending) {
            endActivity();
            m_type = m_pendingType;
            activate();
            Q_EMIT typeChanged();
        }
        return;
    }
    if (m_state != Running)
        return;
    Error failure = m_server->cabinet->lastError();
    if (failure.isSuccess())
        failure = Error(Error::GeneralFailure, QStringLiteral("filter is not ready"));
    setError(failure);
    m_state = NotReady;
    Q_EMIT stateChanged();
}

void Identification::cabinet_error()
{
    if (m_state != NotReady && m_state != ChangePending)
        return;
    const int relevant = m_state == ChangePending ? m_pendingType : m_type;
    const Error failure = m_server->cabinet->lastError();
    if ((relevant == IpType && failure.code() == Error::AddressRefused)
        || failure.code() == Error::AuthenticationFailed) {
        setError(failure);
        m_ipTimer.stop();
    }
}

void Identification::cabinet_stateChanged()
{
    switch (m_server->cabinet->state()) {
    case Cabinet::Connected:
        checkFilterReady();
        break;
    case Cabinet::Disconnected:
        if (m_state == Running && !isTypeReady(m_type)) {
            m_state = NotReady;
            Q_EMIT stateChanged();
        }
        break;
    default:
        break;
    }
}

void Identification::cabinet_currentProfileChanged()
{
    if (m_state != Stopped) {
        const QSharedPointer<CabinetProfile> current = m_server->cabinet->currentProfile();
        const int relevant = m_state == ChangePending ? m_pendingType : m_type;
        if (current && current->id != 0 && relevant == IpType)
            requestIp();
    }
    checkFilterReady();
}

void Identification::cabinet_userInfoChanged()
{
    const QString plan = m_server->cabinet->cachedUserInfo().planCode;
    const QString free = QStringLiteral("FREE");
    if (plan == free && !m_lastPlanCode.isEmpty() && m_lastPlanCode != free) {
        // A stopped server only remembers the choice; its next start brings the mode up.
        if (m_server->state == ServerPrivate::Running)
            setType(TokenType);
        ServiceSettings().setTokensEnabled(true);
    }
    if (!plan.isEmpty())
        m_lastPlanCode = plan;
}

void Identification::cabinet_credentialsUpdated()
{
    // New credentials while the server is stopped (a desktop connection outlives a stop) wait for its next start.
    if (m_server->state == ServerPrivate::Running)
        start();
}

void Identification::localDnsProxyAddressChanged()
{
    // Elsewhere the address is only stored: the next activation reads it.
    if (m_server->state != ServerPrivate::Running || m_type != TokenType)
        return;
    if (m_state == Stopped) {
        retryActivation();
        return;
    }
    if (m_state == NotReady || !m_dnsProxy->isListening())
        return;
    m_dnsProxy->stop();
    if (!m_dnsProxy->start()) {
        // Known before the state changes, so whoever reacts to it sees why.
        m_activationFailed = true;
        setError(Error(Error::GeneralFailure, m_dnsProxy->errorString()));
    }
}

void Identification::retryActivation()
{
    if (m_server->state == ServerPrivate::Running && m_state == Stopped && m_activationFailed && isTypeReady(m_type))
        activate();
}

void Identification::setError(const Error &failure)
{
    m_error = Error(failure.code(), failure.message());
    if (failure.isSuccess())
        return;
    if (m_state == ChangePending)
        m_type = m_pendingType;
    if (m_state != Stopped) {
        // Nothing runs on identification's behalf while it is stopped.
        endActivity();
        m_state = Stopped;
        Q_EMIT stateChanged();
    }
    Q_EMIT error();
}

void Identification::clearError()
{
    m_error = Error();
    m_activationFailed = false;
}

bool Identification::activate()
{
    if (m_type == TokenType) {
        // The proxy is what keeps DNS filtered: it runs whatever happens to the block page, whose port another
        // program may hold for a while.
        if (!m_dnsProxy->start()) {
            m_activationFailed = true;
            setError(Error(Error::GeneralFailure, m_dnsProxy->errorString()));
            return false;
        }
        startBlockPage();
    }
    m_activationFailed = false;
    if (m_state != Running) {
        m_state = Running;
        clearError();
        Q_EMIT stateChanged();
    }
    if (m_type == IpType) {
        requestIp();
        m_ipTimer.start();
    }
    return true;
}

void Identification::deactivate()
{
    endActivity();
    m_activationFailed = false;
    if (m_state == Stopped)
        return;
    m_state = Stopped;
    Q_EMIT stateChanged();
}

void Identification::startBlockPage()
{
    if (m_httpServer->start()) {
        m_blockPageRetryMs = firstBlockPageRetryMs;
        return;
    }
    // Tried again less and less often, so a port held for good costs the log a few lines a day.
    m_blockPageRetry.start(m_blockPageRetryMs);
    m_blockPageRetryMs = qMin(m_blockPageRetryMs * 2, lastBlockPageRetryMs);
}

void Identification::blockPageRetry_timeout()
{
    if (m_state == Running && m_type == TokenType && m_dnsProxy->isListening())
        startBlockPage();
}

void Identification::endActivity()
{
    m_blockPageRetry.stop();
    m_blockPageRetryMs = firstBlockPageRetryMs;
    m_ipTimer.stop();
    m_httpServer->close();
    m_dnsProxy->stop();
}

void Identification::requestIp()
{
    m_server->cabinet->updateIP();
}

} // namespace Velmor
