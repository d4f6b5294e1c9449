#ifndef VELMOR_SERVERSTATE_H
#define VELMOR_SERVERSTATE_H

#include <QHostAddress>
#include <QObject>

namespace Velmor {

// What the network configuration and the DNS parts read of the server. The server implements it; tests give a
// scripted one. Every accessor runs on the main thread.
class ServerState : public QObject
{
    Q_OBJECT
public:
    explicit ServerState(QObject *parent = nullptr);
    ~ServerState() override;

    // The address protected adapters must use: null unless identification is ready and filtering is on; then the
    // local proxy (the any-address as 127.0.0.1) by token, or the filtering resolver by IP.
    virtual QHostAddress activeProxyAddress() const = 0;
    // The host part of "localproxy-addr"; unless raw, the any-address is given as 127.0.0.1.
    virtual QHostAddress localDnsProxyAddress(bool raw = false) const = 0;
    virtual quint16 localDnsProxyPort() const = 0;
    // The filtering resolver of "vyrproxy-addr", as read when the server started.
    virtual const QHostAddress &upstreamProxyAddress() const = 0;
    virtual quint16 upstreamProxyPort() const = 0;
    // 0 by IP address, 1 by token.
    virtual int identificationType() const = 0;
    virtual bool useLocalDnsProxy() const = 0;
    virtual bool isIdentified() const = 0;
    virtual bool isGlobalFilteringEnabled() const = 0;
    // The selected profile's token, 0 when none is selected.
    virtual quint32 profileToken() const = 0;

Q_SIGNALS:
    void activeProxyChanged();

private:
    Q_DISABLE_COPY(ServerState)
};

} // namespace Velmor

#endif // VELMOR_SERVERSTATE_H
