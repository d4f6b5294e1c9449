#ifndef VELMOR_CONSOLE_SERVICECONNECTOR_H
#define VELMOR_CONSOLE_SERVICECONNECTOR_H

#include "velmorwire/localsocketipcconnection.h"

class QTimer;

// The desktop's one link to the service on 127.0.0.1. A failure is announced once per outage; the link then
// retries every three seconds without a word until the service answers again.
class ServiceConnector : public Velmor::LocalSocketIpcConnection
{
    Q_OBJECT

public:
    explicit ServiceConnector(QObject *parent = nullptr);
    ~ServiceConnector() override;

    // Starts connecting; does nothing unless the link is unconnected.
    void connectToService();
    // Also watches the call: a generic failure and a missing link are reported by errorOccurred().
    Velmor::JsonRPCCall *call(const char *method, const QVariantList &params = QVariantList()) override;

    // The service is unreachable: an outage was announced, or a reconnect attempt is under way.
    bool connectionFailed() const { return m_failed; }
    // The link was up at least once since the program started.
    bool wasEverConnected() const { return m_everConnected; }
    QTimer *reconnectTimer() const { return m_reconnectTimer; }

Q_SIGNALS:
    // 1: the service could not be reached or the link failed; 2: an established link was lost.
    void serviceError(int e);
    // A failure the user should hear of; an empty title leaves the choice to whoever shows it.
    void errorOccurred(const QString &text, const QString &title);

public Q_SLOTS:
    void timer_reconnectToService();

protected Q_SLOTS:
    void socket_connected() override;

private Q_SLOTS:
    void socket_disconnected() override;
    void request_finished();

private:
    Q_DISABLE_COPY(ServiceConnector)

    bool m_failed;
    bool m_everConnected = false;
    bool m_droppingCalls;
    QTimer *m_reconnectTimer;
};

#endif // VELMOR_CONSOLE_SERVICECONNECTOR_H
