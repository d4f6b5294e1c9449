#include "unlockthrottle.h"

#include "velmorwire/error.h"
#include "velmorwire/requestmanager.h"

namespace Velmor {

UnlockThrottle::UnlockThrottle()
    : clock(&monotonicTime)
{ }

qint64 UnlockThrottle::begin(qint64 user, QObject *context)
{
    User &state = m_users[user];
    // An attempt whose connection went never answers: it holds nothing any more.
    if (!state.checking.isNull())
        return checkInProgress;
    const qint64 left = state.heldUntil - clock();
    if (left > 0)
        return left;
    state.checking = context;
    return 0;
}

Error UnlockThrottle::refusal(qint64 wait)
{
    if (wait == checkInProgress)
        return Error(Error::GeneralFailure, QStringLiteral("An unlock attempt is already in progress"));
    return Error(Error::GeneralFailure, QStringLiteral("Try again in %1 s").arg((wait + 999) / 1000));
}

void UnlockThrottle::refused(qint64 user)
{
    User &state = m_users[user];
    state.checking.clear();
    state.heldUntil = clock() + state.nextDelay;
    state.nextDelay = qMin(state.nextDelay * 2, longestDelay);
}

void UnlockThrottle::accepted(qint64 user)
{
    m_users.remove(user);
}

bool UnlockThrottle::isChecking(qint64 user) const
{
    const auto state = m_users.constFind(user);
    return state != m_users.cend() && !state->checking.isNull();
}

qint64 UnlockThrottle::nextDelay(qint64 user) const
{
    const auto state = m_users.constFind(user);
    return state == m_users.cend() ? firstDelay : state->nextDelay;
}

qint64 UnlockThrottle::heldUntil(qint64 user) const
{
    const auto state = m_users.constFind(user);
    return state == m_users.cend() ? 0 : state->heldUntil;
}

} // namespace Velmor
