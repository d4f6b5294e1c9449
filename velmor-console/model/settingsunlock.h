#ifndef VELMOR_CONSOLE_SETTINGSUNLOCK_H
#define VELMOR_CONSOLE_SETTINGSUNLOCK_H

#include <QObject>

class Cabinet;
class ServiceStatus;

// The gate that locked settings put before a command: while the computer's settings are locked, a pause of the
// filtering or another profile, from the tray or the window, waits for the password and is carried out once the
// service accepts it. The login page's mode lives here too, since it is what says whether the settings are locked.
class SettingsUnlock : public QObject
{
    Q_OBJECT

public:
    enum LoginMode {
        SignIn = 0,
        // The settings are locked: the login page asks for the account's password.
        Unlock = 1,
        SignUp = 2,
    };
    Q_ENUM(LoginMode)

    // Where the window goes once the settings are unlocked.
    enum Return { ToSettings, ToStatus };

    SettingsUnlock(ServiceStatus *status, Cabinet *cabinet, QObject *parent = nullptr);

    LoginMode mode() const { return m_mode; }
    bool isLocked() const { return m_mode == Unlock; }
    void setMode(LoginMode mode) { m_mode = mode; }

    // An unlock that another copy of the program or the command line asked for waits for the connection.
    bool isRequestPending() const { return m_requestPending; }
    void setRequestPending(bool pending) { m_requestPending = pending; }

    // Carried out at once and true while the settings are not locked; otherwise kept for the unlock, with
    // unlockNeeded() and false. Minutes 0: until the service restarts.
    bool turnOffFiltering(int minutes);
    bool selectProfile(quint32 profileId);

    // The service accepted the password: what waited is carried out, and the answer is where the window goes.
    Return unlocked();
    // The user gave up the unlock: what waited is dropped.
    void cancel();
    // A sign-in ended the unlock's wait: the window goes where a sign-in leads.
    void forgetReturn() { m_return = ToSettings; }

Q_SIGNALS:
    // A command waits for the password: the window asks for it.
    void unlockNeeded();
    // A profile is taken that the window's own choice did not make: the window shows it as chosen.
    void profileTaken(quint32 profileId);

private:
    void takePendingProfile();

    ServiceStatus *m_status;
    Cabinet *m_cabinet;
    LoginMode m_mode;
    Return m_return;
    bool m_requestPending;
    // -1: no pause waits.
    int m_pendingFilteringMinutes;
    // 0: no profile waits.
    quint32 m_pendingProfileId;
};

#endif // VELMOR_CONSOLE_SETTINGSUNLOCK_H
