#include "fakeservice.h"
#include "mainwindowtest.h"

#include "app/agent.h"
#include "mainwindow/mainwidget.h"
#include "mainwindow/memorymsgbox.h"
#include "mainwindow/updatedialog.h"
#include "model/appupdater.h"
#include "model/autostart.h"
#include "scratchroot.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionViewItem>
#include <QTabWidget>
#include <QTimer>

using MainWindowTest::child;

namespace {

class QuitWatcher : public QObject
{
public:
    bool seen = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == qApp && event->type() == QEvent::Quit) {
            seen = true;
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

// The common settings tabs: network rows that change only through the service, the local DNS proxy address,
// autostart with its remembered question, update checks, and the switches that go straight to the service.
class tst_MainWidgetSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void networkRows();
    void rowChangesOnlyThroughTheService_data();
    void rowChangesOnlyThroughTheService();
    void rebuildDropsPendingRow();
    void addressQuestionByKeyboard_data();
    void addressQuestionByKeyboard();
    void localProxyAddressShown_data();
    void localProxyAddressShown();
    void localProxyAddressSent_data();
    void localProxyAddressSent();
    void autostartQuestion();
    void autostartQuestionOverWindow();
    void rememberedAutostartAnswer_data();
    void rememberedAutostartAnswer();
    void newVersionChecks();
    void checkBoxFollowsTheUpdater_data();
    void checkBoxFollowsTheUpdater();
    void switchesGoToTheService_data();
    void switchesGoToTheService();

private:
    MainWidget *window() const { return m_desktop->agent->mainWidget(); }
    FakeService *service() const { return m_desktop->service.get(); }
    QListWidget *list() const { return child<QListWidget>(window(), "lstNetworks"); }
    void reach(const QVariantMap &script);
    // The settings tab holding the widget is shown, so its rows and fields are laid out.
    void showTab(const char *tab);
    QPoint checkIndicator(QListWidgetItem *row) const;
    static MemoryMsgBox *openQuestion();

    std::unique_ptr<ConsoleTest::Desktop> m_desktop;
};

void tst_MainWidgetSettings::init()
{
    MainWindowTest::failOnConnectionWarnings();
}

void tst_MainWidgetSettings::cleanup()
{
    delete openQuestion();
    m_desktop.reset();
}

void tst_MainWidgetSettings::reach(const QVariantMap &script)
{
    m_desktop = MainWindowTest::desktopIn(ServiceStatus::Protected, script);
    QCOMPARE(m_desktop->agent->status()->state(), int(ServiceStatus::Protected));
}

void tst_MainWidgetSettings::showTab(const char *tab)
{
    Q_EMIT child<QLabel>(window(), "lblAgentStatus")->linkActivated(QStringLiteral("agent:showsettings"));
    child<QAbstractButton>(window(), "clbCommonSettings")->click();
    child<QTabWidget>(window(), "settingsTabWidget")->setCurrentWidget(child<QWidget>(window(), tab));
    window()->show();
    QVERIFY(QTest::qWaitForWindowExposed(window()));
}

QPoint tst_MainWidgetSettings::checkIndicator(QListWidgetItem *row) const
{
    QStyleOptionViewItem option;
    option.initFrom(list());
    option.rect = list()->visualItemRect(row);
    option.features |= QStyleOptionViewItem::HasCheckIndicator;
    return list()->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list()).center();
}

MemoryMsgBox *tst_MainWidgetSettings::openQuestion()
{
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *candidate : windows) {
        auto question = qobject_cast<MemoryMsgBox *>(candidate);
        if (question && question->isVisible())
            return question;
    }
    return nullptr;
}

// One row per network in the service's order, checked while protected, the default-route network in bold.
void tst_MainWidgetSettings::networkRows()
{
    reach(ConsoleTest::script(QStringLiteral("protected")));
    QCOMPARE(list()->count(), 2);
    QCOMPARE(list()->item(0)->text(), QStringLiteral("Wired"));
    QCOMPARE(list()->item(0)->checkState(), Qt::Checked);
    QVERIFY(list()->item(0)->font().bold());
    QCOMPARE(list()->item(1)->text(), QStringLiteral("Wireless"));
    QCOMPARE(list()->item(1)->checkState(), Qt::Unchecked);
    QVERIFY(!list()->item(1)->font().bold());
}

void tst_MainWidgetSettings::rowChangesOnlyThroughTheService_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("keyboard");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QString>("sent");

    QTest::newRow("click on an unprotected row") << 1 << false << false << "[\"wlan0\",true,[]]";
    QTest::newRow("click on a protected row") << 0 << false << false << "[\"eth0\",false,[]]";
    QTest::newRow("space on an unprotected row") << 1 << true << false << "[\"wlan0\",true,[]]";
    QTest::newRow("space on a protected row") << 0 << true << false << "[\"eth0\",false,[]]";
    QTest::newRow("click, refused by the service") << 1 << false << true << "[\"wlan0\",true,[]]";
    QTest::newRow("space, refused by the service") << 0 << true << true << "[\"eth0\",false,[]]";
}

// A click or Space on a row asks the service; the row turns yellow, keeps its box, and swallows further clicks
// until the answer sets the box to what the service reports.
void tst_MainWidgetSettings::rowChangesOnlyThroughTheService()
{
    QFETCH(int, row);
    QFETCH(bool, keyboard);
    QFETCH(bool, refused);
    QFETCH(QString, sent);
    const QVariant answer = refused ? QVariant(MainWindowTest::errorAnswer(5, QStringLiteral("Registry write refused")))
                                    : QVariant(QVariantMap { { QStringLiteral("result"), QVariant() },
                                        { QStringLiteral("push"),
                                            QVariantList { QVariantList { QStringLiteral("setNetworkProtection"),
                                                QVariantList { QStringLiteral("$0"), QStringLiteral("$1") } } } } });
    reach(MainWindowTest::withAnswer(
        ConsoleTest::script(QStringLiteral("protected")), QStringLiteral("setNetworkProtection"), answer));
    showTab("tabConnectionSettings");
    QListWidgetItem *item = list()->item(row);
    const Qt::CheckState before = item->checkState();
    const QBrush base = list()->palette().brush(QPalette::Active, QPalette::Base);
    auto act = [this, item, keyboard] {
        if (keyboard) {
            list()->setCurrentItem(item);
            QTest::keyClick(list(), Qt::Key_Space);
        } else {
            QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, checkIndicator(item));
        }
    };
    act();
    QCOMPARE(item->checkState(), before);
    QCOMPARE(item->background().color(), QColor(QStringLiteral("#FFFF00")));
    act();
    QCOMPARE(item->checkState(), before);

    QTRY_COMPARE(service()->messages(QStringLiteral("setNetworkProtection")).size(), 1);
    QCOMPARE(service()->messages(QStringLiteral("setNetworkProtection")).first().paramsText, sent);
    const Qt::CheckState after = refused ? before : (before == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    QTRY_COMPARE(item->background(), base);
    QTRY_COMPARE(item->checkState(), after);
    QCOMPARE(service()->messages(QStringLiteral("setNetworkProtection")).size(), 1);

    // The row takes requests again.
    act();
    QTRY_COMPARE(service()->messages(QStringLiteral("setNetworkProtection")).size(), 2);
}

// The list is rebuilt while a row waits for its answer: the new rows carry no mark, and the late answer for the
// dropped row does no harm.
void tst_MainWidgetSettings::rebuildDropsPendingRow()
{
    reach(MainWindowTest::withAnswer(ConsoleTest::script(QStringLiteral("protected")),
        QStringLiteral("setNetworkProtection"),
        QVariantMap { { QStringLiteral("delay"), 100 }, { QStringLiteral("result"), QVariant() } }));
    showTab("tabConnectionSettings");
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, checkIndicator(list()->item(1)));
    QCOMPARE(list()->item(1)->background().color(), QColor(QStringLiteral("#FFFF00")));
    QSignalSpy rebuilt(m_desktop->agent->status(), &ServiceStatus::networksUpdated);
    service()->push(QStringLiteral("setNetworks"),
        { QVariantMap { { QStringLiteral("defaultRouteId"), QStringLiteral("eth0") },
            { QStringLiteral("networks"),
                QVariantList {
                    QVariantMap { { QStringLiteral("id"), QStringLiteral("eth0") },
                        { QStringLiteral("name"), QStringLiteral("Wired") }, { QStringLiteral("protected"), true } },
                    QVariantMap { { QStringLiteral("id"), QStringLiteral("wlan0") },
                        { QStringLiteral("name"), QStringLiteral("Wireless") },
                        { QStringLiteral("protected"), false } } } } } });
    QTRY_COMPARE(rebuilt.size(), 1);
    QCOMPARE(list()->count(), 2);
    QVERIFY(list()->item(1)->background().style() == Qt::NoBrush);
    QTRY_COMPARE(list()->item(1)->checkState(), Qt::Checked);
}

void tst_MainWidgetSettings::addressQuestionByKeyboard_data()
{
    // Keys go to the widget that has the focus: "<Tab>", "<Return>" and "<Escape>" are keys, the rest is typed.
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("retry"); // the second call's parameters; empty: none

    QTest::newRow("address, Return") << QStringList { "192.0.2.53", "<Return>" } << "[\"wlan0\",true,[\"192.0.2.53\"]]";
    QTest::newRow("Tab to the second field")
        << QStringList { "<Tab>", "192.0.2.54", "<Return>" } << "[\"wlan0\",true,[\"192.0.2.54\"]]";
    QTest::newRow("both fields") << QStringList { "10.0.0.1", "<Tab>", "10.0.0.2", "<Return>" }
                                 << "[\"wlan0\",true,[\"10.0.0.1\",\"10.0.0.2\"]]";
    QTest::newRow("Return before typing waits for an address")
        << QStringList { "<Return>", "192.0.2.53", "<Return>" } << "[\"wlan0\",true,[\"192.0.2.53\"]]";
    QTest::newRow("Escape") << QStringList { "192.0.2.53", "<Escape>" } << QString();
}

// The service has no DNS servers of its own for the network: the question comes up with the focus in its first
// field, names the connection, shows its whole text, and takes the address from the keyboard. Cancelled, the
// connections tab says why the network stays unprotected.
void tst_MainWidgetSettings::addressQuestionByKeyboard()
{
    QFETCH(QStringList, keys);
    QFETCH(QString, retry);
    reach(MainWindowTest::withAnswer(ConsoleTest::script(QStringLiteral("protected")),
        QStringLiteral("setNetworkProtection"),
        QVariantList { MainWindowTest::errorAnswer(4, QStringLiteral("DHCP Unavailable")),
            QVariantMap { { QStringLiteral("result"), QVariant() } } }));
    showTab("tabConnectionSettings");
    // The window's own activation is in before the question's, which must have the keyboard.
    window()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window()));
    auto note = child<QLabel>(window(), "lblNetworkNote");
    QVERIFY(note->isHidden());

    bool answered = false;
    QString text;
    bool textWhole = false;
    MainWindowTest::whenNextModalOpens(window(), [&](QDialog *dialog) {
        // Keys that left the question open, or a failed check: it goes, so that the test ends.
        const auto closing = qScopeGuard([dialog] {
            if (dialog->isVisible())
                dialog->reject();
        });
        auto label = dialog->findChild<QLabel *>(QStringLiteral("lbl_text"));
        text = label->text();
        textWhole = label->height() >= label->heightForWidth(label->width());
        for (const QString &key : std::as_const(keys)) {
            QTRY_VERIFY(dialog->isActiveWindow());
            QWidget *focus = QApplication::focusWidget();
            if (!focus)
                break;
            if (key == QLatin1String("<Tab>"))
                QTest::keyClick(focus, Qt::Key_Tab);
            else if (key == QLatin1String("<Return>"))
                QTest::keyClick(focus, Qt::Key_Return);
            else if (key == QLatin1String("<Escape>"))
                QTest::keyClick(focus, Qt::Key_Escape);
            else
                QTest::keyClicks(focus, key);
        }
        answered = true;
    });
    QListWidgetItem *wireless = list()->item(1);
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, checkIndicator(wireless));
    QTRY_VERIFY(answered);
    QVERIFY2(text.contains(QLatin1String("Wireless")), qPrintable(text));
    QVERIFY(textWhole);
    if (retry.isEmpty()) {
        QTRY_VERIFY(note->isVisible());
        QVERIFY2(note->text().contains(QLatin1String("\"Wireless\" is not protected")), qPrintable(note->text()));
        QCOMPARE(wireless->checkState(), Qt::Unchecked);
        QCOMPARE(service()->messages(QStringLiteral("setNetworkProtection")).size(), 1);
        return;
    }
    QTRY_COMPARE(service()->messages(QStringLiteral("setNetworkProtection")).size(), 2);
    QCOMPARE(service()->messages(QStringLiteral("setNetworkProtection")).last().paramsText, retry);
    QTRY_COMPARE(wireless->checkState(), Qt::Checked);
    QVERIFY(note->isHidden());
}

void tst_MainWidgetSettings::localProxyAddressShown_data()
{
    QTest::addColumn<QVariant>("setting"); // invalid: absent
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("port");
    QTest::newRow("address and port") << QVariant("127.0.0.1:5300") << "127.0.0.1"
                                      << "5300";
    QTest::newRow("address alone") << QVariant("0.0.0.0") << "0.0.0.0"
                                   << "53";
    QTest::newRow("port alone") << QVariant(":53") << QString() << "53";
    QTest::newRow("absent") << QVariant() << QString() << "53";
    QTest::newRow("further parts ignored") << QVariant("10.0.0.1:5353:9") << "10.0.0.1"
                                           << "5353";
}

void tst_MainWidgetSettings::localProxyAddressShown()
{
    QFETCH(QVariant, setting);
    QFETCH(QString, address);
    QFETCH(QString, port);
    QVariantMap settings;
    if (setting.isValid())
        settings.insert(QStringLiteral("localproxy-addr"), setting);
    reach(ConsoleTest::withPush(
        ConsoleTest::script(QStringLiteral("protected")), QStringLiteral("setSettings"), QVariantList { settings }));
    auto addressField = child<QLineEdit>(window(), "leLocalDnsAddress");
    auto portField = child<QLineEdit>(window(), "leLocalDnsPort");
    QCOMPARE(addressField->text(), address);
    QCOMPARE(portField->text(), port);
    QVERIFY(!addressField->isModified());
    QVERIFY(!portField->isModified());
}

void tst_MainWidgetSettings::localProxyAddressSent_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("typedAddress"); // empty: the field is left as it is
    QTest::addColumn<QString>("typedPort"); // empty: the field is left as it is
    QTest::addColumn<QString>("sent"); // empty: nothing

    QTest::newRow("address edited, port from the setting") << "127.0.0.1:5300"
                                                           << "127.0.0.2" << QString() << "[\"127.0.0.2\",5300]";
    QTest::newRow("address edited, port 53") << "127.0.0.1"
                                             << "127.0.0.2" << QString() << "[\"127.0.0.2\",53]";
    QTest::newRow("address edited, port unusable") << "127.0.0.1:abc"
                                                   << "127.0.0.2" << QString() << "[\"127.0.0.2\",53]";
    QTest::newRow("port edited") << "127.0.0.1" << QString() << "5353"
                                 << "[\"127.0.0.1\",5353]";
    QTest::newRow("nothing edited") << "127.0.0.1:5300" << QString() << QString() << QString();
    QTest::newRow("incomplete address") << "127.0.0.1"
                                        << "127.0.0." << QString() << QString();
}

void tst_MainWidgetSettings::localProxyAddressSent()
{
    QFETCH(QString, setting);
    QFETCH(QString, typedAddress);
    QFETCH(QString, typedPort);
    QFETCH(QString, sent);
    reach(ConsoleTest::withPush(ConsoleTest::script(QStringLiteral("protected")), QStringLiteral("setSettings"),
        QVariantList { QVariantMap { { QStringLiteral("localproxy-addr"), setting } } }));
    auto address = child<QLineEdit>(window(), "leLocalDnsAddress");
    auto port = child<QLineEdit>(window(), "leLocalDnsPort");
    if (!typedAddress.isEmpty()) {
        address->selectAll();
        QTest::keyClicks(address, typedAddress);
    }
    if (!typedPort.isEmpty()) {
        port->selectAll();
        QTest::keyClicks(port, typedPort);
        QTest::keyClick(port, Qt::Key_Return);
    }
    QTest::keyClick(address, Qt::Key_Return);
    if (!sent.isEmpty()) {
        QTRY_COMPARE(service()->messages(QStringLiteral("setLocalDnsAddress")).size(), 1);
        QCOMPARE(service()->messages(QStringLiteral("setLocalDnsAddress")).first().paramsText, sent);
        QVERIFY(service()->messages(QStringLiteral("setLocalDnsAddress")).first().isNotification());
        QVERIFY(!address->isModified());
        QVERIFY(!port->isModified());
    }
    // A round trip through the service: nothing else is on its way.
    m_desktop->agent->status()->setSettingsProtection(false);
    QTRY_COMPARE(service()->messages(QStringLiteral("setSettingsProtection")).size(), 1);
    QCOMPARE(service()->messages(QStringLiteral("setLocalDnsAddress")).size(), sent.isEmpty() ? 0 : 1);
}

// Unticking autostart removes the Run value and asks whether to close; ticking writes it and asks nothing.
void tst_MainWidgetSettings::autostartQuestion()
{
    reach(ConsoleTest::script(QStringLiteral("protected")));
    auto box = child<QCheckBox>(window(), "ckAutostart");
    QVERIFY(!box->isChecked());
    QVERIFY(!isAutostartEnabled());
    box->setChecked(true);
    QVERIFY(isAutostartEnabled());
    QVERIFY(!openQuestion());
    box->setChecked(false);
    QVERIFY(!isAutostartEnabled());
    MemoryMsgBox *question = openQuestion();
    QVERIFY(question);
    QCOMPARE(question->findChild<QLabel *>(QStringLiteral("lblQuestion"))->text(),
        QStringLiteral("Notice, it's not required for this interface to be started to make filtering working.\nAll "
                       "hard work is performed by system service part.\n\nDo you wish to close this interface right "
                       "now?"));
    QStringList answers;
    const QList<QPushButton *> buttons = question->findChildren<QPushButton *>();
    for (QPushButton *button : buttons)
        answers.append(button->text());
    QCOMPARE(answers, (QStringList { "&Close", "Continue &working" }));
    // The safe answer is the default: Return keeps the program running.
    QVERIFY(buttons.last()->isDefault());
    QVERIFY(!buttons.first()->isDefault());
    QSignalSpy quit(window(), &MainWidget::quitRequested);
    QTRY_VERIFY(question->focusWidget());
    QTest::keyClick(question->focusWidget(), Qt::Key_Return);
    QTRY_VERIFY(!question->isVisible());
    QCOMPARE(quit.size(), 0);
    QVERIFY(!QSettings().contains(QStringLiteral("vq-autostart-close")));
}

// The question opens over the window whose box was clicked, wherever the window stands, not at the screen's centre.
void tst_MainWidgetSettings::autostartQuestionOverWindow()
{
    reach(ConsoleTest::script(QStringLiteral("protected")));
    showTab("tabGeneralSettings");
    window()->move(0, 0);
    auto box = child<QCheckBox>(window(), "ckAutostart");
    QStyleOptionButton option;
    option.initFrom(box);
    const QPoint indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box).center();
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator);
    QTRY_VERIFY(box->isChecked());
    QVERIFY(!openQuestion());
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator);
    QTRY_VERIFY2(openQuestion(), "the question after unticking autostart");
    MemoryMsgBox *question = openQuestion();
    QVERIFY(QTest::qWaitForWindowExposed(question));
    const QPoint offset = question->frameGeometry().center() - window()->frameGeometry().center();
    QVERIFY2(offset.manhattanLength() <= 4,
        qPrintable(QStringLiteral("question centred at %1,%2, window centred at %3,%4")
                       .arg(question->frameGeometry().center().x())
                       .arg(question->frameGeometry().center().y())
                       .arg(window()->frameGeometry().center().x())
                       .arg(window()->frameGeometry().center().y())));
}

void tst_MainWidgetSettings::rememberedAutostartAnswer_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("quits");
    QTest::newRow("continue working") << "0" << false;
    QTest::newRow("close") << "1" << true;
}

// A remembered answer acts at once, without a dialog: "&Close" quits the program.
void tst_MainWidgetSettings::rememberedAutostartAnswer()
{
    QFETCH(QString, stored);
    QFETCH(bool, quits);
    reach(ConsoleTest::script(QStringLiteral("protected")));
    QSettings().setValue(QStringLiteral("vq-autostart-close"), stored);
    auto box = child<QCheckBox>(window(), "ckAutostart");
    box->setChecked(true);
    // The request to quit reaches the application as its Quit event, which the test keeps for itself.
    QuitWatcher watcher;
    qApp->installEventFilter(&watcher);
    bool questionShown = false;
    QTimer::singleShot(0, this, [box, &questionShown] {
        box->setChecked(false);
        questionShown = openQuestion() != nullptr;
        QCoreApplication::processEvents();
        QCoreApplication::exit(0);
    });
    QCoreApplication::exec();
    qApp->removeEventFilter(&watcher);
    QVERIFY(!questionShown);
    QCOMPARE(watcher.seen, quits);
    QVERIFY(!isAutostartEnabled());
}

void tst_MainWidgetSettings::newVersionChecks()
{
    reach(ConsoleTest::script(QStringLiteral("protected")));
    auto box = child<QCheckBox>(window(), "ckCheckUpdates");
    QVERIFY(box->isChecked());
    QVERIFY(!QSettings().contains(QStringLiteral("new-version-checks")));
    QSignalSpy enabled(m_desktop->agent->updater(), &AppUpdater::checksEnabledChanged);
    box->setChecked(false);
    QCOMPARE(enabled.size(), 1);
    QCOMPARE(enabled.first().first().toBool(), false);
    QSettings settings;
    settings.sync();
    QCOMPARE(settings.value(QStringLiteral("new-version-checks")).toString(), QStringLiteral("false"));
    QCOMPARE(service()->messages().size(), 0);
}

void tst_MainWidgetSettings::checkBoxFollowsTheUpdater_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::newRow("on to off") << true;
    QTest::newRow("off to on") << false;
}

// The window on the model, with an updater that reads the stored flag: the update dialog switches the checks, and
// the settings page's box shows what the updater now holds, as the store does.
void tst_MainWidgetSettings::checkBoxFollowsTheUpdater()
{
    QFETCH(bool, enabled);
    const TestSupport::ScratchRoot root;
    root.useSettingsOf(QStringLiteral("Agent"));
    if (!enabled)
        QSettings().setValue(QStringLiteral("new-version-checks"), false);
    ConsoleTest::Model model(ConsoleTest::script(QStringLiteral("protected")));
    AppUpdater updater(QStringLiteral("Velmor Agent"), QUrl(), QStringLiteral("2.3.63.4"));
    SettingsUnlock unlock(&model.status, &model.cabinet);
    MainWidget window(&model.connector, &model.status, &model.cabinet, &updater, &unlock);
    auto box = child<QCheckBox>(&window, "ckCheckUpdates");
    QCOMPARE(box->isChecked(), enabled);

    UpdateDialog dialog(&updater);
    QSignalSpy changed(&updater, &AppUpdater::checksEnabledChanged);
    dialog.findChild<QCheckBox *>(QStringLiteral("dontCheck"))->setChecked(enabled);
    QCOMPARE(updater.checksEnabled(), !enabled);
    QCOMPARE(box->isChecked(), !enabled);
    // The box that follows sends nothing back.
    QCOMPARE(changed.size(), 1);
    QSettings settings;
    settings.sync();
    QCOMPARE(settings.value(QStringLiteral("new-version-checks")).toString(), QVariant(!enabled).toString());
}

void tst_MainWidgetSettings::switchesGoToTheService_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("sent");
    QTest::newRow("advanced identification") << "ckUseTokens"
                                             << "setTokensEnabled"
                                             << "[false]";
    QTest::newRow("password protection") << "ckPasswordSettings"
                                         << "setSettingsProtection"
                                         << "[true]";
}

void tst_MainWidgetSettings::switchesGoToTheService()
{
    QFETCH(QString, box);
    QFETCH(QString, method);
    QFETCH(QString, sent);
    reach(ConsoleTest::script(QStringLiteral("protected")));
    child<QCheckBox>(window(), box.toLatin1().constData())->click();
    QTRY_COMPARE(service()->messages(method).size(), 1);
    QCOMPARE(service()->messages(method).first().paramsText, sent);
    QVERIFY(service()->messages(method).first().isNotification());
    QCOMPARE(window()->loginMode(), 0);
}

CONSOLE_TEST_MAIN(tst_MainWidgetSettings)
#include "tst_mainwidgetsettings.moc"
