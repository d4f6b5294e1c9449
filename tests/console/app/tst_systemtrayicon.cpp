#include "consoletest.h"
#include "fakeservice.h"

#include "app/animatedoverlayicon.h"
#include "app/systemtrayicon.h"
#include "model/cabinet.h"
#include "model/settingsunlock.h"

#include "velmorwire/accountdatatypes.h"
#include "velmorwire/deferred.h"
#include "velmorwire/error.h"
#include "velmorwire/jsonrpccall.h"

#include <QMenu>
#include <QMovie>
#include <QSet>
#include <QSignalSpy>

#include <algorithm>

// The tray on the desktop's model alone: the status, the gate of locked settings and the account model on the fake
// service, with no Agent or window.
class tst_SystemTrayIcon : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void badgePerState_data();
    void badgePerState();
    void connectingAnimates();
    void oneCompositionPerBadge();
    void menuPerState_data();
    void menuPerState();
    void activation_data();
    void activation();
    void entriesAskTheProgram_data();
    void entriesAskTheProgram();
    void pauseEntries_data();
    void pauseEntries();
    void profileChoice_data();
    void profileChoice();
    void noSelectedProfileNoMark();
    void rebuildsLeaveNothingBehind();
    void profileNamesShownAsTyped();

private:
    // Brings the model to a state through the fake service's pushes.
    void reach(int state);
    // Every call sent before it has reached the service once a later one has.
    void roundTrip();

    std::unique_ptr<ConsoleTest::Tray> m_tray;
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

void tst_SystemTrayIcon::initTestCase()
{
    Velmor::registerErrorMetaType();
    Velmor::registerDeferredMetaType();
    Velmor::registerAccountDataTypes();
    ConsoleTest::loadResources();
}

void tst_SystemTrayIcon::cleanup()
{
    m_tray.reset();
}

void tst_SystemTrayIcon::reach(int state)
{
    m_tray = std::make_unique<ConsoleTest::Tray>(ConsoleTest::script(QStringLiteral("protected")));
    ServiceStatus *status = &m_tray->model.status;
    QTRY_COMPARE(status->state(), int(ServiceStatus::Protected));
    ConsoleTest::pushTowards(m_tray->model.service.get(), state);
    QTRY_COMPARE(status->state(), state);
}

void tst_SystemTrayIcon::roundTrip()
{
    QSignalSpy finished(m_tray->model.connector.call("probe"), &Velmor::JsonRPCCall::finished);
    QTRY_COMPARE(finished.size(), 1);
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
    SystemTrayIcon *tray = &m_tray->icon;
    QCOMPARE(tray->toolTip(), m_tray->model.status.stateText());
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
    m_tray = std::make_unique<ConsoleTest::Tray>(script);
    ServiceStatus *status = &m_tray->model.status;
    SystemTrayIcon *tray = &m_tray->icon;
    QTRY_COMPARE(status->state(), int(ServiceStatus::Connecting));
    QCOMPARE(tray->animation()->movie()->state(), QMovie::Running);
    QTRY_VERIFY(tray->animation()->composedFrames() >= 2);
    QCOMPARE(tray->animation()->movie()->scaledSize(), QSize(12, 12));
    const qint64 frame = tray->icon().cacheKey();
    QTRY_VERIFY(tray->icon().cacheKey() != frame);
    // The cache fills once: a loop later, no frame is composed again.
    QTRY_VERIFY(tray->animation()->composedFrames() == tray->animation()->movie()->frameCount());
    m_tray->model.service->push(QStringLiteral("setIdentification"), { 1, 2 });
    QTRY_COMPARE(status->state(), int(ServiceStatus::Protected));
    QVERIFY(tray->animation()->movie()->state() != QMovie::Running);
}

void tst_SystemTrayIcon::oneCompositionPerBadge()
{
    reach(ServiceStatus::Protected);
    ServiceStatus *status = &m_tray->model.status;
    SystemTrayIcon *tray = &m_tray->icon;
    QSet<qint64> icons;
    QSet<QString> tooltips;
    for (int change = 0; change < 1000; ++change) {
        switch (change % 4) {
        case 0:
            status->setGlobalFilteringState(false); // 6
            break;
        case 1:
            status->applyNetworkProtection(QStringLiteral("eth0"), false); // still 6
            break;
        case 2:
            status->setGlobalFilteringState(true); // 5
            break;
        default:
            status->applyNetworkProtection(QStringLiteral("eth0"), true); // 7
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
    QCOMPARE(visibleEntries(&m_tray->icon), entries);
}

void tst_SystemTrayIcon::activation_data()
{
    QTest::addColumn<int>("reason");
    QTest::addColumn<bool>("shows");
    QTest::newRow("click") << int(QSystemTrayIcon::Trigger) << true;
    QTest::newRow("double click") << int(QSystemTrayIcon::DoubleClick) << true;
    QTest::newRow("middle click") << int(QSystemTrayIcon::MiddleClick) << true;
    QTest::newRow("right click") << int(QSystemTrayIcon::Context) << false;
}

void tst_SystemTrayIcon::activation()
{
    QFETCH(int, reason);
    QFETCH(bool, shows);
    reach(ServiceStatus::Protected);
    QSignalSpy shown(&m_tray->icon, &SystemTrayIcon::showMain);
    Q_EMIT m_tray->icon.activated(QSystemTrayIcon::ActivationReason(reason));
    QCOMPARE(shown.size(), shows ? 1 : 0);
}

void tst_SystemTrayIcon::entriesAskTheProgram_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("quit");
    QTest::newRow("connect asks for the sign-in") << "&Connect" << false;
    QTest::newRow("quit asks the program to quit") << "&Quit" << true;
}

void tst_SystemTrayIcon::entriesAskTheProgram()
{
    QFETCH(QString, entry);
    QFETCH(bool, quit);
    reach(ServiceStatus::IdentificationFailed);
    QSignalSpy signIn(&m_tray->icon, &SystemTrayIcon::signInRequested);
    QSignalSpy quitting(&m_tray->icon, &SystemTrayIcon::quitRequested);
    const QList<QAction *> actions = m_tray->icon.contextMenu()->actions();
    auto found = std::find_if(
        actions.cbegin(), actions.cend(), [&entry](const QAction *action) { return action->text() == entry; });
    QVERIFY(found != actions.cend());
    (*found)->trigger();
    QCOMPARE(signIn.size(), quit ? 0 : 1);
    QCOMPARE(quitting.size(), quit ? 1 : 0);
}

void tst_SystemTrayIcon::pauseEntries_data()
{
    QTest::addColumn<bool>("locked");
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("sent");
    QTest::newRow("until restart") << false << 0 << "[false,0]";
    QTest::newRow("5 minutes") << false << 1 << "[false,5]";
    QTest::newRow("30 minutes") << false << 2 << "[false,30]";
    QTest::newRow("1 hour") << false << 3 << "[false,60]";
    QTest::newRow("locked waits for the password") << true << 2 << QString();
}

void tst_SystemTrayIcon::pauseEntries()
{
    QFETCH(bool, locked);
    QFETCH(int, entry);
    QFETCH(QString, sent);
    reach(ServiceStatus::Protected);
    ServiceStatus *status = &m_tray->model.status;
    FakeService *service = m_tray->model.service.get();
    SystemTrayIcon *tray = &m_tray->icon;
    if (locked)
        m_tray->settingsUnlock.setMode(SettingsUnlock::Unlock);
    QSignalSpy unlockNeeded(&m_tray->settingsUnlock, &SettingsUnlock::unlockNeeded);
    const QList<QAction *> durations = tray->stopAction()->menu()->actions();
    QCOMPARE(durations.size(), 4);
    QCOMPARE(durations.at(0)->text(), QStringLiteral("Until start or reboot"));
    QCOMPARE(durations.at(1)->text(), QStringLiteral("5 minutes"));
    QCOMPARE(durations.at(2)->text(), QStringLiteral("30 minutes"));
    QCOMPARE(durations.at(3)->text(), QStringLiteral("1 hour"));
    durations.at(entry)->trigger();
    QCOMPARE(unlockNeeded.size(), locked ? 1 : 0);
    if (locked) {
        roundTrip();
        QCOMPARE(service->messages(QStringLiteral("setGlobalFiltering")).size(), 0);
        return;
    }
    QTRY_COMPARE(status->state(), int(ServiceStatus::FilteringOff));
    QCOMPARE(service->messages(QStringLiteral("setGlobalFiltering")).first().paramsText, sent);
    QCOMPARE(visibleEntries(tray).first(), QStringLiteral("&Start filtering"));
    tray->startAction()->trigger();
    QTRY_COMPARE(status->state(), int(ServiceStatus::Protected));
    QCOMPARE(service->messages(QStringLiteral("setGlobalFiltering")).last().paramsText, QStringLiteral("[true,0]"));
}

void tst_SystemTrayIcon::profileChoice_data()
{
    QTest::addColumn<bool>("locked");
    QTest::newRow("unlocked: sent at once") << false;
    QTest::newRow("locked: held for the password") << true;
}

void tst_SystemTrayIcon::profileChoice()
{
    QFETCH(bool, locked);
    reach(ServiceStatus::Protected);
    FakeService *service = m_tray->model.service.get();
    SystemTrayIcon *tray = &m_tray->icon;
    if (locked)
        m_tray->settingsUnlock.setMode(SettingsUnlock::Unlock);
    QSignalSpy unlockNeeded(&m_tray->settingsUnlock, &SettingsUnlock::unlockNeeded);
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
    QCOMPARE(unlockNeeded.size(), locked ? 1 : 0);
    if (!locked) {
        QTRY_COMPARE(service->messages(QStringLiteral("setProfile")).size(), 1);
        QCOMPARE(service->messages(QStringLiteral("setProfile")).first().paramsText, QStringLiteral("[1]"));
        service->push(QStringLiteral("setSelectedProfile"), { 1 });
        QTRY_COMPARE(tray->currentProfileAction()->text(), QStringLiteral("Home"));
        return;
    }
    roundTrip();
    QCOMPARE(service->messages(QStringLiteral("setProfile")).size(), 0);
}

void tst_SystemTrayIcon::noSelectedProfileNoMark()
{
    reach(ServiceStatus::Protected);
    Cabinet *cabinet = &m_tray->model.cabinet;
    cabinet->setSelectedProfile(99);
    SystemTrayIcon *tray = &m_tray->icon;
    QCOMPARE(tray->currentProfileAction(), nullptr);
    const QList<QAction *> entries = tray->profilesMenu()->actions();
    QCOMPARE(entries.size(), 2);
    for (QAction *entry : entries)
        QVERIFY(!entry->isChecked());
}

void tst_SystemTrayIcon::rebuildsLeaveNothingBehind()
{
    reach(ServiceStatus::Protected);
    Cabinet *cabinet = &m_tray->model.cabinet;
    SystemTrayIcon *tray = &m_tray->icon;
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
    Cabinet *cabinet = &m_tray->model.cabinet;
    Velmor::CabinetProfiles profiles = cabinet->profiles();
    profiles.value(2)->name = QStringLiteral("<i>Kid</i> & Co && more");
    cabinet->setProfiles(profiles, 2);
    SystemTrayIcon *tray = &m_tray->icon;
    QCOMPARE(tray->currentProfileAction()->text(), QStringLiteral("<i>Kid</i> && Co &&&& more"));
    QCOMPARE(QAction(tray->currentProfileAction()->text()).iconText(), QStringLiteral("<i>Kid</i> & Co && more"));
}

CONSOLE_TEST_MAIN(tst_SystemTrayIcon)
#include "tst_systemtrayicon.moc"
