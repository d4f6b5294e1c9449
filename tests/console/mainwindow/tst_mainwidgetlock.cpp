#include "fakeservice.h"
#include "mainwindowtest.h"

#include "app/agent.h"
#include "app/systemtrayicon.h"
#include "filter/filterdlg.h"
#include "mainwindow/mainwidget.h"
#include "mainwindow/slidingstackedwidget.h"
#include "model/cabinet.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

using MainWindowTest::child;
using MainWindowTest::page;

// The parents' lock as a child at a locked computer meets it: the window hidden on any page that changes settings,
// or in the middle of a slide, and shown again. What reaches the service is the proof.
class tst_MainWidgetLock : public QObject
{
    Q_OBJECT

public:
    // How the window is hidden.
    enum Hide { TrayClick, Close };
    Q_ENUM(Hide)

private Q_SLOTS:
    void init();
    void cleanup();

    void hiddenOnSettingsPage_data();
    void hiddenOnSettingsPage();
    void hiddenDuringSlide_data();
    void hiddenDuringSlide();
    void filterDialogClosesWithTheLock_data();
    void filterDialogClosesWithTheLock();
    void lockedWhileNotIdentified();

private:
    MainWidget *window() const { return m_desktop->agent->mainWidget(); }
    FakeService *service() const { return m_desktop->service.get(); }
    // The "locked" desktop, unlocked once with the password, on the settings menu.
    void unlockOnce();
    // The column "how": from the tray, and by closing the window.
    static void addHideRows();
    void hide(Hide how);
    void showFromTray();
    void openTab(int index);
    // Clicks the window where the point is, whatever widget is there now.
    void clickAt(const QPoint &windowPoint);
    // Everything the desktop sent since the last settle, once the service has it all.
    QStringList sentSinceSettle();

    std::unique_ptr<ConsoleTest::Desktop> m_desktop;
};

void tst_MainWidgetLock::init()
{
    MainWindowTest::failOnConnectionWarnings();
}

void tst_MainWidgetLock::cleanup()
{
    m_desktop.reset();
}

void tst_MainWidgetLock::unlockOnce()
{
    // An account with the IP mode feature, so the Advanced tab is there too.
    const QVariantMap userInfo {
        { QStringLiteral("features"),
            QVariantMap { { QStringLiteral("max_profiles"), 5 }, { QStringLiteral("agent_ip_mode"), 1 } } },
        { QStringLiteral("plan"),
            QVariantMap { { QStringLiteral("code"), QStringLiteral("FREE") },
                { QStringLiteral("name"), QStringLiteral("Free") } } },
        { QStringLiteral("tz"), 2 }
    };
    m_desktop = MainWindowTest::desktopIn(ServiceStatus::Protected,
        ConsoleTest::withPush(
            ConsoleTest::script(QStringLiteral("locked")), QStringLiteral("setUserInfo"), QVariantList { userInfo }));
    QCOMPARE(m_desktop->agent->status()->state(), int(ServiceStatus::Protected));
    window()->show();
    QVERIFY(QTest::qWaitForWindowExposed(window()));
    QCOMPARE(window()->loginMode(), 1);
    Q_EMIT child<QLabel>(window(), "lblAgentStatus")->linkActivated(QStringLiteral("agent:showsettings"));
    QCOMPARE(page(window()), QStringLiteral("loginPage"));
    auto password = child<QLineEdit>(window(), "lePassword");
    QTRY_VERIFY(password->hasFocus());
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("typed"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(window()->loginMode(), 0);
    QCOMPARE(page(window()), QStringLiteral("settingsPage"));
    MainWindowTest::settle(m_desktop.get());
}

void tst_MainWidgetLock::hide(Hide how)
{
    if (how == TrayClick)
        Q_EMIT m_desktop->agent->trayIcon()->activated(QSystemTrayIcon::Trigger);
    else
        window()->close();
    QVERIFY(!window()->isVisible());
}

void tst_MainWidgetLock::showFromTray()
{
    Q_EMIT m_desktop->agent->trayIcon()->activated(QSystemTrayIcon::Trigger);
    QVERIFY(QTest::qWaitForWindowExposed(window()));
    // Showing the window asks for the profiles; that is not what the tests look for.
    MainWindowTest::settle(m_desktop.get());
}

void tst_MainWidgetLock::openTab(int index)
{
    child<QPushButton>(window(), "clbCommonSettings")->click();
    QCOMPARE(page(window()), QStringLiteral("commonSettingsPage"));
    QTabBar *bar = child<QTabWidget>(window(), "settingsTabWidget")->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    QCOMPARE(child<QTabWidget>(window(), "settingsTabWidget")->currentIndex(), index);
}

void tst_MainWidgetLock::clickAt(const QPoint &windowPoint)
{
    QWidget *target = window()->childAt(windowPoint);
    QVERIFY2(target, "nothing at the point of the window that was clicked");
    QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(window(), windowPoint));
}

QStringList tst_MainWidgetLock::sentSinceSettle()
{
    // The link keeps the order: once this call is in, so is everything the desktop sent before it.
    m_desktop->agent->cabinet()->updateUserInfo();
    const auto arrived = [this] { return service()->methods().contains(QStringLiteral("updateUserInfo")); };
    if (!QTest::qWaitFor(arrived, 10000))
        return { QStringLiteral("<updateUserInfo never reached the service>") };
    QStringList list;
    const QList<FakeService::Message> messages = service()->messages();
    for (const FakeService::Message &message : messages) {
        if (message.method != QLatin1String("updateUserInfo"))
            list.append(message.method + QLatin1Char(' ') + message.paramsText);
    }
    service()->clearMessages();
    return list;
}

void tst_MainWidgetLock::hiddenOnSettingsPage_data()
{
    QTest::addColumn<int>("tab"); // -1: the settings menu; 3: the page of Ctrl+Alt+A
    QTest::addColumn<QString>("probe");
    QTest::addColumn<QString>("probeSends");
    QTest::addColumn<Hide>("how");
    QTest::newRow("settings menu, tray") << -1 << "clbCommonSettings" << QString() << TrayClick;
    QTest::newRow("General tab, tray") << 0 << "ckPasswordSettings"
                                       << "setSettingsProtection [false]\nsetSettingsProtection [true]" << TrayClick;
    QTest::newRow("General tab, closed") << 0 << "ckPasswordSettings"
                                         << "setSettingsProtection [false]\nsetSettingsProtection [true]" << Close;
    QTest::newRow("Internet Connections tab, tray") << 1 << "lstNetworks"
                                                    << "setNetworkProtection [\"wlan0\",true,[]]" << TrayClick;
    QTest::newRow("Advanced tab, closed") << 2 << "ckUseTokens"
                                          << "setTokensEnabled [false]\nsetTokensEnabled [true]" << Close;
    QTest::newRow("advanced page, tray") << 3 << "pbHideAdvSettings" << QString() << TrayClick;
}

// Whatever page the window was hidden on, it comes back on the login page, and a click where a setting was
// reaches no setting.
void tst_MainWidgetLock::hiddenOnSettingsPage()
{
    QFETCH(int, tab);
    QFETCH(QString, probe);
    QFETCH(QString, probeSends);
    QFETCH(Hide, how);
    unlockOnce();
    if (tab == 3)
        QTest::keyClick(window(), Qt::Key_A, Qt::ControlModifier | Qt::AltModifier);
    else if (tab >= 0)
        openTab(tab);
    QWidget *probed = child<QWidget>(window(), probe.toLatin1().constData());
    QVERIFY(probed->isVisible());
    // A check box is clicked on its box.
    QPoint point = probed->mapTo(
        window(), qobject_cast<QCheckBox *>(probed) ? QPoint(8, probed->height() / 2) : probed->rect().center());
    if (auto list = qobject_cast<QListWidget *>(probed)) {
        QCOMPARE(list->item(1)->text(), QStringLiteral("Wireless"));
        point = list->viewport()->mapTo(window(), list->visualItemRect(list->item(1)).center());
    }
    // The probe itself, on the open window: it does what the row says, so the same click later proves something. A
    // box is clicked twice, so the settings stay protected.
    if (!probeSends.isEmpty()) {
        clickAt(point);
        if (qobject_cast<QCheckBox *>(probed))
            clickAt(point);
        QCOMPARE(sentSinceSettle().join(QLatin1Char('\n')), probeSends);
    }
    const QString unlockedPage = page(window());

    hide(how);
    QCOMPARE(window()->loginMode(), 1);
    QCOMPARE(page(window()), QStringLiteral("loginPage"));
    showFromTray();
    QCOMPARE(page(window()), QStringLiteral("loginPage"));
    QVERIFY(!probed->isVisible());
    clickAt(point);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(sentSinceSettle().join(QLatin1Char('\n')), QString());
    QVERIFY(window()->findChildren<FilterDlg *>().isEmpty());
    QVERIFY2(page(window()) != unlockedPage, qPrintable(page(window())));
}

void tst_MainWidgetLock::addHideRows()
{
    QTest::addColumn<Hide>("how");
    QTest::newRow("tray") << TrayClick;
    QTest::newRow("closed") << Close;
}

void tst_MainWidgetLock::hiddenDuringSlide_data()
{
    addHideRows();
}

// OK on Common settings starts the slide to the settings menu; the lock that comes before it ends is not dropped.
void tst_MainWidgetLock::hiddenDuringSlide()
{
    QFETCH(Hide, how);
    unlockOnce();
    openTab(0);
    SlidingStackedWidget *stack = MainWindowTest::stack(window());
    stack->setSpeed(200);
    child<QPushButton>(window(), "pbHideCommonSettings")->click();
    QVERIFY(stack->isSliding());
    hide(how);
    QCOMPARE(window()->loginMode(), 1);
    QTRY_VERIFY(!stack->isSliding());
    showFromTray();
    QTRY_COMPARE(page(window()), QStringLiteral("loginPage"));
    QVERIFY(!stack->isSliding());
    auto filter = child<QPushButton>(window(), "clbFilter");
    QVERIFY(!filter->isVisible());
    clickAt(filter->mapTo(window(), filter->rect().center()));
    QVERIFY(window()->findChildren<FilterDlg *>().isEmpty());
    QCOMPARE(sentSinceSettle().join(QLatin1Char('\n')), QString());
}

void tst_MainWidgetLock::filterDialogClosesWithTheLock_data()
{
    addHideRows();
}

// The filter editor is a window of its own; it goes with the lock.
void tst_MainWidgetLock::filterDialogClosesWithTheLock()
{
    QFETCH(Hide, how);
    unlockOnce();
    child<QPushButton>(window(), "clbFilter")->click();
    QPointer<FilterDlg> dialog = window()->findChild<FilterDlg *>();
    QVERIFY(dialog);
    QTRY_VERIFY(dialog->isVisible());
    auto safeSearch = dialog->findChild<QCheckBox *>(QStringLiteral("ckSafeSearch"));
    QVERIFY(safeSearch);
    hide(how);
    QVERIFY(!dialog || !dialog->isVisible());
    QTRY_VERIFY(dialog.isNull());
    showFromTray();
    QCOMPARE(page(window()), QStringLiteral("loginPage"));
    QVERIFY(window()->findChildren<FilterDlg *>().isEmpty());
}

// The account service out of reach when the window connects: the settings are the account's all the same, and the
// window asks for the password before it shows any of them.
void tst_MainWidgetLock::lockedWhileNotIdentified()
{
    QVariantMap script = ConsoleTest::withPush(
        ConsoleTest::script(QStringLiteral("locked")), QStringLiteral("setIdentification"), QVariant());
    QVariantList push = script.value(QStringLiteral("push")).toList();
    push.append(QVariant(QVariantList { QStringLiteral("setIdentificationError"),
        QVariantList { 1,
            QVariantMap { { QStringLiteral("code"), 31 },
                { QStringLiteral("message"), QStringLiteral("Connection refused") } } } }));
    script.insert(QStringLiteral("push"), push);
    m_desktop = std::make_unique<ConsoleTest::Desktop>(script, true);
    MainWindowTest::slideAtOnce(window());
    QTRY_COMPARE(m_desktop->agent->status()->state(), int(ServiceStatus::IdentificationFailed));
    MainWindowTest::settle(m_desktop.get());
    window()->show();
    QVERIFY(QTest::qWaitForWindowExposed(window()));
    QCOMPARE(window()->loginMode(), 1);
    Q_EMIT child<QLabel>(window(), "lblAgentStatus")->linkActivated(QStringLiteral("agent:showsettings"));
    QCOMPARE(page(window()), QStringLiteral("loginPage"));
    QVERIFY(!child<QPushButton>(window(), "clbFilter")->isVisible());
    QVERIFY(!child<QPushButton>(window(), "clbCommonSettings")->isVisible());
    QCOMPARE(sentSinceSettle().join(QLatin1Char('\n')), QString());
}

CONSOLE_TEST_MAIN(tst_MainWidgetLock)
#include "tst_mainwidgetlock.moc"
