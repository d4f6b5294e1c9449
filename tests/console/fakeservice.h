#ifndef VELMOR_TESTS_FAKESERVICE_H
#define VELMOR_TESTS_FAKESERVICE_H

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QVariant>

class QTcpSocket;

// The service's side of the desktop link, in the test process, scripted: it speaks velmorwire's framing and
// JSON, pushes a state on every new connection, logs every message it receives, and answers calls from a
// script. tests/fixtures/fake_console_service.py is the same fake for runs of the real program, with the same
// script format:
//
//   { "push":    [ ["setSettings", [{"localproxy-addr": "127.0.0.1"}]], ... ],   sent in order on connecting
//     "answers": { "<method>": <answer> or [<answer>, ...] } }                   a list is used up in order,
//                                                                                 its last answer then repeats
//   <answer>:  {"result": <value>}                       the call's result (missing: null)
//              {"error": {"code": 4, "message": "..."}}  a JSON-RPC error
//              {"delay": <ms>, ...}                      the same, answered later
//              {"drop": true}                            the link is closed instead of answering
//              {"push": [["<method>", [params]], ...]}   notifications sent after the answer (also for a
//                                                        notification); a string "$N" in them stands for the
//                                                        request's parameter N
//
// A call without a scripted answer gets a null result; notifications get no answer.
class FakeService : public QObject
{
    Q_OBJECT

public:
    struct Message
    {
        QString method;
        QVariant id; // invalid for a notification
        QVariantList params;
        // The parameters exactly as the desktop wrote them (its writer sorts keys, so "params" comes last):
        // the JSON types show, 5 and 5.0 and "5" differ. Empty when the message had none.
        QString paramsText;
        bool isNotification() const { return !id.isValid(); }
    };

    explicit FakeService(QObject *parent = nullptr);
    ~FakeService() override;

    // JSON text in the format above; false when it does not parse to an object.
    bool loadScript(const QByteArray &json);
    bool loadScriptFile(const QString &path);
    void setScript(const QVariantMap &script);
    QVariantMap script() const { return m_script; }
    // Replaces the answers of one method.
    void setAnswer(const QString &method, const QVariant &answer);

    // Port 0 picks a free one. Listening again after stop() reuses the last port.
    bool listen(quint16 port = 0);
    quint16 port() const { return m_port; }
    bool isListening() const { return m_server.isListening(); }
    // A killed service: the listener and every link close.
    void stop();

    // A notification to every open link.
    void push(const QString &method, const QVariantList &params);

    QList<Message> messages() const { return m_messages; }
    QList<Message> messages(const QString &method) const;
    QStringList methods() const;
    void clearMessages() { m_messages.clear(); }
    int openLinks() const;
    int connectionsAccepted() const { return m_accepted; }

Q_SIGNALS:
    void messageReceived(const QString &method);
    void linkOpened();
    void linkClosed();

private Q_SLOTS:
    void server_newConnection();

private:
    void packetReady(QTcpSocket *link, const QByteArray &packet);
    QVariantMap nextAnswer(const QString &method);
    void answer(QTcpSocket *link, const Message &message, const QVariantMap &answer);
    void pushAll(QTcpSocket *link, const QVariantList &notifications, const QVariantList &requestParams);
    static void send(QTcpSocket *link, const QByteArray &text, bool response);

    QTcpServer m_server;
    quint16 m_port;
    int m_accepted;
    QVariantMap m_script;
    QHash<QString, int> m_answerIndex;
    QList<QPointer<QTcpSocket>> m_links;
    QList<Message> m_messages;
};

Q_DECLARE_METATYPE(FakeService::Message)

#endif // VELMOR_TESTS_FAKESERVICE_H
