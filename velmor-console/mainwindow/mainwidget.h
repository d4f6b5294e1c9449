#ifndef VELMOR_CONSOLE_MAINWIDGET_H
#define VELMOR_CONSOLE_MAINWIDGET_H

#include <QWidget>

class Agent;
class QLabel;
class QLineEdit;
class QPushButton;

// A stand-in for the main window until the real one is built. It carries exactly what the Agent and the tray
// reach: the constructor, the login mode (1 while the settings are locked), the unlock page with its two
// signals, the tray's profile choice and filtering pause (both held until the password is given while the
// settings are locked) and the sign-in slot. Its widgets carry the object names of the real form, so the
// tests that drive the unlock page keep working when the real window replaces this one.
class MainWidget : public QWidget
{
    Q_OBJECT

public:
    explicit MainWidget(Agent *agent);
    ~MainWidget() override;

    // 0 sign in, 1 unlock (the settings are locked), 2 sign up.
    int loginMode() const { return m_loginMode; }
    // Shows the window on the login page; a non-empty prompt replaces the page's own.
    void showUnlockPage(const QString &prompt);
    // True when applied at once; false when held until the settings are unlocked.
    bool selectProfile(quint32 profileId);
    bool turnOffFiltering(int minutes);

Q_SIGNALS:
    void settingsUnlocked();
    void settingsUnlockCanceled();

public Q_SLOTS:
    void login();

private:
    Q_DISABLE_COPY(MainWidget)

    void showLoginPage();
    void submitUnlock();
    void cancelUnlock();
    void applyPending();

    Agent *m_agent;
    int m_loginMode;
    int m_pendingFilteringMinutes;
    quint32 m_pendingProfileId;
    QWidget *m_loginPage;
    QLabel *m_prompt;
    QLineEdit *m_user;
    QLineEdit *m_password;
    QPushButton *m_login;
    QPushButton *m_cancel;
};

#endif // VELMOR_CONSOLE_MAINWIDGET_H
