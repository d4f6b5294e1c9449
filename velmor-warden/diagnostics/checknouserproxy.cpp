#include "checknouserproxy.h"

#include <QNetworkProxyFactory>

bool CheckNoUserProxy::test()
{
    QList<QNetworkProxy> proxies = QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery());
    proxies.removeIf([](const QNetworkProxy &proxy) { return proxy.type() == QNetworkProxy::NoProxy; });
    if (proxies.isEmpty()) {
        log += QLatin1String("There are no proxy in system setings\n");
        return true;
    }
    for (const QNetworkProxy &proxy : std::as_const(proxies))
        log += QStringLiteral("Proxy in user setings Type:%1 Name:%2\n")
                   .arg(QString::number(int(proxy.type())), proxy.hostName());
    return false;
}
