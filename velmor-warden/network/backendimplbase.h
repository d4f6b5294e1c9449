#ifndef VELMOR_BACKENDIMPLBASE_H
#define VELMOR_BACKENDIMPLBASE_H

#include "velmorwire/error.h"
#include "velmorwire/hostlist.h"
#include "velmorwire/network.h"

#include <QObject>

namespace Velmor {

class Backend;

namespace Private {

// What the backend front asks of the operating system's network configuration. The defaults do nothing.
class BackendImplBase : public QObject
{
    Q_OBJECT
public:
    explicit BackendImplBase(QObject *parent = nullptr);
    ~BackendImplBase() override;

    // The front that owns this; set by the front right after construction. "The last error" below is its.
    Backend *backend = nullptr;

    virtual bool start();
    virtual bool stop();
    virtual QList<Network> networks();
    virtual bool setOriginalDns(const QString &id, const HostList &servers);
    virtual HostList originalDns(const QString &id) const;
    // Sets error 8 and still answers true, so the front remembers the choice.
    virtual bool setProtection(const QString &id, bool on);
    virtual bool apply();
    // The id of the adapter that carries the IPv4 default route, empty when there is none.
    virtual QString defaultRouteId() const;

Q_SIGNALS:
    void configurationChanged();
    void protectionChanged(const QString &id, bool on);

protected:
    void setLastError(const Error &error);

private:
    Q_DISABLE_COPY(BackendImplBase)
};

} // namespace Private
} // namespace Velmor

#endif // VELMOR_BACKENDIMPLBASE_H
