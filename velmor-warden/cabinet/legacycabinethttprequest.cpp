#include "legacycabinethttprequest.h"

#include "cabinet.h"
#include "legacyhttpcabinet.h"

#include <QNetworkReply>

namespace Velmor {

const qint64 LegacyCabinetHttpRequest::maximumReplySize = 64 * 1024 * 1024;

LegacyCabinetHttpRequest::LegacyCabinetHttpRequest(LegacyHttpCabinet *cabinet)
    : Request(cabinet)
    , m_replied(false)
    , m_done(false)
    , m_oversized(false)
{ }

LegacyCabinetHttpRequest::~LegacyCabinetHttpRequest()
{
    if (m_reply)
        m_reply->deleteLater();
}

QNetworkReply *LegacyCabinetHttpRequest::reply() const
{
    return m_reply.data();
}

void LegacyCabinetHttpRequest::setReply(QNetworkReply *reply)
{
    m_reply = reply;
    connect(reply, &QNetworkReply::metaDataChanged, this, &LegacyCabinetHttpRequest::reply_metaDataChanged);
    connect(reply, &QIODevice::readyRead, this, &LegacyCabinetHttpRequest::reply_readyRead);
    connect(reply, &QNetworkReply::finished, this, &LegacyCabinetHttpRequest::replyFinished);
}

void LegacyCabinetHttpRequest::abortOversized()
{
    m_oversized = true;
    m_reply->abort();
}

void LegacyCabinetHttpRequest::reply_metaDataChanged()
{
    if (m_oversized || !m_reply)
        return;
    bool known = false;
    const qint64 announced = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
    if (known && announced > maximumReplySize)
        abortOversized();
}

void LegacyCabinetHttpRequest::reply_readyRead()
{
    if (!m_oversized && m_reply && m_reply->bytesAvailable() > maximumReplySize)
        abortOversized();
}

void LegacyCabinetHttpRequest::replyFinished()
{
    if (!m_reply)
        return;
    m_replied = true;
    const QNetworkReply::NetworkError failure = m_reply->error();
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (m_oversized) {
        const QString text = QStringLiteral("Reply body larger than %1 bytes").arg(maximumReplySize);
        qWarning("cabinet request failed: %s", qPrintable(text));
        requestFinished(Error(Error::NetworkFailure, text));
    } else if (failure == QNetworkReply::AuthenticationRequiredError) {
        requestFinished(Error(Error::AuthenticationFailed, QLatin1String("")));
    } else if (failure != QNetworkReply::NoError) {
        const QString text = m_reply->errorString();
        requestFinished(Error(Error::NetworkFailure, text));
        qWarning("cabinet request failed: %s", text.toLocal8Bit().constData());
    } else if (status >= 300 && status < 400) {
        // The redirect is not followed: the account service's address is configured, and a body must not go to
        // whichever host a redirect names.
        const QString text
            = QStringLiteral("Unexpected redirect (HTTP %1) to %2")
                  .arg(status)
                  .arg(m_reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl().toString());
        requestFinished(Error(Error::NetworkFailure, text));
        qWarning("cabinet request failed: %s", text.toLocal8Bit().constData());
    } else {
        requestFinished(Error());
    }
}

void LegacyCabinetHttpRequest::requestFinished(const Error &error)
{
    if (m_done)
        return;
    m_done = true;
    if (m_replied) {
        Request::requestFinished(error);
        return;
    }
    const QString reason = QStringLiteral("%1: %2")
                               .arg(error.code())
                               .arg(error.message().isEmpty() ? QStringLiteral("<no message>") : error.message());
    qWarning("cabinet request abort with reason: %s", qPrintable(reason));
    if (m_reply) {
        disconnect(m_reply, nullptr, this, nullptr);
        m_reply->abort();
    }
    Request::requestFinished(Error(Error::NetworkFailure,
        error.code() == Error::Timeout ? QStringLiteral("request timeout") : QStringLiteral("unknown error")));
}

} // namespace Velmor
