#include "dnscacheresetter.h"

#include "networklog.h"

#include "base/servicecontroller.h"
#include "base/servicesettings.h"

#include <QCoreApplication>
#include <QtConcurrent>

namespace {

DNSCacheResetter *singleton = nullptr;

const QString dnsClientName = QStringLiteral("Dnscache");
// Set while a restart of ours has the DNS client stopped.

} // namespace

DNSCacheResetter::DNSCacheResetter(QObject *parent)
    : QObject(parent)
{ }

DNSCacheResetter::~DNSCacheResetter()
{
    if (singleton == this)
        singleton = nullptr;
}

DNSCacheResetter *DNSCacheResetter::instance()
{
    if (!singleton)
        singleton = new DNSCacheResetter(QCoreApplication::instance());
    return singleton;
}

void DNSCacheResetter::reset()
{
    DNSCacheResetter *d = instance();
    {
        QMutexLocker guard(&d->m_lock);
        if (d->m_running) {
            // The running restart may have stopped the client before the change it is asked for was written.
            d->m_again = true;
            return;
        }
        d->m_running = true;
        // The pool thread opens the same store by its file, without reading the application's names.
        d->m_settingsPath = Velmor::ServiceSettings().fileName();
    }
    d->future = QtConcurrent::run(&DNSCacheResetter::timerTimeout, d);
}

void DNSCacheResetter::timerTimeout()
{
    for (;;) {
        std::function<void()> hook;
        {
            QMutexLocker guard(&m_lock);
            hook = m_hook;
        }
        if (hook)
            hook();
        restart();
        QMutexLocker guard(&m_lock);
        if (!m_again) {
            m_running = false;
            return;
        }
        m_again = false;
    }
}

void DNSCacheResetter::restart()
{
    Velmor::ServiceController client(dnsClientName);
    // A client that does not run was stopped by someone else; it stays as it is.
    if (!client.isRunning())
        return;
    Velmor::ServiceSettings settings(m_settingsPath);
    settings.setDnsCacheStopped(true);
    if (!settings.sync())
        return;
    qCDebug(lcNetworkWrites, "restart Dnscache: stop");
    client.stop();
    qCDebug(lcNetworkWrites, "restart Dnscache: start");
    if (client.start()) {
        settings.setDnsCacheStopped(false);
        settings.sync();
    }
}

void DNSCacheResetter::recover()
{
    DNSCacheResetter *d = instance();
    QMutexLocker guard(&d->m_lock);
    // A running restart starts the client itself.
    if (d->m_running)
        return;
    Velmor::ServiceSettings settings;
    if (!settings.dnsCacheStopped())
        return;
    Velmor::ServiceController client(dnsClientName);
    qCDebug(lcNetworkWrites, "recover Dnscache");
    if (client.isRunning() || client.start()) {
        settings.setDnsCacheStopped(false);
        settings.sync();
    }
}

void DNSCacheResetter::waitForDone()
{
    instance()->future.waitForFinished();
}

void DNSCacheResetter::setRestartHook(const std::function<void()> &hook)
{
    DNSCacheResetter *d = instance();
    QMutexLocker guard(&d->m_lock);
    d->m_hook = hook;
}
