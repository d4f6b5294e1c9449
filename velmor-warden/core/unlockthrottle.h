#ifndef VELMOR_UNLOCKTHROTTLE_H
#define VELMOR_UNLOCKTHROTTLE_H

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

namespace Velmor {

// The pause between settings passwords, shared by every connection, so that the password cannot be guessed at the
// speed of the link: one attempt is checked at a time, and after each refused one the next waits 1 s, then 2,
// 4 ... up to 60 s; an accepted one ends the pause. Main thread only.
class UnlockThrottle : public QObject
{
    Q_OBJECT

public:
    using Clock = qint64 (*)();

    static constexpr qint64 firstDelay = 1000;
    static constexpr qint64 longestDelay = 60000;

    explicit UnlockThrottle(QObject *parent = nullptr);
    ~UnlockThrottle() override;

    // Runs the attempt now when nothing holds it, else after those before it and the pause; never once its
    // context is gone. The attempt ends with refused() or accepted(), or with its context.
    void whenAllowed(QObject *context, std::function<void()> attempt);
    void refused();
    void accepted();
    bool isChecking() const { return !m_checking.isNull(); }

    // The pause the next refusal starts, and the moment on the clock before which no attempt runs.
    qint64 nextDelay() const { return m_nextDelay; }
    qint64 heldUntil() const { return m_heldUntil; }
    int waiting() const { return int(m_waiting.size()); }

    // The time source; replaceable so a test can move it instead of waiting.
    Clock clock;

public Q_SLOTS:
    // Runs the attempts that waited, in order, when the pause is over; else waits for its end again.
    void release();

private Q_SLOTS:
    void contextDestroyed();

private:
    Q_DISABLE_COPY(UnlockThrottle)

    struct Waiting
    {
        QPointer<QObject> context;
        std::function<void()> attempt;
    };

    void arm();
    void run(const QPointer<QObject> &context, const std::function<void()> &attempt);

    qint64 m_nextDelay;
    qint64 m_heldUntil;
    QList<Waiting> m_waiting;
    QPointer<QObject> m_checking;
    QTimer m_timer;
};

} // namespace Velmor

#endif // VELMOR_UNLOCKTHROTTLE_H
