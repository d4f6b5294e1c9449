// The tray's menu on a real X display, as a tray host pops it: the windows of the menu and its submenus must
// map, which the offscreen platform cannot show. Run under xvfb-run (the CTest entry does).
#include "consoletest.h"
#include "fakeservice.h"

#include "app/systemtrayicon.h"
#include "model/cabinet.h"

#include "velmorwire/accountdatatypes.h"
#include "velmorwire/deferred.h"
#include "velmorwire/error.h"

#include <QMenu>
#include <QWindow>

class tst_TrayMenuDisplay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void profileSubmenuOpensOnceProfilesCome();

private:
    std::unique_ptr<ConsoleTest::Tray> m_tray;
};

namespace {

QAction *profileEntry(QMenu *menu)
{
    const QList<QAction *> actions = menu->actions();
    for (QAction *action : actions) {
        if (action->text() == QLatin1String("&Profile"))
            return action;
    }
    return nullptr;
}

bool isMapped(QWidget *widget)
{
    return widget->isVisible() && widget->windowHandle() && widget->windowHandle()->isExposed();
}

// The tray host pops the menu; the pointer then rests on the profile entry when the menu offers it.
void popAndHoverProfile(QMenu *menu)
{
    menu->popup(QPoint(40, 40));
    QTRY_VERIFY(isMapped(menu));
    QAction *profile = profileEntry(menu);
    if (!profile || !profile->isVisible())
        return;
    const QPoint at = menu->actionGeometry(profile).center();
    QTest::mouseMove(menu, at - QPoint(0, 3));
    QTest::mouseMove(menu, at);
}

void closeMenu(QMenu *menu)
{
    QTest::keyClick(menu, Qt::Key_Escape);
    QTest::keyClick(menu, Qt::Key_Escape);
    menu->hide();
    QTRY_VERIFY(!menu->isVisible());
}

} // namespace

void tst_TrayMenuDisplay::initTestCase()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server: run under xvfb-run");
    Velmor::registerErrorMetaType();
    Velmor::registerDeferredMetaType();
    Velmor::registerAccountDataTypes();
    ConsoleTest::loadResources();
}

void tst_TrayMenuDisplay::cleanup()
{
    m_tray.reset();
}

// Before sign-in the account has no profiles; the parent looks at the menu, then signs in.
void tst_TrayMenuDisplay::profileSubmenuOpensOnceProfilesCome()
{
    const QVariantMap full = ConsoleTest::script(QStringLiteral("protected"));
    QVariantList profiles;
    for (const QVariant &push : full.value(QStringLiteral("push")).toList()) {
        if (push.toList().value(0).toString() == QLatin1String("setProfiles"))
            profiles = push.toList().value(1).toList();
    }
    QVERIFY(!profiles.isEmpty());
    m_tray
        = std::make_unique<ConsoleTest::Tray>(ConsoleTest::withPush(full, QStringLiteral("setProfiles"), QVariant()));
    QTRY_COMPARE(m_tray->model.status.state(), int(ServiceStatus::Protected));
    QMenu *menu = m_tray->icon.contextMenu();

    popAndHoverProfile(menu);
    // Whatever the menu offers then is not an empty submenu.
    QAction *profile = profileEntry(menu);
    QVERIFY(profile);
    QVERIFY(!profile->isVisible() || !profile->menu()->isEmpty());
    closeMenu(menu);

    m_tray->model.service->push(QStringLiteral("setProfiles"), profiles);
    QTRY_COMPARE(m_tray->model.cabinet.profiles().size(), 2);
    popAndHoverProfile(menu);
    QVERIFY(profile->isVisible());
    QMenu *submenu = profile->menu();
    QCOMPARE(submenu->actions().size(), 2);
    QTRY_VERIFY(isMapped(submenu));
    QTRY_VERIFY(
        submenu->windowHandle()->geometry().height() > submenu->actionGeometry(submenu->actions().last()).bottom());
    closeMenu(menu);
}

int main(int argc, char **argv)
{
    ConsoleTest::prepareProcess();
    qputenv("QT_QPA_PLATFORM", "xcb");
    QtSingleApplication app(instanceId(), argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    tst_TrayMenuDisplay tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_traymenudisplay.moc"
