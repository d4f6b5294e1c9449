#ifndef VELMOR_LEGACYCABINETHTTPREQUEST_H
#define VELMOR_LEGACYCABINETHTTPREQUEST_H

#include "velmorwire/request.h"

#include <QPointer>
#include <QUrl>

class QNetworkReply;

namespace Velmor {

class LegacyHttpCabinet;

// One POST to the account service in flight. It finishes once: with the reply's outcome, or with
// Error::NetworkFailure when it is finished before the reply (its deadline, new credentials), which aborts the reply.
class LegacyCabinetHttpRequest : public Velmor::Request
{
    Q_OBJECT

public:
    // A reply body larger than this ends the POST before it is read whole.
    static const qint64 maximumReplySize;

    explicit LegacyCabinetHttpRequest(Velmor::LegacyHttpCabinet *cabinet);
    ~LegacyCabinetHttpRequest() override;

    void requestFinished(const Velmor::Error &error) override;

    void setReply(QNetworkReply *reply);
    QNetworkReply *reply() const;
    QUrl url() const { return m_url; }
    void setUrl(const QUrl &url) { m_url = url; }
    bool isDone() const { return m_done; }

private Q_SLOTS:
    void replyFinished();
    void reply_metaDataChanged();
    void reply_readyRead();

private:
    Q_DISABLE_COPY(LegacyCabinetHttpRequest)

    void abortOversized();

    bool m_replied;
    QUrl m_url;
    QPointer<QNetworkReply> m_reply;
    bool m_done;
    bool m_oversized;
};

} // namespace Velmor

#endif // VELMOR_LEGACYCABINETHTTPREQUEST_H
