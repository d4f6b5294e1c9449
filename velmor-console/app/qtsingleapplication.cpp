#include "qtsingleapplication.h"

#include "singleinstancepeer.h"

#include <QWidget>

QtSingleApplication::QtSingleApplication(const QString &appId, int &argc, char **argv)
    : QApplication(argc, argv)
    , m_peer(new SingleInstancePeer(this, appId))
{
    connect(m_peer, &SingleInstancePeer::messageReceived, this, &QtSingleApplication::messageReceived);
}

QtSingleApplication::~QtSingleApplication() = default;

bool QtSingleApplication::isRunning()
{
    return m_peer->isClient();
}

QString QtSingleApplication::id() const
{
    return m_peer->applicationId();
}

void QtSingleApplication::setActivationWindow(QWidget *window, bool activateOnMessage)
{
    m_activationWindow = window;
    if (activateOnMessage)
        connect(m_peer, &SingleInstancePeer::messageReceived, this, &QtSingleApplication::activateWindow,
            Qt::UniqueConnection);
    else
        disconnect(m_peer, &SingleInstancePeer::messageReceived, this, &QtSingleApplication::activateWindow);
}

void QtSingleApplication::setIgnoredMessages(const QStringList &messages)
{
    m_ignoredMessages = messages;
}

bool QtSingleApplication::sendMessage(const QString &message, int timeout)
{
    return m_peer->sendMessage(message, timeout);
}

void QtSingleApplication::activateWindow(const QString &msg)
{
    if (!m_activationWindow || m_ignoredMessages.contains(msg))
        return;
    m_activationWindow->setVisible(true);
    m_activationWindow->setWindowState(m_activationWindow->windowState() & ~Qt::WindowMinimized);
    m_activationWindow->activateWindow();
    m_activationWindow->raise();
}
