#include "legacyhttpcabinet.h"

#include "legacycabinethttprequest.h"

#include "base/servicesettings.h"

#include "velmorwire/json.h"
#include "velmorwire/jsonrpc.h"
#include "velmorwire/jsonrpccall.h"
#include "velmorwire/requestmanager.h"
#include "velmorwire/sysinfo.h"

#include <QAuthenticator>
#include <QDateTime>
#include <QHostInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QUrlQuery>
#include <QtDebug>

#include <utility>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace Velmor {

namespace {

const quint16 errorCodeOffset = 1000;
const quint16 postDeadline = 30;
// How much of a reply that is no JSON-RPC text goes to the log.
const int loggedBodySize = 256;
// A reply this large leaves megabytes of parsed answer freed, which the allocator would otherwise keep: the lists
// of a whole account come in one reply.
const qsizetype largeReplySize = 1024 * 1024;
// Long enough for the calls the reply answered to be released and for the lists it brought to reach the desktops.
const int trimDelay = 1000;

QUrl serviceUrl()
{
    return QUrl::fromUserInput(ServiceSettings().accountServiceBase() + QStringLiteral("/api/json"));
}

// The engine logs a text it cannot read in full; a reply of many megabytes must not go to the log whole. Only
// outlined, not parsed: the engine builds the answer once, and a large one costs tens of megabytes.
bool isJsonRpcReply(const QByteArray &body)
{
    const QString text = QString::fromUtf8(body);
    const Json::Outline outline = Json::outline(text);
    if (!outline.wellFormed || outline.values > Json::DefaultValueBudget)
        return false;
    const QStringView document = QStringView(text).trimmed();
    return document.startsWith(QLatin1Char('{')) || outline.arrayItems > 0;
}

void giveBackFreedHeap()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

} // namespace

LegacyHttpCabinet::LegacyHttpCabinet(QObject *parent)
    : Cabinet(parent)
    , m_firstChallenge(true)
    , m_nam(nullptr)
    , m_jsonrpc(new JsonRPC(this))
{
    qRegisterMetaType<QHostInfo>("QHostInfo");
    m_jsonrpc->setErrorCodeOffset(errorCodeOffset);
    connect(m_jsonrpc, &JsonRPC::outgoingRequestReady, this, &LegacyHttpCabinet::jsonrpc_outgoingReady);
    m_trimTimer.setSingleShot(true);
    m_trimTimer.setInterval(trimDelay);
    connect(&m_trimTimer, &QTimer::timeout, this, giveBackFreedHeap);
    createNetworkManager();
    loadChanges();
}

LegacyHttpCabinet::~LegacyHttpCabinet()
{
    // The engine first: it releases the calls it never sent, and the calls it sent are children of this object.
    delete m_jsonrpc;
    m_jsonrpc = nullptr;
}

void LegacyHttpCabinet::createNetworkManager()
{
    if (m_nam) {
        disconnect(m_nam, nullptr, this, nullptr);
        m_nam->deleteLater();
        m_firstChallenge = true;
    }
    m_nam = new QNetworkAccessManager(this);
    m_nam->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    connect(
        m_nam, &QNetworkAccessManager::authenticationRequired, this, &LegacyHttpCabinet::nam_authenticationRequired);
    connect(m_nam, &QNetworkAccessManager::sslErrors, this, &LegacyHttpCabinet::nam_sslErrors);
}

void LegacyHttpCabinet::abortRequests()
{
    const QList<LegacyCabinetHttpRequest *> requests
        = findChildren<LegacyCabinetHttpRequest *>(QString(), Qt::FindDirectChildrenOnly);
    for (LegacyCabinetHttpRequest *request : requests) {
        if (request->isDone())
            continue;
        disconnect(request, &Request::finished, this, &LegacyHttpCabinet::httpRequestFinished);
        request->requestFinished(Error(Error::NetworkFailure, QStringLiteral("credentials changed")));
    }
    // What those POSTs carried was not seen taken: it goes again, unless another account takes over.
    for (auto it = m_postedChanges.cbegin(); it != m_postedChanges.cend(); ++it)
        keepUnsent(it.value());
    m_postedChanges.clear();
}

bool LegacyHttpCabinet::setCredentials(const QString &user, const QString &password)
{
    // The held credentials again change nothing, and the POSTs in flight are theirs.
    if (holdsCredentials(user, password))
        return Cabinet::setCredentials(user, password);
    // The old account's POSTs end here: their calls fail, and nothing of them reaches the new account's state.
    abortRequests();
    createNetworkManager();
    // The changes belong to the account they were made on.
    if (user != m_user) {
        m_unsentChanges.clear();
        m_queuedChanges.clear();
    }
    const bool changed = Cabinet::setCredentials(user, password);
    // The store was emptied or keyed anew.
    saveChanges();
    return changed;
}

void LegacyHttpCabinet::connectToServer()
{
    setState(Disconnected);
    m_reconnectTimer.stop();
    systemInfo();
    categories();
    invalidateSettings();
}

void LegacyHttpCabinet::jsonrpc_outgoingReady()
{
    if (!m_jsonrpc->hasPendingOutgoingRequest())
        return;
    m_lastError = Error();
    if (m_state == Disconnected)
        setState(Connecting);

    auto *request = new LegacyCabinetHttpRequest(this);
    QUrl url = serviceUrl();
    request->setUrl(url);
    // Before the engine ties its calls to the request, so the body reaches the engine before it fails the calls
    // that the body left unanswered.
    connect(request, &Request::finished, this, &LegacyHttpCabinet::httpRequestFinished);
    const QByteArray body = m_jsonrpc->serializeOutgoingRequest(request).toUtf8();
    if (!m_queuedChanges.isEmpty())
        m_postedChanges.insert(request, std::exchange(m_queuedChanges, {}));
    RequestManager::instance()->insert(request, postDeadline);

    QUrlQuery query;
    query.addQueryItem(QStringLiteral("stamp"), QString::number(QDateTime::currentSecsSinceEpoch()));
    url.setQuery(query);
    request->setUrl(url);

    QNetworkRequest http(url);
    http.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    http.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    http.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    http.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    http.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json; charset=utf-8"));
    http.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
    http.setRawHeader("User-Agent", SysInfo::userAgent());
    http.setRawHeader("Connection", "close");

    QNetworkReply *reply = m_nam->post(http, body);
    if (ServiceSettings().ignoreSslErrors())
        connect(reply, &QNetworkReply::sslErrors, reply, qOverload<>(&QNetworkReply::ignoreSslErrors));
    request->setReply(reply);
}

void LegacyHttpCabinet::httpRequestFinished()
{
    auto *request = qobject_cast<LegacyCabinetHttpRequest *>(sender());
    if (!request)
        return;
    const unsigned int code = request->error().code();
    const QList<Change> carried = m_postedChanges.take(request);
    if (code == 0) {
        m_lastError = Error();
        QNetworkReply *reply = request->reply();
        if (reply && reply->error() == QNetworkReply::NoError && request->url().scheme() == QLatin1String("https"))
            setState(Connected);
        QByteArray body = reply ? reply->readAll() : QByteArray();
        if (!body.isEmpty() && !isJsonRpcReply(body)) {
            qWarning("cabinet reply is no JSON-RPC response: %s", body.left(loggedBodySize).constData());
            body.clear();
            // A page that something on the way answered in the service's place: nothing it carried was taken.
            keepUnsent(carried);
        } else if (!carried.isEmpty()) {
            saveChanges();
        }
        const bool large = body.size() >= largeReplySize;
        m_jsonrpc->incomingContextedResponse(std::move(body), request);
        // From the end of the answer's handling: what it sent on to the desktops goes out meanwhile.
        if (large)
            m_trimTimer.start();
    } else if (code == Error::NetworkFailure) {
        keepUnsent(carried);
        setError(request->error());
    } else if (code == Error::AuthenticationFailed) {
        // Kept for the same account's next sign-in; another account's drops them.
        keepUnsent(carried);
        authenticationFailed();
    }
}

void LegacyHttpCabinet::authenticationFailed()
{
    qWarning("cabinet auth failure");
    m_credentialsAccepted = false;
    clear();
    // The same account's next sign-in still sends the changes that were not taken.
    saveChanges();
    m_lastError = Error(Error::AuthenticationFailed, QLatin1String(""));
    // Refused credentials are not retried: only new ones or a fresh start try again.
    m_reconnectTimer.stop();
    Q_EMIT error();
    setState(Disconnected);
}

void LegacyHttpCabinet::nam_authenticationRequired(QNetworkReply *reply, QAuthenticator *authenticator)
{
    // A challenge answered once and made again refuses the credentials; over anything but https they are never
    // given away. An unanswered challenge ends the POST with AuthenticationRequiredError.
    if (!m_firstChallenge || reply->url().scheme() != QLatin1String("https"))
        return;
    authenticator->setUser(m_user);
    authenticator->setPassword(m_password);
    m_firstChallenge = false;
}

void LegacyHttpCabinet::nam_sslErrors(QNetworkReply *reply, const QList<QSslError> &errors)
{
    Q_UNUSED(reply);
    if (ServiceSettings().ignoreSslErrors())
        return;
    qWarning("SSL Errors:");
    for (const QSslError &failure : errors) {
        qWarning() << int(failure.error()) << failure.errorString()
                   << failure.certificate().issuerInfo(QSslCertificate::CommonName).join(QLatin1String(", "));
    }
}

} // namespace Velmor
