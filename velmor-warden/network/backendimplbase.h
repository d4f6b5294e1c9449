#ifndef VELMOR_BACKENDIMPLBASE_H
#define VELMOR_BACKENDIMPLBASE_H

#include "velmorwire/error.h"
#include "velmorwire/hostlist.h"
#include "velmorwire/network.h"

#include <QHostAddress>
#include <QObject>

namespace Velmor {
namespace Private {

// What the backend front asks of the operating system's network configuration. The defaults do nothing.
class BackendImplBase : public QObject
{
    Q_OBJECT
public:
    explicit BackendImplBase(QObject *parent = nullptr);
    ~BackendImplBase() override;

    virtual bool start();
    virtual bool stop();
    virtual QList<Network> networks();
    virtual bool setOriginalDns(const QString &id, const HostList &servers);
    virtual HostList originalDns(const QString &id) const;
    // Sets Error::NotSupported and still answers true, so the front remembers the choice.
    virtual bool setProtection(const QString &id, bool on);
    // Brings the adapters in line with active, the address protected adapters must use (null: none).
    virtual bool apply(const QHostAddress &active);
    // The id of the adapter that carries the IPv4 default route, empty when there is none.
    virtual QString defaultRouteId() const;

    // The reason of the last failure, kept until unsetError(); some operations leave one and still succeed.
    Error lastError() const { return m_lastError; }
    void unsetError();

Q_SIGNALS:
    void configurationChanged();
    void protectionChanged(const QString &id, bool on);

protected:
    void setLastError(const Error &error);

private:
    Q_DISABLE_COPY(BackendImplBase)

    Error m_lastError;
};

} // namespace Private
} // namespace Velmor

#endif // VELMOR_BACKENDIMPLBASE_H
