#include "consoletest.h"
#include "fakeservice.h"

#include "app/agent.h"
#include "app/animatedoverlayicon.h"
#include "app/systemtrayicon.h"
#include "mainwindow/mainwidget.h"
#include "model/cabinet.h"

#include <QMenu>
#include <QMovie>
#include <QSet>
#include <QSignalSpy>

class tst_SystemTrayIcon : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void badgePerState_data();
    void badgePerState();
    void connectingAnimates();
    void oneCompositionPerBadge();
    void menuPerState_data();
    void menuPerState();
    void activation_data();
    void activation();
    void pauseEntries_data();
    void pauseEntries();
    void profileChoice_data();
    void profileChoice();
    void noSelectedProfileNoMark();
    void rebuildsLeaveNothingBehind();
    void profileNamesShownAsTyped();

private:
    // Brings the desktop to a state through the fake service's pushes.
    void reach(int state);

    std::unique_ptr<ConsoleTest::Desktop> m_desktop;
};

namespace {

QStringList visibleEntries(SystemTrayIcon *tray)
{
    QStringList names;
    const QList<QAction *> actions = tray->contextMenu()->actions();
    for (QAction *action : actions) {
        if (action->isVisible() && !action->isSeparator())
            names.append(action->text());
    }
    return names;
}

int descendants(QObject *object)
{
    return int(object->findChildren<QObject *>().size());
}

} // namespace

void tst_SystemTrayIcon::cleanup()
{
    m_desktop.reset();
}

void tst_SystemTrayIcon::reach(int state)
{
    m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(QStringLiteral("protected")), true);
    Agent *agent = m_desktop->agent.get();
    FakeService *service = m_desktop->service.get();
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::Protected));
    ConsoleTest::pushTowards(service, state);
    QTRY_COMPARE(agent->status()->state(), state);
}

void tst_SystemTrayIcon::badgePerState_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("badge");
    QTest::newRow("1") << 1 << ":/icons/status-error";
    QTest::newRow("3") << 3 << ":/icons/status-warning";
    QTest::newRow("4") << 4 << ":/icons/status-warning";
    QTest::newRow("5") << 5 << ":/icons/status-info";
    QTest::newRow("6") << 6 << ":/icons/status-info";
    QTest::newRow("7") << 7 << ":/icons/status-ok";
}

void tst_SystemTrayIcon::badgePerState()
{
    QFETCH(int, state);
    QFETCH(QString, badge);
    reach(state);
    SystemTrayIcon *tray = m_desktop->agent->trayIcon();
    // State 1 comes from a service that stopped after the link was up.
    QCOMPARE(tray->toolTip(),
        state == 1 ? QStringLiteral("The connection to system service was interrupted!")
                   : m_desktop->agent->status()->stateText());
    QVERIFY(tray->animation()->movie()->state() != QMovie::Running);
    const QImage icon = tray->icon().pixmap(22, 22).toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(icon.size(), QSize(22, 22));
    // The badge sits in the lower right 12 x 12: a point of its disc away from the white marks.
    const QImage expected = QImage(badge).scaled(12, 12, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const QColor want = expected.pixelColor(2, 6);
    const QColor got = icon.pixelColor(12, 16);
    QVERIFY2(qAbs(want.red() - got.red()) < 12 && qAbs(want.green() - got.green()) < 12
            && qAbs(want.blue() - got.blue()) < 12,
        qPrintable(QStringLiteral("%1 instead of %2").arg(got.name(), want.name())));
    // The product image is there too: its upper left is not the badge.
    QVERIFY(icon.pixelColor(11, 4).alpha() > 0);
    QVERIFY(icon.pixelColor(11, 4) != got);
}

void tst_SystemTrayIcon::connectingAnimates()
{
    QVariantMap script = ConsoleTest::withPush(
        ConsoleTest::script(QStringLiteral("protected")), QStringLiteral("setIdentification"), QVariant());
    m_desktop = std::make_unique<ConsoleTest::Desktop>(script, true);
    Agent *agent = m_desktop->agent.get();
    SystemTrayIcon *tray = agent->trayIcon();
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::Connecting));
    QCOMPARE(tray->animation()->movie()->state(), QMovie::Running);
    QTRY_VERIFY(tray->animation()->composedFrames() >= 2);
    QCOMPARE(tray->animation()->movie()->scaledSize(), QSize(12, 12));
    const qint64 frame = tray->icon().cacheKey();
    QTRY_VERIFY(tray->icon().cacheKey() != frame);
    // The cache fills once: a loop later, no frame is composed again.
    QTRY_VERIFY(tray->animation()->composedFrames() == tray->animation()->movie()->frameCount());
    m_desktop->service->push(QStringLiteral("setIdentification"), { 1, 2 });
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::Protected));
    QVERIFY(tray->animation()->movie()->state() != QMovie::Running);
}

void tst_SystemTrayIcon::oneCompositionPerBadge()
{
    reach(ServiceStatus::Protected);
    Agent *agent = m_desktop->agent.get();
    SystemTrayIcon *tray = agent->trayIcon();
    QSet<qint64> icons;
    QSet<QString> tooltips;
    for (int change = 0; change < 1000; ++change) {
        switch (change % 4) {
        case 0:
            agent->status()->setGlobalFilteringState(false); // 6
            break;
        case 1:
            agent->status()->applyNetworkProtection(QStringLiteral("eth0"), false); // still 6
            break;
        case 2:
            agent->status()->setGlobalFilteringState(true); // 5
            break;
        default:
            agent->status()->applyNetworkProtection(QStringLiteral("eth0"), true); // 7
            break;
        }
        icons.insert(tray->icon().cacheKey());
        tooltips.insert(tray->toolTip());
    }
    // Badges 3 (states 5 and 6) and 4 (state 7): the same two icons throughout, only the tooltip changes.
    QCOMPARE(icons.size(), 2);
    QCOMPARE(tooltips.size(), 3);
}

void tst_SystemTrayIcon::menuPerState_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("1") << 1 << QStringList { "&Profile", "&Quit" };
    QTest::newRow("3") << 3 << QStringList { "&Connect", "&Profile", "&Quit" };
    QTest::newRow("4") << 4 << QStringList { "&Profile", "&Quit" };
    QTest::newRow("5") << 5 << QStringList { "&Profile", "&Quit" };
    QTest::newRow("6") << 6 << QStringList { "&Start filtering", "&Profile", "&Quit" };
    QTest::newRow("7") << 7 << QStringList { "&Stop filtering", "&Profile", "&Quit" };
}

void tst_SystemTrayIcon::menuPerState()
{
    QFETCH(int, state);
    QFETCH(QStringList, entries);
    reach(state);
    QCOMPARE(visibleEntries(m_desktop->agent->trayIcon()), entries);
}

void tst_SystemTrayIcon::activation_data()
{
    QTest::addColumn<int>("reason");
    QTest::addColumn<bool>("toggles");
    QTest::newRow("click") << int(QSystemTrayIcon::Trigger) << true;
    QTest::newRow("double click") << int(QSystemTrayIcon::DoubleClick) << true;
    QTest::newRow("middle click") << int(QSystemTrayIcon::MiddleClick) << true;
    QTest::newRow("right click") << int(QSystemTrayIcon::Context) << false;
}

void tst_SystemTrayIcon::activation()
{
    QFETCH(int, reason);
    QFETCH(bool, toggles);
    reach(ServiceStatus::Protected);
    Agent *agent = m_desktop->agent.get();
    const bool visible = agent->mainWidget()->isVisible();
    Q_EMIT agent->trayIcon()->activated(QSystemTrayIcon::ActivationReason(reason));
    QCOMPARE(agent->mainWidget()->isVisible(), toggles ? !visible : visible);
}

void tst_SystemTrayIcon::pauseEntries_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("sent");
    QTest::newRow("until restart") << "protected" << 0 << "[false,0]";
    QTest::newRow("5 minutes") << "protected" << 1 << "[false,5]";
    QTest::newRow("30 minutes") << "protected" << 2 << "[false,30]";
    QTest::newRow("1 hour") << "protected" << 3 << "[false,60]";
    QTest::newRow("locked waits for the password") << "locked" << 2 << QString();
}

void tst_SystemTrayIcon::pauseEntries()
{
    QFETCH(QString, script);
    QFETCH(int, entry);
    QFETCH(QString, sent);
    m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(script), true);
    Agent *agent = m_desktop->agent.get();
    FakeService *service = m_desktop->service.get();
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::Protected));
    SystemTrayIcon *tray = agent->trayIcon();
    const QList<QAction *> durations = tray->stopAction()->menu()->actions();
    QCOMPARE(durations.size(), 4);
    QCOMPARE(durations.at(0)->text(), QStringLiteral("Until start or reboot"));
    QCOMPARE(durations.at(1)->text(), QStringLiteral("5 minutes"));
    QCOMPARE(durations.at(2)->text(), QStringLiteral("30 minutes"));
    QCOMPARE(durations.at(3)->text(), QStringLiteral("1 hour"));
    durations.at(entry)->trigger();
    if (sent.isEmpty()) {
        QTRY_VERIFY(agent->mainWidget()->findChild<QWidget *>(QStringLiteral("loginPage"))->isVisible());
        // The window told the service once already, when the service's lock checked its box.
        agent->status()->setSettingsProtection(true);
        QTRY_COMPARE(service->messages(QStringLiteral("setSettingsProtection")).size(), 2);
        QCOMPARE(service->messages(QStringLiteral("setGlobalFiltering")).size(), 0);
        return;
    }
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::FilteringOff));
    QCOMPARE(service->messages(QStringLiteral("setGlobalFiltering")).first().paramsText, sent);
    QCOMPARE(visibleEntries(tray).first(), QStringLiteral("&Start filtering"));
    tray->startAction()->trigger();
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::Protected));
    QCOMPARE(service->messages(QStringLiteral("setGlobalFiltering")).last().paramsText, QStringLiteral("[true,0]"));
}

void tst_SystemTrayIcon::profileChoice_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("sent");
    QTest::newRow("unlocked: sent at once") << "protected" << true;
    QTest::newRow("locked: held for the password") << "locked" << false;
}

void tst_SystemTrayIcon::profileChoice()
{
    QFETCH(QString, script);
    QFETCH(bool, sent);
    m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(script), true);
    Agent *agent = m_desktop->agent.get();
    FakeService *service = m_desktop->service.get();
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::Protected));
    SystemTrayIcon *tray = agent->trayIcon();
    const QList<QAction *> entries = tray->profilesMenu()->actions();
    QSet<QString> names;
    QAction *home = nullptr;
    for (QAction *entry : entries) {
        names.insert(entry->text());
        if (entry->text() == QLatin1String("Home"))
            home = entry;
    }
    QCOMPARE(names, (QSet<QString> { "Home", "Kids" }));
    QCOMPARE(tray->currentProfileAction()->text(), QStringLiteral("Kids"));
    QVERIFY(tray->currentProfileAction()->isChecked());

    home->trigger();
    // The mark stays on the profile the model has until the service reports the change.
    QVERIFY(tray->currentProfileAction()->isChecked());
    QVERIFY(!home->isChecked());
    if (sent) {
        QTRY_COMPARE(service->messages(QStringLiteral("setProfile")).size(), 1);
        QCOMPARE(service->messages(QStringLiteral("setProfile")).first().paramsText, QStringLiteral("[1]"));
        service->push(QStringLiteral("setSelectedProfile"), { 1 });
        QTRY_COMPARE(tray->currentProfileAction()->text(), QStringLiteral("Home"));
        return;
    }
    QTRY_VERIFY(agent->mainWidget()->findChild<QWidget *>(QStringLiteral("loginPage"))->isVisible());
    agent->status()->setSettingsProtection(true);
    QTRY_COMPARE(service->messages(QStringLiteral("setSettingsProtection")).size(), 2);
    QCOMPARE(service->messages(QStringLiteral("setProfile")).size(), 0);
}

void tst_SystemTrayIcon::noSelectedProfileNoMark()
{
    reach(ServiceStatus::Protected);
    Cabinet *cabinet = m_desktop->agent->cabinet();
    cabinet->setSelectedProfile(99);
    SystemTrayIcon *tray = m_desktop->agent->trayIcon();
    QCOMPARE(tray->currentProfileAction(), nullptr);
    const QList<QAction *> entries = tray->profilesMenu()->actions();
    QCOMPARE(entries.size(), 2);
    for (QAction *entry : entries)
        QVERIFY(!entry->isChecked());
}

void tst_SystemTrayIcon::rebuildsLeaveNothingBehind()
{
    reach(ServiceStatus::Protected);
    Cabinet *cabinet = m_desktop->agent->cabinet();
    SystemTrayIcon *tray = m_desktop->agent->trayIcon();
    const Velmor::CabinetProfiles profiles = cabinet->profiles();
    cabinet->setProfiles(profiles, 1);
    const int icon = descendants(tray);
    const int menu = descendants(tray->profilesMenu());
    for (int rebuild = 0; rebuild < 100; ++rebuild)
        cabinet->setProfiles(profiles, rebuild % 2 ? 1 : 2);
    QCOMPARE(descendants(tray), icon);
    QCOMPARE(descendants(tray->profilesMenu()), menu);
    QCOMPARE(tray->profilesMenu()->actions().size(), 2);
}

// A menu takes "&" for the mark of the key that chooses an entry: the profile's name shows whole.
void tst_SystemTrayIcon::profileNamesShownAsTyped()
{
    reach(ServiceStatus::Protected);
    Cabinet *cabinet = m_desktop->agent->cabinet();
    Velmor::CabinetProfiles profiles = cabinet->profiles();
    profiles.value(2)->name = QStringLiteral("<i>Kid</i> & Co && more");
    cabinet->setProfiles(profiles, 2);
    SystemTrayIcon *tray = m_desktop->agent->trayIcon();
    QCOMPARE(tray->currentProfileAction()->text(), QStringLiteral("<i>Kid</i> && Co &&&& more"));
    QCOMPARE(QAction(tray->currentProfileAction()->text()).iconText(), QStringLiteral("<i>Kid</i> & Co && more"));
}

CONSOLE_TEST_MAIN(tst_SystemTrayIcon)
#include "tst_systemtrayicon.moc"
