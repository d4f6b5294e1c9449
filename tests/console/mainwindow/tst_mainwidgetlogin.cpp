#include "fakeservice.h"
#include "mainwindowtest.h"

#include "app/agent.h"
#include "mainwindow/mainwidget.h"
#include "model/cabinet.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

using MainWindowTest::child;
using MainWindowTest::page;

// The login page in its three modes: what reaches the service for each, how the window answers the service's
// errors, and the lock with the tray actions that wait for it.
class tst_MainWidgetLogin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void submit_data();
    void submit();
    void signUpRefusedLocally_data();
    void signUpRefusedLocally();
    void cancelAfterEditing_data();
    void cancelAfterEditing();
    void errors_data();
    void errors();
    void attemptInProgress_data();
    void attemptInProgress();
    void heldTrayActions_data();
    void heldTrayActions();
    void hidingLocks_data();
    void hidingLocks();
    void lockFromServiceOnlyChecksTheBox();
    void fieldsKeepTheirPlaceAcrossModes();
    void trayLogin_data();
    void trayLogin();
    void typingReachesAField_data();
    void typingReachesAField();
    void firstStartKeepsWhatWasTyped();

private:
    MainWidget *window() const { return m_desktop->agent->mainWidget(); }
    FakeService *service() const { return m_desktop->service.get(); }
    void reach(const QVariantMap &script);
    // The login page from the settings menu, as the user gets there.
    void openLoginPage();
    void fill(const char *field, const QString &text);
    void press(const char *button);
    // Every message the desktop sent since the window settled, as "method params".
    QStringList sent() const;

    std::unique_ptr<ConsoleTest::Desktop> m_desktop;
};

void tst_MainWidgetLogin::init()
{
    MainWindowTest::failOnConnectionWarnings();
}

void tst_MainWidgetLogin::cleanup()
{
    m_desktop.reset();
}

void tst_MainWidgetLogin::reach(const QVariantMap &script)
{
    m_desktop = MainWindowTest::desktopIn(ServiceStatus::Protected, script);
    QCOMPARE(m_desktop->agent->status()->state(), int(ServiceStatus::Protected));
    window()->show();
}

void tst_MainWidgetLogin::openLoginPage()
{
    Q_EMIT child<QLabel>(window(), "lblAgentStatus")->linkActivated(QStringLiteral("agent:showsettings"));
    child<QPushButton>(window(), "clbChangeUser")->click();
    QCOMPARE(page(window()), QStringLiteral("loginPage"));
}

void tst_MainWidgetLogin::fill(const char *field, const QString &text)
{
    auto edit = child<QLineEdit>(window(), field);
    edit->clear();
    QTest::keyClicks(edit, text);
}

void tst_MainWidgetLogin::press(const char *button)
{
    child<QPushButton>(window(), button)->click();
}

QStringList tst_MainWidgetLogin::sent() const
{
    QStringList list;
    const QList<FakeService::Message> messages = service()->messages();
    for (const FakeService::Message &message : messages)
        list.append(message.method + QLatin1Char(' ') + message.paramsText);
    return list;
}

void tst_MainWidgetLogin::submit_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("how"); // "sign in", "sign up" or "unlock"
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("shown");

    QTest::newRow("sign in") << "protected"
                             << "sign in"
                             << "new@example.com"
                             << "n3w pass" << QStringList { "setCredentials [\"new@example.com\",\"n3w pass\"]" }
                             << "welcomePage";
    QTest::newRow("sign in, texts unchanged") << "protected"
                                              << "sign in"
                                              << " spaced@example.com "
                                              << "\"quoted\"\\"
                                              << QStringList { "setCredentials [\" spaced@example.com \","
                                                               "\"\\\"quoted\\\"\\\\\"]" }
                                              << "welcomePage";
    QTest::newRow("sign in with empty fields goes out as it is")
        << "protected"
        << "sign in" << QString() << QString() << QStringList { "setCredentials [\"\",\"\"]" } << "welcomePage";
    QTest::newRow("sign up") << "protected"
                             << "sign up"
                             << "new@example.com"
                             << "pw" << QStringList { "registerUser [\"new@example.com\",\"pw\"]" } << "welcomePage";
    QTest::newRow("unlock") << "locked"
                            << "unlock" << QString() << "typed"
                            << QStringList { "unlockSettings [\"user@example.com\",\"typed\"]" } << "settingsPage";
    QTest::newRow("unlock without a password sends nothing")
        << "locked"
        << "unlock" << QString() << QString() << QStringList {} << "loginPage";
}

void tst_MainWidgetLogin::submit()
{
    QFETCH(QString, script);
    QFETCH(QString, how);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QStringList, messages);
    QFETCH(QString, shown);
    reach(ConsoleTest::script(script));
    QSignalSpy unlocked(window(), &MainWidget::settingsUnlocked);
    openLoginPage();
    if (how == QLatin1String("unlock")) {
        QCOMPARE(window()->loginMode(), 1);
        QCOMPARE(child<QPushButton>(window(), "pbLogin")->text(), QStringLiteral("Unlock"));
        QVERIFY(child<QLineEdit>(window(), "leUser")->isHidden());
        QCOMPARE(child<QLabel>(window(), "lblSignupError")->text(),
            QStringLiteral("Enter your password to unlock settings"));
    } else {
        if (how == QLatin1String("sign up")) {
            Q_EMIT child<QLabel>(window(), "lblRegisterNew")->linkActivated(QStringLiteral("agent:showregisterform"));
            QCOMPARE(window()->loginMode(), 2);
            QCOMPARE(child<QPushButton>(window(), "pbLogin")->text(), QStringLiteral("Sign Up"));
            QVERIFY(!child<QLabel>(window(), "lblRegisterHint")->isHidden());
            QVERIFY(child<QLabel>(window(), "lblForgotPassword")->isHidden());
            fill("leRepeatPassword", password);
        } else {
            QCOMPARE(child<QPushButton>(window(), "pbLogin")->text(), QStringLiteral("Sign In"));
            QVERIFY(child<QLineEdit>(window(), "leRepeatPassword")->isHidden());
        }
        fill("leUser", user);
    }
    fill("lePassword", password);
    press("pbLogin");
    if (messages.isEmpty()) {
        QVERIFY(child<QPushButton>(window(), "pbLogin")->isEnabled());
    } else {
        QVERIFY(!child<QPushButton>(window(), "pbLogin")->isEnabled());
        QVERIFY(!child<QLineEdit>(window(), "lePassword")->isEnabled());
        QTRY_COMPARE(page(window()), shown);
        QVERIFY(child<QPushButton>(window(), "pbLogin")->isEnabled());
        QCOMPARE(window()->loginMode(), 0);
    }
    QCOMPARE(sent(), messages);
    QCOMPARE(page(window()), shown);
    QCOMPARE(unlocked.size(), how == QLatin1String("unlock") && !messages.isEmpty() ? 1 : 0);
}

void tst_MainWidgetLogin::signUpRefusedLocally_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("repeated");
    QTest::addColumn<QString>("warning");
    const QString bothFields = QStringLiteral("Both E-mail and password fields must be filled");
    QTest::newRow("empty e-mail") << QString() << "pw"
                                  << "pw" << bothFields;
    QTest::newRow("empty password") << "new@example.com" << QString() << QString() << bothFields;
    QTest::newRow("passwords differ") << "new@example.com"
                                      << "pw"
                                      << "pW"
                                      << "Password and repeated password do not match";
}

// Sign-up adds a row with a longer label: the fields stay where sign-in had them, and the terms text keeps a
// gap above the first row.
void tst_MainWidgetLogin::fieldsKeepTheirPlaceAcrossModes()
{
    reach(ConsoleTest::script(QStringLiteral("protected")));
    QVERIFY(QTest::qWaitForWindowExposed(window()));
    openLoginPage();
    auto field = child<QLineEdit>(window(), "leUser");
    QTRY_VERIFY(field->isVisible());
    const int signIn = field->mapTo(window(), QPoint(0, 0)).x();
    // The link shows after a failed sign-in; the mode it opens is what counts here.
    Q_EMIT child<QLabel>(window(), "lblRegisterNew")->linkActivated(QStringLiteral("agent:showregisterform"));
    QTRY_COMPARE(window()->loginMode(), 2);
    QTRY_VERIFY(child<QLineEdit>(window(), "leRepeatPassword")->isVisible());
    QCOMPARE(field->mapTo(window(), QPoint(0, 0)).x(), signIn);
    auto terms = child<QLabel>(window(), "lblRegisterHint");
    const int gap = child<QLabel>(window(), "lblUser")->mapTo(window(), QPoint(0, 0)).y()
        - terms->mapTo(window(), QPoint(0, terms->height())).y();
    QVERIFY2(gap >= 6, qPrintable(QStringLiteral("%1 pixels between the terms and the first row").arg(gap)));
}

void tst_MainWidgetLogin::signUpRefusedLocally()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, repeated);
    QFETCH(QString, warning);
    reach(ConsoleTest::script(QStringLiteral("protected")));
    openLoginPage();
    Q_EMIT child<QLabel>(window(), "lblRegisterNew")->linkActivated(QStringLiteral("agent:showregisterform"));
    fill("leUser", user);
    fill("lePassword", password);
    fill("leRepeatPassword", repeated);
    QString shown;
    MainWindowTest::answerNextModal(QStringLiteral("OK"), &shown);
    press("pbLogin");
    QCOMPARE(shown, warning);
    QVERIFY(child<QLineEdit>(window(), "leUser")->isEnabled());
    QVERIFY(child<QPushButton>(window(), "pbLogin")->isEnabled());
    QCOMPARE(window()->loginMode(), 2);
    QCoreApplication::processEvents();
    QCOMPARE(sent(), QStringList());
}

void tst_MainWidgetLogin::cancelAfterEditing_data()
{
    QTest::addColumn<QString>("pushedPassword");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("unchanged: back to settings") << "secret-password"
                                                 << "user@example.com"
                                                 << "secret-password" << QStringList {};
    QTest::newRow("edited: the old values go back") << "secret-password"
                                                    << "user@example.com"
                                                    << "guess"
                                                    << QStringList { "setCredentials [\"user@example.com\","
                                                                     "\"secret-password\"]" };
    QTest::newRow("withheld, unchanged") << QString() << "user@example.com" << QString() << QStringList {};
    QTest::newRow("withheld, password typed: no call") << QString() << "user@example.com"
                                                       << "guess" << QStringList {};
    QTest::newRow("withheld, user edited: no call") << QString() << "other@example.com" << QString() << QStringList {};
}

// Cancel after editing the credentials gives the service its previous ones again; a password the service
// withheld is never sent back, since the empty text in its place would sign the service out.
void tst_MainWidgetLogin::cancelAfterEditing()
{
    QFETCH(QString, pushedPassword);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QStringList, messages);
    reach(ConsoleTest::withPush(ConsoleTest::script(QStringLiteral("protected")), QStringLiteral("setCredentials"),
        QVariantList {
            QStringLiteral("user@example.com"), pushedPassword.isNull() ? QStringLiteral("") : pushedPassword }));
    openLoginPage();
    QCOMPARE(child<QLineEdit>(window(), "lePassword")->text(), pushedPassword);
    fill("leUser", user);
    fill("lePassword", password);
    press("pbCancelLogin");
    if (!messages.isEmpty())
        QTRY_COMPARE(sent(), messages);
    QTRY_COMPARE(page(window()), messages.isEmpty() ? QStringLiteral("settingsPage") : QStringLiteral("welcomePage"));
    QCOMPARE(sent(), messages);
    QCOMPARE(child<QLineEdit>(window(), "leUser")->text(), QStringLiteral("user@example.com"));
    QCOMPARE(child<QLineEdit>(window(), "lePassword")->text(), pushedPassword);
}

void tst_MainWidgetLogin::errors_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("error"); // lblSignupError's text, empty when hidden
    QTest::addColumn<bool>("registerLink");

    QTest::newRow("30 signing in") << "protected"
                                   << "sign in"
                                   << "pw" << 30 << "loginPage" << 0 << "Incorrect login or password" << true;
    QTest::newRow("30 with an empty field")
        << "protected"
        << "sign in" << QString() << 30 << "loginPage" << 0 << "Please enter your login and password" << true;
    QTest::newRow("30 signing up: back to sign in")
        << "protected"
        << "sign up"
        << "pw" << 30 << "loginPage" << 0 << "Incorrect login or password" << true;
    QTest::newRow("30 unlocking") << "locked"
                                  << "unlock"
                                  << "wrong" << 30 << "loginPage" << 1 << "Incorrect password" << false;
    QTest::newRow("33 signing up: the reason") << "protected"
                                               << "sign up"
                                               << "pw" << 33 << "loginPage" << 2 << "Failed: E-mail is taken" << false;
    QTest::newRow("1 unlocking during the pause: the time left")
        << "locked"
        << "unlock"
        << "guess" << 1 << "loginPage" << 1 << "Try again in 40 s" << false;
    QTest::newRow("2 timeout: welcome page") << "protected"
                                             << "sign in"
                                             << "pw" << 2 << "welcomePage" << 0 << QString() << false;
}

void tst_MainWidgetLogin::errors()
{
    QFETCH(QString, script);
    QFETCH(QString, how);
    QFETCH(QString, password);
    QFETCH(int, code);
    QFETCH(QString, shown);
    QFETCH(int, mode);
    QFETCH(QString, error);
    QFETCH(bool, registerLink);
    const QString method = how == QLatin1String("unlock") ? QStringLiteral("unlockSettings")
        : how == QLatin1String("sign up")                 ? QStringLiteral("registerUser")
                                                          : QStringLiteral("setCredentials");
    const QString reason = code == 33 ? QStringLiteral("E-mail is taken")
        : code == 1                   ? QStringLiteral("Try again in 40 s")
                                      : QString();
    reach(MainWindowTest::withAnswer(ConsoleTest::script(script), method, MainWindowTest::errorAnswer(code, reason)));
    openLoginPage();
    if (how == QLatin1String("sign up")) {
        Q_EMIT child<QLabel>(window(), "lblRegisterNew")->linkActivated(QStringLiteral("agent:showregisterform"));
        fill("leRepeatPassword", password);
    }
    fill("lePassword", password);
    press("pbLogin");
    QTRY_COMPARE(service()->messages(method).size(), 1);
    QTRY_VERIFY(child<QPushButton>(window(), "pbLogin")->isEnabled());
    QCOMPARE(page(window()), shown);
    QCOMPARE(window()->loginMode(), mode);
    auto label = child<QLabel>(window(), "lblSignupError");
    if (!error.isEmpty()) {
        QVERIFY(!label->isHidden());
        QCOMPARE(label->text(), error);
        QCOMPARE(label->styleSheet(), QStringLiteral("font-weight:bold; color:red;"));
    }
    QCOMPARE(!child<QLabel>(window(), "lblRegisterNew")->isHidden(), registerLink);
    QVERIFY(child<QLineEdit>(window(), "lePassword")->isEnabled());
}

void tst_MainWidgetLogin::attemptInProgress_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("firstPassword");
    QTest::addColumn<QString>("firstError");
    QTest::addColumn<QString>("shownDuringRetry"); // lblSignupError's text while the retry runs, empty when hidden

    QTest::newRow("sign in after empty fields")
        << "protected"
        << "setCredentials" << QString() << "Please enter your login and password" << QString();
    QTest::newRow("sign in after a wrong password") << "protected"
                                                    << "setCredentials"
                                                    << "wrong"
                                                    << "Incorrect login or password" << QString();
    QTest::newRow("unlock after a wrong password") << "locked"
                                                   << "unlockSettings"
                                                   << "wrong"
                                                   << "Incorrect password"
                                                   << "Enter your password to unlock settings";
}

namespace {

// The field's text replaced the way a user does it: into the focused field, all selected, then typed over.
void retype(QLineEdit *field, const QString &text)
{
    field->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), field);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    QTest::keyClicks(QApplication::focusWidget(), text);
    QCOMPARE(field->text(), text);
}

} // namespace

// While an attempt runs the window shows it is busy, and the red complaint about the attempt before is gone.
void tst_MainWidgetLogin::attemptInProgress()
{
    QFETCH(QString, script);
    QFETCH(QString, method);
    QFETCH(QString, firstPassword);
    QFETCH(QString, firstError);
    QFETCH(QString, shownDuringRetry);
    const QVariantList answers { MainWindowTest::errorAnswer(30, QString()),
        QVariantMap { { QStringLiteral("delay"), 200 }, { QStringLiteral("result"), QVariant() } } };
    reach(MainWindowTest::withAnswer(ConsoleTest::script(script), method, answers));
    QVERIFY(QTest::qWaitForWindowExposed(window()));
    openLoginPage();
    auto label = child<QLabel>(window(), "lblSignupError");
    auto button = child<QPushButton>(window(), "pbLogin");
    auto password = child<QLineEdit>(window(), "lePassword");
    retype(password, firstPassword);
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE(service()->messages(method).size(), 1);
    QTRY_VERIFY(button->isEnabled());
    QVERIFY(!label->isHidden());
    QCOMPARE(label->text(), firstError);
    QCOMPARE(window()->cursor().shape(), Qt::ArrowCursor);

    retype(password, QStringLiteral("right"));
    QTest::mouseClick(button, Qt::LeftButton);
    // The answer comes later: no event is handled before these checks.
    QVERIFY(!button->isEnabled());
    QCOMPARE(window()->cursor().shape(), Qt::BusyCursor);
    QCOMPARE(label->isHidden() ? QString() : label->text(), shownDuringRetry);
    QTRY_COMPARE(service()->messages(method).size(), 2);
    QTRY_VERIFY(button->isEnabled());
    QCOMPARE(window()->cursor().shape(), Qt::ArrowCursor);
    QTRY_COMPARE(page(window()),
        method == QLatin1String("unlockSettings") ? QStringLiteral("settingsPage") : QStringLiteral("welcomePage"));
}

void tst_MainWidgetLogin::heldTrayActions_data()
{
    QTest::addColumn<bool>("unlock");
    QTest::newRow("password given") << true;
    QTest::newRow("cancelled") << false;
}

// Locked: the tray's filtering pause and profile choice wait for the password. Unlocked, the pause goes first,
// then the profile, and the window shows the welcome page; Cancel drops both and stays locked.
void tst_MainWidgetLogin::heldTrayActions()
{
    QFETCH(bool, unlock);
    reach(ConsoleTest::script(QStringLiteral("locked")));
    window()->hide();
    QSignalSpy unlocked(window(), &MainWidget::settingsUnlocked);
    QSignalSpy canceled(window(), &MainWidget::settingsUnlockCanceled);
    QVERIFY(!window()->turnOffFiltering(30));
    QVERIFY(window()->isVisible());
    QCOMPARE(page(window()), QStringLiteral("loginPage"));
    QVERIFY(!window()->selectProfile(7));
    QVERIFY(!window()->selectProfile(1));
    QCoreApplication::processEvents();
    QCOMPARE(sent(), QStringList());

    if (unlock) {
        fill("lePassword", QStringLiteral("typed"));
        press("pbLogin");
        QTRY_COMPARE(unlocked.size(), 1);
        QTRY_COMPARE(sent().size(), 3);
        QCOMPARE(sent(),
            (QStringList { "unlockSettings [\"user@example.com\",\"typed\"]", "setGlobalFiltering [false,30]",
                "setProfile [1]" }));
        QCOMPARE(window()->loginMode(), 0);
        QCOMPARE(child<QComboBox>(window(), "cmbProfile")->currentText(), QStringLiteral("Home"));
    } else {
        press("pbCancelLogin");
        QCOMPARE(canceled.size(), 1);
        QCOMPARE(window()->loginMode(), 1);
        // A later unlock applies nothing that the cancel dropped.
        fill("lePassword", QStringLiteral("typed"));
        press("pbLogin");
        QTRY_COMPARE(unlocked.size(), 1);
        QCOMPARE(sent(), QStringList { "unlockSettings [\"user@example.com\",\"typed\"]" });
    }
    QCOMPARE(page(window()), QStringLiteral("welcomePage"));
}

void tst_MainWidgetLogin::hidingLocks_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("locks");
    QTest::newRow("protected settings") << "locked" << true;
    QTest::newRow("unprotected settings") << "protected" << false;
}

// Hiding the window locks protected settings and clears the password; the settings page is then out of reach
// until the password is given again.
void tst_MainWidgetLogin::hidingLocks()
{
    QFETCH(QString, script);
    QFETCH(bool, locks);
    reach(ConsoleTest::script(script));
    if (window()->loginMode() == 1) {
        openLoginPage();
        fill("lePassword", QStringLiteral("typed"));
        press("pbLogin");
        QTRY_COMPARE(window()->loginMode(), 0);
        QCOMPARE(page(window()), QStringLiteral("settingsPage"));
    }
    QSignalSpy protection(window(), &MainWidget::settingsProtectionChanged);
    window()->hide();
    QCOMPARE(window()->loginMode(), locks ? 1 : 0);
    QCOMPARE(protection.size(), locks ? 1 : 0);
    if (!locks)
        return;
    QVERIFY(child<QLineEdit>(window(), "lePassword")->text().isEmpty());
    QCOMPARE(page(window()), QStringLiteral("loginPage"));
    window()->show();
    Q_EMIT child<QLabel>(window(), "lblAgentStatus")->linkActivated(QStringLiteral("agent:showsettings"));
    QCOMPARE(page(window()), QStringLiteral("loginPage"));
}

// The service reporting the lock checks the box, which tells the service again; the open window stays unlocked
// until it is hidden.
void tst_MainWidgetLogin::lockFromServiceOnlyChecksTheBox()
{
    reach(ConsoleTest::script(QStringLiteral("protected")));
    auto box = child<QCheckBox>(window(), "ckPasswordSettings");
    QVERIFY(!box->isChecked());
    service()->push(QStringLiteral("setSettingsLocked"), { true });
    QTRY_VERIFY(box->isChecked());
    QTRY_COMPARE(sent(), QStringList { "setSettingsProtection [true]" });
    QCOMPARE(window()->loginMode(), 0);
    window()->hide();
    QCOMPARE(window()->loginMode(), 1);
}

void tst_MainWidgetLogin::trayLogin_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("password"); // pushed by the service
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("shownOnLoginPage");
    QTest::newRow("fields filled: signs in") << "protected"
                                             << "secret-password"
                                             << QStringList { "setCredentials [\"user@example.com\","
                                                              "\"secret-password\"]" }
                                             << false;
    QTest::newRow("password withheld: asks for it") << "protected" << QString() << QStringList {} << true;
    QTest::newRow("locked: nothing") << "locked" << QString() << QStringList {} << false;
}

void tst_MainWidgetLogin::trayLogin()
{
    QFETCH(QString, script);
    QFETCH(QString, password);
    QFETCH(QStringList, messages);
    QFETCH(bool, shownOnLoginPage);
    reach(ConsoleTest::withPush(ConsoleTest::script(script), QStringLiteral("setCredentials"),
        QVariantList { QStringLiteral("user@example.com"), password.isNull() ? QStringLiteral("") : password }));
    window()->hide();
    window()->login();
    if (!messages.isEmpty())
        QTRY_COMPARE(sent(), messages);
    QCOMPARE(sent(), messages);
    QCOMPARE(window()->isVisible(), shownOnLoginPage);
    if (shownOnLoginPage)
        QCOMPARE(page(window()), QStringLiteral("loginPage"));
}

void tst_MainWidgetLogin::typingReachesAField_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("how"); // "sign in", "unlock" or "tray"
    QTest::addColumn<QString>("pushedUser");
    QTest::addColumn<QString>("field"); // where the typed text lands
    QTest::addColumn<QString>("kept"); // the field's text before typing, selected

    QTest::newRow("sign-in refused") << "protected"
                                     << "sign in"
                                     << "user@example.com"
                                     << "lePassword"
                                     << "wrong";
    QTest::newRow("unlock refused") << "locked"
                                    << "unlock"
                                    << "user@example.com"
                                    << "lePassword"
                                    << "wrong";
    QTest::newRow("tray's Connect, password withheld") << "protected"
                                                       << "tray"
                                                       << "user@example.com"
                                                       << "lePassword" << QString();
    QTest::newRow("tray's Connect, no account") << "protected"
                                                << "tray" << QString() << "leUser" << QString();
}

// Whatever brought the sign-in page up, the keys the user types next land in a field.
void tst_MainWidgetLogin::typingReachesAField()
{
    QFETCH(QString, script);
    QFETCH(QString, how);
    QFETCH(QString, pushedUser);
    QFETCH(QString, field);
    QFETCH(QString, kept);
    const QString method
        = how == QLatin1String("unlock") ? QStringLiteral("unlockSettings") : QStringLiteral("setCredentials");
    QVariantMap pushed = ConsoleTest::withPush(ConsoleTest::script(script), QStringLiteral("setCredentials"),
        QVariantList { pushedUser.isNull() ? QStringLiteral("") : pushedUser,
            how == QLatin1String("tray") ? QStringLiteral("") : QStringLiteral("secret-password") });
    reach(MainWindowTest::withAnswer(pushed, method, MainWindowTest::errorAnswer(30, QString())));
    QVERIFY(QTest::qWaitForWindowActive(window()));
    if (how == QLatin1String("tray")) {
        // Chosen in the tray while the window is open on the status page.
        Q_EMIT child<QLabel>(window(), "lblAgentStatus")->linkActivated(QStringLiteral("agent:showhelp"));
        child<QPushButton>(window(), "pbHelpOk")->click();
        QCOMPARE(page(window()), QStringLiteral("welcomePage"));
        window()->login();
    } else {
        openLoginPage();
        auto password = child<QLineEdit>(window(), "lePassword");
        password->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), password);
        QTest::keyClick(password, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(password, kept);
        QTest::keyClick(password, Qt::Key_Return);
        QTRY_COMPARE(service()->messages(method).size(), 1);
        QTRY_VERIFY(child<QPushButton>(window(), "pbLogin")->isEnabled());
    }
    QCOMPARE(page(window()), QStringLiteral("loginPage"));
    auto target = child<QLineEdit>(window(), field.toLatin1().constData());
    // The window's own focus, which its keys reach once the window is active.
    QTRY_COMPARE(window()->focusWidget(), target);
    window()->activateWindow();
    QTRY_VERIFY(window()->isActiveWindow());
    QCOMPARE(QApplication::focusWidget(), target);
    QCOMPARE(target->text(), kept);
    QCOMPARE(target->selectedText(), kept);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("typed"));
    QCOMPARE(target->text(), QStringLiteral("typed"));
}

// At the first start there is no account to return to: what the parent typed stays, whatever key is pressed, and
// Cancel is offered only once there is an account to go back to.
void tst_MainWidgetLogin::firstStartKeepsWhatWasTyped()
{
    m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(QStringLiteral("signin")));
    MainWindowTest::slideAtOnce(window());
    QTRY_COMPARE(m_desktop->agent->status()->state(), int(ServiceStatus::IdentificationFailed));
    window()->show();
    QVERIFY(QTest::qWaitForWindowActive(window()));
    QTRY_COMPARE(page(window()), QStringLiteral("loginPage"));
    auto cancel = child<QPushButton>(window(), "pbCancelLogin");
    auto user = child<QLineEdit>(window(), "leUser");
    QTRY_VERIFY(user->isEnabled());
    QVERIFY(cancel->isHidden());
    auto complaint = child<QLabel>(window(), "lblSignupError");
    const QString shownBefore = complaint->isHidden() ? QString() : complaint->text();
    user->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), user);
    QTest::keyClicks(user, QStringLiteral("parent@example.com"));
    MainWindowTest::settle(m_desktop.get());
    // Escape would press Cancel a moment later; the sign-in below shows that nothing of it came.
    QTest::keyClick(user, Qt::Key_Escape);
    QCOMPARE(page(window()), QStringLiteral("loginPage"));
    QCOMPARE(user->text(), QStringLiteral("parent@example.com"));
    QCOMPARE(complaint->isHidden() ? QString() : complaint->text(), shownBefore);
    QCOMPARE(sent(), QStringList());

    QTest::keyClick(user, Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("pw"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(page(window()), QStringLiteral("welcomePage"));
    QCOMPARE(sent().value(0), QStringLiteral("setCredentials [\"parent@example.com\",\"pw\"]"));
    QCOMPARE(user->text(), QStringLiteral("parent@example.com"));
    // Signed in, the page has somewhere to go back to.
    openLoginPage();
    QVERIFY(!cancel->isHidden());
    cancel->click();
    QTRY_COMPARE(page(window()), QStringLiteral("settingsPage"));
}

CONSOLE_TEST_MAIN(tst_MainWidgetLogin)
#include "tst_mainwidgetlogin.moc"
