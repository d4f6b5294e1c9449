#ifndef VELMOR_DNSCACHERESETTER_H
#define VELMOR_DNSCACHERESETTER_H

#include <QFuture>
#include <QMutex>
#include <QObject>

#include <functional>

// Restarts the DNS client service after the DNS servers changed, so it drops what it cached from the old ones.
// One restart runs at a time on Qt's global thread pool; a request made while one runs gives one more after it.
// Before stopping the client a restart records in the service's settings that it did, so a start after a
// crash (recover()) can start a client left stopped.
class DNSCacheResetter : public QObject
{
    Q_OBJECT
public:
    static DNSCacheResetter *instance();

    // Main thread only.
    static void reset();
    // Starts the DNS client when a restart of this service stopped it and did not get to start it again.
    static void recover();
    // Waits until no restart runs.
    static void waitForDone();

    // Runs on the pool thread before each restart; lets a test hold a restart while it runs.
    static void setRestartHook(const std::function<void()> &hook);

    ~DNSCacheResetter() override;

public Q_SLOTS:
    // The restarts themselves, on a pool thread.
    void timerTimeout();

private:
    explicit DNSCacheResetter(QObject *parent);
    Q_DISABLE_COPY(DNSCacheResetter)

    void restart();

    // Guards the fields below; future is only touched on the main thread.
    QMutex m_lock;
    bool m_running = false;
    bool m_again = false;
    QString m_settingsPath;
    std::function<void()> m_hook;
    QFuture<void> future;
};

#endif // VELMOR_DNSCACHERESETTER_H
