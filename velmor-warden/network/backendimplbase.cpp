#include "backendimplbase.h"

namespace Velmor {
namespace Private {

BackendImplBase::BackendImplBase(QObject *parent)
    : QObject(parent)
{ }

BackendImplBase::~BackendImplBase() = default;

bool BackendImplBase::start()
{
    return true;
}

bool BackendImplBase::stop()
{
    return true;
}

QList<Network> BackendImplBase::networks()
{
    return QList<Network>();
}

bool BackendImplBase::setOriginalDns(const QString &id, const HostList &servers)
{
    Q_UNUSED(id);
    Q_UNUSED(servers);
    return true;
}

HostList BackendImplBase::originalDns(const QString &id) const
{
    Q_UNUSED(id);
    return HostList();
}

bool BackendImplBase::setProtection(const QString &id, bool on)
{
    Q_UNUSED(id);
    Q_UNUSED(on);
    setLastError(Error(Error::NotSupported, QStringLiteral("setProtection is not supported by backend")));
    return true;
}

bool BackendImplBase::apply(const QHostAddress &active)
{
    Q_UNUSED(active);
    return true;
}

QString BackendImplBase::defaultRouteId() const
{
    return QString();
}

void BackendImplBase::setLastError(const Error &error)
{
    m_lastError = error;
}

void BackendImplBase::unsetError()
{
    m_lastError = Error();
}

} // namespace Private
} // namespace Velmor
