#ifndef VELMOR_TESTS_IPCPROBE_H
#define VELMOR_TESTS_IPCPROBE_H

#include <QList>
#include <QObject>
#include <QTcpSocket>
#include <QVariant>

namespace Velmor {
class IpcPacketReader;
}

namespace WardenTest {

// A desktop program's end of the link, spoken byte by byte: it sends requests and notifications as packets and
// keeps what the service sends, each packet's items in order (a batch is several).
class IpcProbe : public QObject
{
    Q_OBJECT

public:
    struct Notification
    {
        QString method;
        QVariantList params;
    };

    explicit IpcProbe(quint16 port, QObject *parent = nullptr);
    ~IpcProbe() override;

    bool isConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    bool isClosed() const { return m_closed; }

    // The id of the call.
    int call(const QString &method, const QVariantList &params = {});
    void notify(const QString &method, const QVariantList &params = {});
    void sendPacket(const QByteArray &text, char kind = 0);
    void sendRaw(const QByteArray &bytes);

    bool hasAnswer(int id) const { return m_answers.contains(id); }
    // The answer's "result" or "error" member as received, invalid while there is none.
    QVariant result(int id) const;
    QVariantMap error(int id) const;
    // Waits for the answer; false after the timeout.
    bool waitForAnswer(int id, int timeout = 5000);

    // Every notification received, oldest first.
    QList<Notification> notifications;
    QStringList methods() const;
    QList<Notification> named(const QString &method) const;
    void clear();
    // A few round trips that reach no method: whatever the service had queued for this link by the time has come.
    bool settle();

private Q_SLOTS:
    void packetReady(const QByteArray &packet);

private:
    QTcpSocket m_socket;
    Velmor::IpcPacketReader *m_reader;
    int m_lastId = 0;
    QHash<int, QVariantMap> m_answers;
    bool m_closed = false;
};

// A packet of the link: length, kind byte, text.
QByteArray packet(const QByteArray &text, char kind = 0);

} // namespace WardenTest

#endif // VELMOR_TESTS_IPCPROBE_H
