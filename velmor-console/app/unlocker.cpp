#include "unlocker.h"

#include "commandline.h"
#include "qtsingleapplication.h"
#include "singleinstancepeer.h"

#include <QTimer>

Unlocker::Unlocker(const QString &reason, QObject *parent)
    : QObject(parent)
    , m_timer(new QTimer(qApp))
{
    m_timer->setInterval(500);
    connect(m_timer, &QTimer::timeout, this, &Unlocker::checkForComplete);
    if (!m_flag.create()) {
        finish(NoAnswer);
        return;
    }
    auto app = qobject_cast<QtSingleApplication *>(qApp);
    // Nobody would ever answer a message the running copy did not take.
    if (!app || !app->sendMessage(InstanceMessage::unlock(reason), 5000)) {
        finish(NoAnswer);
        return;
    }
    m_timer->start();
}

Unlocker::~Unlocker()
{
    delete m_timer;
}

void Unlocker::checkForComplete()
{
    switch (m_flag.value()) {
    case UnlockFlag::NoAnswer: {
        // A running copy that ended will never answer.
        auto app = qobject_cast<QtSingleApplication *>(qApp);
        if (app && !app->peer()->isInstanceHeld())
            finish(NoAnswer);
        return;
    }
    case UnlockFlag::Granted:
        finish(Granted);
        return;
    case UnlockFlag::Canceled:
        finish(Canceled);
        return;
    default:
        finish(NoAnswer);
        return;
    }
}

void Unlocker::finish(int code)
{
    m_timer->stop();
    // Queued, so the constructor's own failures end the loop that main starts after it.
    QMetaObject::invokeMethod(
        qApp, [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
}
