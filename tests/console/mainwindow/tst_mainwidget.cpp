#include "fakeservice.h"
#include "mainwindowtest.h"

#include "app/agent.h"
#include "mainwindow/mainwidget.h"
#include "mainwindow/slidingstackedwidget.h"
#include "model/cabinet.h"
#include "model/serviceconnector.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QUrl>

using MainWindowTest::child;
using MainWindowTest::page;

// The main window's pages and the ways between them: buttons, links, keys, the connection to the service.
class tst_MainWidget : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    // The desktop's browser, for https links.
    void openUrl(const QUrl &url) { m_opened.append(url); }

private Q_SLOTS:
    void init();
    void cleanup();

    void showPageRules_data();
    void showPageRules();
    void escape_data();
    void escape();
    void escapeOnLoginPageCancels();
    void controlAltA_data();
    void controlAltA();
    void returnInLoginFieldsClicksLogin();
    void focus();
    void links_data();
    void links();
    void cabinetErrorLink();
    void oneFilterDialog();
    void reconnectKeepsSettingsLocked();
    void connectionDropReturnsToWelcome();

private:
    MainWidget *window() const { return m_desktop->agent->mainWidget(); }
    void reach(const QString &script, bool connected);
    void setCurrent(const QString &name);
    void trigger(const QString &how);
    static QList<QDialog *> filterDialogs();

    std::unique_ptr<ConsoleTest::Desktop> m_desktop;
    QList<QUrl> m_opened;
};

void tst_MainWidget::init()
{
    MainWindowTest::failOnConnectionWarnings();
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
    m_opened.clear();
}

void tst_MainWidget::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    m_desktop.reset();
}

void tst_MainWidget::reach(const QString &script, bool connected)
{
    m_desktop = MainWindowTest::desktopIn(ServiceStatus::Protected, ConsoleTest::script(script));
    QCOMPARE(m_desktop->agent->status()->state(), int(ServiceStatus::Protected));
    window()->show();
    if (connected)
        return;
    m_desktop->service->stop();
    QTRY_COMPARE(m_desktop->agent->status()->state(), int(ServiceStatus::ServiceUnreachable));
}

void tst_MainWidget::setCurrent(const QString &name)
{
    SlidingStackedWidget *stack = MainWindowTest::stack(window());
    stack->setCurrentWidget(stack->findChild<QWidget *>(name));
    QCOMPARE(page(window()), name);
}

// "link:<command>" activates "agent:<command>" on the status text, "keys" presses Ctrl+Alt+A, any other text
// clicks the button of that name.
void tst_MainWidget::trigger(const QString &how)
{
    if (how.startsWith(QLatin1String("link:"))) {
        Q_EMIT child<QLabel>(window(), "lblAgentStatus")->linkActivated(QLatin1String("agent:") + how.mid(5));
        return;
    }
    if (how == QLatin1String("keys")) {
        QTest::keyClick(window(), Qt::Key_A, Qt::ControlModifier | Qt::AltModifier);
        return;
    }
    child<QAbstractButton>(window(), how.toLatin1().constData())->click();
}

QList<QDialog *> tst_MainWidget::filterDialogs()
{
    QList<QDialog *> dialogs;
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *candidate : windows) {
        if (candidate->inherits("FilterDlg") && candidate->isVisible())
            dialogs.append(qobject_cast<QDialog *>(candidate));
    }
    return dialogs;
}

void tst_MainWidget::showPageRules_data()
{
    QTest::addColumn<QString>("script"); // "protected": unlocked (mode 0); "locked": mode 1
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QString>("shown");

    const QString open = QStringLiteral("protected");
    const QString locked = QStringLiteral("locked");
    QTest::newRow("status link to settings") << open << true << "welcomePage"
                                             << "link:showsettings"
                                             << "settingsPage";
    QTest::newRow("status link to help") << open << true << "welcomePage"
                                         << "link:showhelp"
                                         << "helpPage";
    QTest::newRow("help link on the help page") << open << true << "helpPage"
                                                << "link:showhelp"
                                                << "helpPage";
    QTest::newRow("settings OK") << open << true << "settingsPage"
                                 << "pbHideSettings"
                                 << "welcomePage";
    QTest::newRow("common settings link") << open << true << "settingsPage"
                                          << "clbCommonSettings"
                                          << "commonSettingsPage";
    QTest::newRow("authentication link") << open << true << "settingsPage"
                                         << "clbChangeUser"
                                         << "loginPage";
    QTest::newRow("common settings OK") << open << true << "commonSettingsPage"
                                        << "pbHideCommonSettings"
                                        << "settingsPage";
    QTest::newRow("advanced OK") << open << true << "advancedSettingsPage"
                                 << "pbHideAdvSettings"
                                 << "welcomePage";
    QTest::newRow("help OK") << open << true << "helpPage"
                             << "pbHelpOk"
                             << "welcomePage";

    QTest::newRow("locked: settings link gives the login page") << locked << true << "welcomePage"
                                                                << "link:showsettings"
                                                                << "loginPage";
    QTest::newRow("locked: leaving settings gives the login page") << locked << true << "settingsPage"
                                                                   << "pbHideSettings"
                                                                   << "loginPage";
    QTest::newRow("locked: leaving advanced gives the login page") << locked << true << "advancedSettingsPage"
                                                                   << "pbHideAdvSettings"
                                                                   << "loginPage";
    QTest::newRow("locked: help is open") << locked << true << "welcomePage"
                                          << "link:showhelp"
                                          << "helpPage";
    QTest::newRow("locked: common settings are lockable") << locked << true << "welcomePage"
                                                          << "clbCommonSettings"
                                                          << "loginPage";
    QTest::newRow("locked: login to welcome") << locked << true << "loginPage"
                                              << "pbHelpOk"
                                              << "welcomePage";

    QTest::newRow("unconnected: settings refused") << open << false << "welcomePage"
                                                   << "link:showsettings"
                                                   << "welcomePage";
    QTest::newRow("unconnected: help from the login page") << open << false << "loginPage"
                                                           << "link:showhelp"
                                                           << "helpPage";
    QTest::newRow("unconnected: a service page from a service page") << open << false << "loginPage"
                                                                     << "link:showsettings"
                                                                     << "welcomePage";
    QTest::newRow("unconnected: settings from help") << open << false << "helpPage"
                                                     << "link:showsettings"
                                                     << "helpPage";
    QTest::newRow("unconnected: common settings OK stays") << open << false << "commonSettingsPage"
                                                           << "pbHideCommonSettings"
                                                           << "commonSettingsPage";
    QTest::newRow("unconnected and locked: help") << locked << false << "welcomePage"
                                                  << "link:showhelp"
                                                  << "helpPage";
    QTest::newRow("unconnected and locked: settings refused") << locked << false << "helpPage"
                                                              << "link:showsettings"
                                                              << "helpPage";
}

void tst_MainWidget::showPageRules()
{
    QFETCH(QString, script);
    QFETCH(bool, connected);
    QFETCH(QString, current);
    QFETCH(QString, trigger);
    QFETCH(QString, shown);
    reach(script, connected);
    QCOMPARE(window()->loginMode(), script == QLatin1String("locked") ? 1 : 0);
    setCurrent(current);
    this->trigger(trigger);
    QCOMPARE(page(window()), shown);
    QVERIFY(!MainWindowTest::stack(window())->isSliding());
}

void tst_MainWidget::escape_data()
{
    QTest::addColumn<QString>("on");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("visible");
    QTest::newRow("welcome page hides the window") << "welcomePage"
                                                   << "welcomePage" << false;
    QTest::newRow("settings page") << "settingsPage"
                                   << "welcomePage" << true;
    QTest::newRow("help page") << "helpPage"
                               << "welcomePage" << true;
    QTest::newRow("common settings tabs do nothing") << "commonSettingsPage"
                                                     << "commonSettingsPage" << true;
    QTest::newRow("advanced page does nothing") << "advancedSettingsPage"
                                                << "advancedSettingsPage" << true;
}

void tst_MainWidget::escape()
{
    QFETCH(QString, on);
    QFETCH(QString, shown);
    QFETCH(bool, visible);
    reach(QStringLiteral("protected"), true);
    setCurrent(on);
    QTest::keyClick(child<QWidget>(window(), on.toLatin1().constData()), Qt::Key_Escape);
    QCOMPARE(page(window()), shown);
    QCOMPARE(window()->isVisible(), visible);
}

// Escape on the login page presses Cancel for a moment, then clicks it: with the fields unchanged, the window
// returns to the settings menu.
void tst_MainWidget::escapeOnLoginPageCancels()
{
    reach(QStringLiteral("protected"), true);
    setCurrent(QStringLiteral("settingsPage"));
    trigger(QStringLiteral("clbChangeUser"));
    QCOMPARE(page(window()), QStringLiteral("loginPage"));
    auto cancel = child<QPushButton>(window(), "pbCancelLogin");
    QSignalSpy clicked(cancel, &QPushButton::clicked);
    QTest::keyClick(child<QWidget>(window(), "loginPage"), Qt::Key_Escape);
    QVERIFY(cancel->isDown());
    QCOMPARE(clicked.size(), 0);
    QCOMPARE(page(window()), QStringLiteral("loginPage"));
    QTRY_COMPARE(clicked.size(), 1);
    QCOMPARE(page(window()), QStringLiteral("settingsPage"));
    QVERIFY(window()->isVisible());
}

void tst_MainWidget::controlAltA_data()
{
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("shown");
    const int controlAlt = int(Qt::ControlModifier | Qt::AltModifier);
    QTest::newRow("Ctrl+Alt+A") << controlAlt << true << "advancedSettingsPage";
    QTest::newRow("Ctrl+Shift+Alt+A") << int(controlAlt | Qt::ShiftModifier) << true << "welcomePage";
    QTest::newRow("Ctrl+A") << int(Qt::ControlModifier) << true << "welcomePage";
    QTest::newRow("Ctrl+Alt+A unconnected") << controlAlt << false << "welcomePage";
}

void tst_MainWidget::controlAltA()
{
    QFETCH(int, modifiers);
    QFETCH(bool, connected);
    QFETCH(QString, shown);
    reach(QStringLiteral("protected"), connected);
    QTest::keyClick(window(), Qt::Key_A, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(page(window()), shown);
}

// Return in each field of the login page clicks Login, which signs in with what the fields hold.
void tst_MainWidget::returnInLoginFieldsClicksLogin()
{
    reach(QStringLiteral("protected"), true);
    auto login = child<QPushButton>(window(), "pbLogin");
    QSignalSpy clicks(login, &QPushButton::clicked);
    for (const char *name : { "leUser", "lePassword", "leRepeatPassword" }) {
        const qsizetype before = clicks.size();
        QTest::keyClick(child<QLineEdit>(window(), name), Qt::Key_Return);
        QTRY_COMPARE(clicks.size(), before + 1);
        QTRY_VERIFY(login->isEnabled());
    }
    QTRY_COMPARE(m_desktop->service->messages(QStringLiteral("setCredentials")).size(), 3);
}

void tst_MainWidget::focus()
{
    reach(QStringLiteral("locked"), true);
    QCOMPARE(window()->loginMode(), 1);
    QCOMPARE(window()->focusWidget(), child<QWidget>(window(), "lePassword"));
    QCOMPARE(child<QWidget>(window(), "pbHideAgent")->focusPolicy(), Qt::ClickFocus);
    QCOMPARE(child<QWidget>(window(), "btnGlobalFiltering")->focusPolicy(), Qt::NoFocus);
}

void tst_MainWidget::links_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("opened");
    QTest::newRow("help") << "agent:showhelp"
                          << "helpPage" << 0 << QString();
    QTest::newRow("help in capitals does nothing") << "agent:SHOWHELP"
                                                   << "welcomePage" << 0 << QString();
    QTest::newRow("unknown command does nothing") << "agent:showeverything"
                                                  << "welcomePage" << 0 << QString();
    QTest::newRow("register form") << "agent:showregisterform"
                                   << "welcomePage" << 2 << QString();
    QTest::newRow("https goes to the browser")
        << "https://www.velmor.example/billing/order?plan=PREMIUM"
        << "welcomePage" << 0 << "https://www.velmor.example/billing/order?plan=PREMIUM";
    QTest::newRow("percent escapes are decoded") << "https://www.velmor.example/a%20b"
                                                 << "welcomePage" << 0 << "https://www.velmor.example/a b";
}

void tst_MainWidget::links()
{
    QFETCH(QString, link);
    QFETCH(QString, shown);
    QFETCH(int, mode);
    QFETCH(QString, opened);
    reach(QStringLiteral("protected"), true);
    Q_EMIT child<QLabel>(window(), "lblAgentStatus")->linkActivated(link);
    QCOMPARE(page(window()), shown);
    QCOMPARE(window()->loginMode(), mode);
    QCOMPARE(m_opened.size(), opened.isEmpty() ? 0 : 1);
    if (!opened.isEmpty())
        QCOMPARE(m_opened.first(), QUrl(opened));

    // The same handler serves the help hint and "Don't have an account yet?".
    Q_EMIT child<QLabel>(window(), "lblRegisterNew")->linkActivated(QStringLiteral("agent:showhelp"));
    QCOMPARE(page(window()), QStringLiteral("helpPage"));
}

void tst_MainWidget::cabinetErrorLink()
{
    reach(QStringLiteral("protected"), true);
    ConsoleTest::pushTowards(m_desktop->service.get(), ServiceStatus::IdentificationFailed);
    QTRY_COMPARE(m_desktop->agent->status()->state(), int(ServiceStatus::IdentificationFailed));
    const QString status = child<QLabel>(window(), "lblAgentStatus")->text();
    QVERIFY(status.contains(QLatin1String("<a href=\"agent:showcabineterror\">Error details</a>")));
    QString shown;
    MainWindowTest::answerNextModal(QStringLiteral("OK"), &shown);
    Q_EMIT child<QLabel>(window(), "lblAgentStatus")->linkActivated(QStringLiteral("agent:showcabineterror"));
    QCOMPARE(shown, QStringLiteral("Failed to connect to cabinet: down"));
}

// One filter dialog at a time: a second click raises it; once closed a new one comes; a new connection closes it.
void tst_MainWidget::oneFilterDialog()
{
    reach(QStringLiteral("protected"), true);
    auto link = child<QAbstractButton>(window(), "clbFilter");
    QVERIFY(link->isEnabled());
    link->click();
    QCOMPARE(filterDialogs().size(), 1);
    QPointer<QDialog> first = filterDialogs().first();
    QCOMPARE(first->parentWidget(), window());
    QVERIFY(!first->isModal());
    link->click();
    QCOMPARE(filterDialogs().size(), 1);
    QCOMPARE(filterDialogs().first(), first.data());

    first->close();
    QTRY_VERIFY(first.isNull());
    link->click();
    QCOMPARE(filterDialogs().size(), 1);
    QPointer<QDialog> second = filterDialogs().first();

    m_desktop->service->stop();
    QTRY_VERIFY(second.isNull());
    QCOMPARE(filterDialogs().size(), 0);
}

// The lock survives a reconnect: locked, the service drops the link and takes it again without an identification.
// The new connection is not complete, so the protected pages stay closed; once the identification arrives the
// window is locked again.
void tst_MainWidget::reconnectKeepsSettingsLocked()
{
    reach(QStringLiteral("locked"), true);
    QCOMPARE(window()->loginMode(), 1);
    FakeService *service = m_desktop->service.get();
    Agent *agent = m_desktop->agent.get();
    service->setScript(ConsoleTest::withPush(
        ConsoleTest::script(QStringLiteral("locked")), QStringLiteral("setIdentification"), QVariant()));
    service->stop();
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::ServiceUnreachable));
    QVERIFY(service->listen());
    // The last push of the new connection; the identification that would complete it is held back.
    QSignalSpy lastPush(agent->cabinet(), &Cabinet::identificationStateChanged);
    agent->connector()->timer_reconnectToService();
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::Connecting));
    QTRY_COMPARE(lastPush.size(), 1);

    QCOMPARE(window()->loginMode(), 0);
    auto settings = child<QWidget>(window(), "settingsPage");
    QVERIFY(!settings->isEnabled());
    QVERIFY(!child<QWidget>(window(), "advancedSettingsPage")->isEnabled());
    QVERIFY(!child<QWidget>(window(), "loginPage")->isEnabled());
    trigger(QStringLiteral("link:showsettings"));
    QCOMPARE(page(window()), QStringLiteral("settingsPage"));
    trigger(QStringLiteral("clbCommonSettings"));
    trigger(QStringLiteral("clbFilter"));
    QCOMPARE(page(window()), QStringLiteral("settingsPage"));
    QCOMPARE(filterDialogs().size(), 0);

    service->push(QStringLiteral("setIdentification"), { 1, 2 });
    QTRY_COMPARE(window()->loginMode(), 1);
    QCOMPARE(page(window()), QStringLiteral("loginPage"));
    QVERIFY(settings->isEnabled());
    trigger(QStringLiteral("link:showsettings"));
    QCOMPARE(page(window()), QStringLiteral("loginPage"));
}

void tst_MainWidget::connectionDropReturnsToWelcome()
{
    reach(QStringLiteral("protected"), true);
    setCurrent(QStringLiteral("commonSettingsPage"));
    m_desktop->service->stop();
    QTRY_COMPARE(page(window()), QStringLiteral("welcomePage"));
    QCOMPARE(window()->loginMode(), 0);
    QVERIFY(!child<QWidget>(window(), "settingsPage")->isEnabled());
}

CONSOLE_TEST_MAIN(tst_MainWidget)
#include "tst_mainwidget.moc"
