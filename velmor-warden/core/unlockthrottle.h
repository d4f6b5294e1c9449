#ifndef VELMOR_UNLOCKTHROTTLE_H
#define VELMOR_UNLOCKTHROTTLE_H

#include <QHash>
#include <QObject>
#include <QPointer>

namespace Velmor {

class Error;

// The pause between settings passwords, kept per local user (the owner of the connection's peer), so that the
// password cannot be guessed at the speed of the link and one user's guesses never hold another user's attempt: a
// user has one attempt checked at a time, and after each refused one his next may start 1 s later, then 2, 4 ... up
// to 60 s; an accepted one ends his pause. An attempt is never held: one made during the pause is turned away at
// once with the time left, which the desktop shows. Main thread only.
class UnlockThrottle
{
public:
    using Clock = qint64 (*)();

    static constexpr qint64 firstDelay = 1000;
    static constexpr qint64 longestDelay = 60000;
    // What begin() says while another attempt of the same user is being checked.
    static constexpr qint64 checkInProgress = -1;

    UnlockThrottle();

    // 0 when the user's attempt may be checked now: it is then the one being checked until refused() or accepted(),
    // or until its context goes. Else the milliseconds the user has still to wait, or checkInProgress.
    qint64 begin(qint64 user, QObject *context);
    // The answer to an attempt that begin() turned away with wait: GeneralFailure, saying how long is left.
    static Velmor::Error refusal(qint64 wait);
    void refused(qint64 user);
    void accepted(qint64 user);
    bool isChecking(qint64 user) const;

    // The pause the user's next refusal starts, and the moment on the clock before which no attempt of his starts.
    qint64 nextDelay(qint64 user) const;
    qint64 heldUntil(qint64 user) const;

    // The time source; replaceable so a test can move it instead of waiting.
    Clock clock;

private:
    Q_DISABLE_COPY(UnlockThrottle)

    struct User
    {
        qint64 nextDelay = firstDelay;
        qint64 heldUntil = 0;
        QPointer<QObject> checking;
    };

    // Users with no pause and nothing checked hold no entry.
    QHash<qint64, User> m_users;
};

} // namespace Velmor

#endif // VELMOR_UNLOCKTHROTTLE_H
