#ifndef VELMOR_CONSOLE_SERVICESTATUS_H
#define VELMOR_CONSOLE_SERVICESTATUS_H

#include "velmorwire/hostlist.h"
#include "velmorwire/network.h"

#include <QObject>
#include <QVariantMap>

class Cabinet;
class ServiceConnector;

namespace Velmor {
class JsonRPCCall;
}

// The desktop's view of the service: one status state from 1 to 7 worked out of the link, the account and the
// networks, the filtering switch, the networks and the service's settings, and the commands that only pass a
// change on to the service.
class ServiceStatus : public QObject
{
    Q_OBJECT

public:
    // The status, followed by the tray and the status page.
    enum State {
        NotStarted = 0,
        ServiceUnreachable = 1,
        Connecting = 2,
        IdentificationFailed = 3,
        NoNetworks = 4,
        NothingProtected = 5,
        FilteringOff = 6,
        Protected = 7,
    };
    Q_ENUM(State)

    ServiceStatus(ServiceConnector *connector, Cabinet *cabinet, QObject *parent = nullptr);
    ~ServiceStatus() override;

    State state() const { return m_state; }
    // Whether the filtering switch is offered: the tray's entries and the status page's button.
    bool isSwitchable() const { return isSwitchable(m_state); }
    QString stateText() const { return m_stateText; }
    bool isConnectionComplete() const { return m_connectionComplete; }
    bool isGlobalFilteringEnabled() const { return m_globalFiltering; }
    const Velmor::NetworksInfo &networks() const { return m_networks; }
    const QVariantMap &serviceSettings() const { return m_serviceSettings; }

    // The state the inputs give, tested in the order of the table: link, completeness, identification,
    // filtering switch, protection.
    static State stateFor(
        bool connected, bool complete, bool identified, bool globalFiltering, const Velmor::NetworksInfo &networks);
    static QString stateTextFor(int state);
    // Once the account is identified, filtering is switched off only while it protects a network, and on again
    // whenever it is off.
    static bool isSwitchable(State state);

    // On the first start the first network list that arrives is protected without asking.
    void setAutoProtect(bool enabled) { m_autoProtect = enabled; }

    Velmor::JsonRPCCall *setNetworkProtection(const QString &networkId, bool enabled, const Velmor::HostList &dns);
    // The user gave no DNS address for a network the service could not switch: its row goes back.
    void keepNetworkProtection(const QString &networkId, bool enabled);
    // Minutes 0: until the service restarts.
    void setGlobalFiltering(bool enabled, int minutes);

    // For the notification handler.
    void setConnectionComplete(bool complete) { m_connectionComplete = complete; }
    void setNetworks(const Velmor::NetworksInfo &info);
    void setServiceSettings(const QVariantMap &settings);
    void setGlobalFilteringState(bool enabled);
    void applyNetworkProtection(const QString &networkId, bool enabled);
    void setSettingsLocked(bool locked);
    void completeConnection() { Q_EMIT connectionComplete(); }

Q_SIGNALS:
    void networksUpdated();
    void protectionUpdated(const QString &networkId, bool enabled);
    void settingsLockUpdated(bool locked);
    void globalFilteringChanged();
    // After every update of the state, changed or not; stateChanged() follows when it changed.
    void stateUpdated();
    void stateChanged();
    void connectionComplete();
    void serviceSettingsChanged();
    // The service holds no earlier DNS servers for the network: only the user can give them.
    void dnsAddressesNeeded(const QString &networkId, bool enabled);

public Q_SLOTS:
    void updateState();
    void setSettingsProtection(bool state);
    void turnOnGlobalFiltering();

private Q_SLOTS:
    void service_protectionUpdated();

private:
    Q_DISABLE_COPY(ServiceStatus)

    ServiceConnector *m_connector;
    Cabinet *m_cabinet;
    bool m_autoProtect;
    bool m_connectionComplete;
    bool m_globalFiltering;
    State m_state;
    QString m_stateText;
    Velmor::NetworksInfo m_networks;
    QVariantMap m_serviceSettings;
};

#endif // VELMOR_CONSOLE_SERVICESTATUS_H
