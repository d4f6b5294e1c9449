#ifndef VELMOR_TOOLS_STATICSERVERSTATE_H
#define VELMOR_TOOLS_STATICSERVERSTATE_H

#include "base/serverstate.h"

#include <QHostAddress>

namespace Velmor {

// A server state set by hand: what the DNS proxy and the block page read, without identification behind it.
// The host program and the tests drive the DNS parts with it.
class StaticServerState : public ServerState
{
    Q_OBJECT

public:
    explicit StaticServerState(QObject *parent = nullptr);

    QHostAddress activeProxyAddress() const override;
    QHostAddress localDnsProxyAddress(bool raw = false) const override;
    quint16 localDnsProxyPort() const override { return localPort; }
    const QHostAddress &upstreamProxyAddress() const override { return upstreamAddress; }
    quint16 upstreamProxyPort() const override { return upstreamPort; }
    int identificationType() const override { return 1; }
    bool useLocalDnsProxy() const override { return true; }
    bool isIdentified() const override { return true; }
    bool isGlobalFilteringEnabled() const override { return true; }
    quint32 profileToken() const override { return token; }

    QHostAddress localAddress = QHostAddress(QHostAddress::LocalHost);
    quint16 localPort = 53;
    QHostAddress upstreamAddress;
    quint16 upstreamPort = 53;
    quint32 token = 0;
};

// "address:port" with a strict dotted quad and a port of 1 to 65535 (0 where allowZeroPort).
bool parseEndpoint(const QString &text, QHostAddress *address, quint16 *port, bool allowZeroPort = false);

} // namespace Velmor

#endif // VELMOR_TOOLS_STATICSERVERSTATE_H
