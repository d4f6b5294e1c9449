#ifndef VELMOR_SETTINGSLOCK_H
#define VELMOR_SETTINGSLOCK_H

#include <QObject>
#include <QVariant>

namespace Velmor {

class Error;

// One connection's settings lock. Its own object, not the request handler's: the handler's slots are the methods
// the link may call, and unlocking must not be one of them.
class SettingsLock : public QObject
{
    Q_OBJECT

public:
    SettingsLock(bool locked, QObject *parent);
    ~SettingsLock() override;

    bool isLocked() const { return m_locked; }

    // Error::GeneralFailure (1), "Settings are locked": the answer to a refused call.
    static Velmor::Error refusal();

public Q_SLOTS:
    // A deferred's success: the caller proved it may change the settings.
    void unlock(const QVariant &result);

private:
    Q_DISABLE_COPY(SettingsLock)

    bool m_locked;
};

} // namespace Velmor

#endif // VELMOR_SETTINGSLOCK_H
