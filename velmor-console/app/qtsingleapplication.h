#ifndef VELMOR_CONSOLE_QTSINGLEAPPLICATION_H
#define VELMOR_CONSOLE_QTSINGLEAPPLICATION_H

#include <QApplication>
#include <QPointer>
#include <QStringList>

class SingleInstancePeer;

// The application object of a program that runs once per user and session: later starts hand their messages
// to the running copy, whose activation window each message (but the ignored ones) raises.
class QtSingleApplication : public QApplication
{
    Q_OBJECT

public:
    QtSingleApplication(const QString &appId, int &argc, char **argv);
    ~QtSingleApplication() override;

    // Another copy with the same id holds the instance.
    bool isRunning();
    QString id() const;
    SingleInstancePeer *peer() const { return m_peer; }

    void setActivationWindow(QWidget *window, bool activateOnMessage = true);
    void setIgnoredMessages(const QStringList &messages);

public Q_SLOTS:
    // True when the running copy acknowledged the message within the timeout (ms).
    bool sendMessage(const QString &message, int timeout = 5000);
    void activateWindow(const QString &msg);

Q_SIGNALS:
    void messageReceived(const QString &message);

private:
    Q_DISABLE_COPY(QtSingleApplication)

    SingleInstancePeer *m_peer;
    QPointer<QWidget> m_activationWindow;
    QStringList m_ignoredMessages;
};

#endif // VELMOR_CONSOLE_QTSINGLEAPPLICATION_H
