#ifndef VELMOR_DIAGNOSTICS_CHECKTRANSPARENTPROXY_H
#define VELMOR_DIAGNOSTICS_CHECKTRANSPARENTPROXY_H

#include "velmorwire/basetest.h"

#include <QObject>

class QEventLoop;
class QNetworkAccessManager;
class QNetworkReply;

struct TransparentProxyResult : TestResult
{
    // The body of the last successful answer of the address-echo page: the public address the vendor site saw.
    QString myIp;
};

// Fetches the vendor site's address-echo page over http and over https at once and keeps the address it answers.
// A proxy in the way shows as an error or as an answer that is no address.
class CheckTransparentProxy : public base_test
{
public:
    explicit CheckTransparentProxy(TransparentProxyResult *record);

    // Each request's limit without progress, 30 s, so that every report arrives before the desktop gives up on
    // it (120 s); shortened by the tests of a silent site.
    static int transferLimit();
    static void setTransferLimit(int msec);

protected:
    bool test() override;

private:
    friend class CheckTransparentProxyEventHandler;

    TransparentProxyResult *proxyRecord;
    QNetworkAccessManager *manager;
    bool firstReplySeen;
    QEventLoop *loop;
};

class CheckTransparentProxyEventHandler : public QObject
{
    Q_OBJECT

public:
    explicit CheckTransparentProxyEventHandler(CheckTransparentProxy *check);

public Q_SLOTS:
    void finished(QNetworkReply *reply);

private:
    CheckTransparentProxy *check;
};

#endif // VELMOR_DIAGNOSTICS_CHECKTRANSPARENTPROXY_H
