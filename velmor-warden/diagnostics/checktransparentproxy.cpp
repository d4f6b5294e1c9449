#include "checktransparentproxy.h"

#include "velmorwire/vendorsite.h"

#include <QAtomicInt>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>

namespace {

QAtomicInt limit(30000);

QNetworkRequest echoRequest(const QString &scheme)
{
    QNetworkRequest request(Velmor::vendorSiteUrl(scheme, QStringLiteral("/nic/myip")));
    // As the check was written: a redirect is an answer of its own, and HTTP/1.1 is spoken.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setTransferTimeout(CheckTransparentProxy::transferLimit());
    return request;
}

} // namespace

CheckTransparentProxy::CheckTransparentProxy(TransparentProxyResult *record)
    : base_test(record)
    , proxyRecord(record)
    , manager(nullptr)
    , firstReplySeen(false)
    , loop(nullptr)
{
    outcome = true;
}

int CheckTransparentProxy::transferLimit()
{
    return limit.loadRelaxed();
}

void CheckTransparentProxy::setTransferLimit(int msec)
{
    limit.storeRelaxed(msec);
}

bool CheckTransparentProxy::test()
{
    loop = new QEventLoop;
    manager = new QNetworkAccessManager;
    auto *handler = new CheckTransparentProxyEventHandler(this);
    QObject::connect(manager, &QNetworkAccessManager::finished, handler, &CheckTransparentProxyEventHandler::finished);
    manager->get(echoRequest(QStringLiteral("http")));
    manager->get(echoRequest(QStringLiteral("https")));
    loop->exec();
    delete manager;
    manager = nullptr;
    delete handler;
    delete loop;
    loop = nullptr;
    return outcome;
}

CheckTransparentProxyEventHandler::CheckTransparentProxyEventHandler(CheckTransparentProxy *check)
    : check(check)
{ }

void CheckTransparentProxyEventHandler::finished(QNetworkReply *reply)
{
    const QString url = reply->request().url().toString();
    if (reply->error() != QNetworkReply::NoError) {
        check->log += url + QLatin1Char(':') + reply->errorString() + QLatin1Char('\n');
        check->outcome = false;
    } else {
        const QByteArray body = reply->readAll();
        check->proxyRecord->myIp = QString::fromLatin1(body.constData());
        check->log += url + QLatin1Char(':') + check->proxyRecord->myIp + QLatin1Char('\n');
    }
    if (!check->firstReplySeen) {
        check->firstReplySeen = true;
        return;
    }
    check->loop->quit();
    static const QRegularExpression notAddress(QStringLiteral("[^\\d.]"));
    const QString &myIp = check->proxyRecord->myIp;
    if (myIp.isEmpty() || myIp.contains(notAddress)) {
        check->log += QLatin1String("Could not get IP address\n");
        check->outcome = false;
    }
}
