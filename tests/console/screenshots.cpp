// Saves pictures of the desktop program as a person sees it: the tray icon in every status state and the open
// tray menu in states 6 and 7; the main window's six pages, three settings tabs, three login modes, the status
// page in states 1, 3, 6 and 7, the DNS address dialog and the autostart question, states reached through a
// sequence (resumed after a pause, the service lost after it was connected, the DNS question with a typed address
// and the connections tab after it was cancelled), and the locked window shown again after each way of hiding it
// from a settings page; the filter settings editor
// (filterscreenshots.cpp); the update dialog and the system report (reportscreenshots.cpp); a refused sign-in and an
// addition that was not saved (signinscreenshots.cpp). The window's pictures carry
// the scale they were taken at: "@1x", or "@2x" under QT_SCALE_FACTOR=2; the filter editor's too; the tray's are taken
// at scale 1 only, the report draws both of its own at scale 1. Run under a display (scripts/screenshots uses
// xvfb-run):
//   console_screenshots <folder>          writes the PNGs
//   console_screenshots --check <folder>  exits 1 unless every PNG is there and shows more than one colour, and
//                                         every "@2x" picture is twice the size of its "@1x" one
#include "consoletest.h"
#include "fakeservice.h"
#include "filterscreenshots.h"
#include "mainwindowtest.h"
#include "reportscreenshots.h"
#include "signinscreenshots.h"

#include "app/agent.h"
#include "app/systemtrayicon.h"
#include "mainwindow/ipdlg.h"
#include "mainwindow/mainwidget.h"
#include "mainwindow/memorymsgbox.h"
#include "mainwindow/slidingstackedwidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

const QStringList trayPictures = { "tray-state-1.png", "tray-state-2.png", "tray-state-3.png", "tray-state-4.png",
    "tray-state-5.png", "tray-state-6.png", "tray-state-7.png", "menu-state-6.png", "menu-state-7.png" };

// The main window's pictures, without their scale.
const QStringList windowPictures = { "page-welcome", "page-settings", "page-common-settings", "page-advanced-settings",
    "page-login", "page-help", "tab-general", "tab-connections", "tab-advanced", "login-sign-in", "login-unlock",
    "login-sign-up", "status-1", "status-3", "status-6", "status-7", "ipdlg", "question-autostart", "status-resumed",
    "status-service-lost", "ipdlg-typed", "tab-connections-unprotected", "status-marked-up-name", "login-refused" };

// The locked window, shown again after it was hidden on a page that changes settings or during a slide.
const QStringList lockedPictures = { "locked-from-settings-menu", "locked-from-general-tab",
    "locked-from-connections-tab", "locked-from-advanced-tab", "locked-from-advanced-page", "locked-mid-slide" };

QString scaled(const QString &name, int scale)
{
    return name + QStringLiteral("@%1x.png").arg(scale);
}

bool waitFor(const std::function<bool()> &condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 10000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

bool isBlank(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            if (argb.pixel(x, y) != argb.pixel(0, 0))
                return false;
        }
    }
    return true;
}

int check(const QString &folder)
{
    QStringList names = trayPictures + filterPictures() + reportPictures() + refusalPictures(1) + refusalPictures(2);
    for (const QString &name : windowPictures + lockedPictures)
        names << scaled(name, 1) << scaled(name, 2);
    int failures = 0;
    for (const QString &name : names) {
        const QImage image(QDir(folder).filePath(name));
        const char *problem = image.isNull() ? "missing" : isBlank(image) ? "blank" : nullptr;
        if (!problem && name.endsWith(QLatin1String("@2x.png"))) {
            const QImage single(
                QDir(folder).filePath(QString(name).replace(QLatin1String("@2x"), QLatin1String("@1x"))));
            if (!single.isNull() && image.size() != single.size() * 2)
                problem = "not twice the size of the picture at scale 1";
        }
        if (problem) {
            fprintf(stderr, "%s: %s\n", qPrintable(name), problem);
            ++failures;
        }
    }
    printf("%d passed, %d failed\n", int(names.size()) - failures, failures);
    return failures ? 1 : 0;
}

bool saveIcon(SystemTrayIcon *tray, const QString &path)
{
    // The tray's own size, and four times larger beside it is not needed: viewers zoom.
    return tray->icon().pixmap(22, 22).scaled(88, 88, Qt::KeepAspectRatio, Qt::FastTransformation).save(path);
}

bool saveMenu(SystemTrayIcon *tray, const QString &path)
{
    QMenu *menu = tray->contextMenu();
    menu->popup(QPoint(40, 40));
    if (!waitFor([menu] { return menu->isVisible(); }))
        return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, menu->x(), menu->y(), menu->width(), menu->height());
    if (shot.isNull() || isBlank(shot.toImage()))
        shot = menu->grab();
    menu->hide();
    return shot.save(path);
}

int trayShots(const QString &folder)
{
    int saved = 0;
    for (int state = ServiceStatus::ServiceUnreachable; state <= ServiceStatus::Protected; ++state) {
        QVariantMap script = ConsoleTest::script(QStringLiteral("protected"));
        if (state == ServiceStatus::Connecting)
            script = ConsoleTest::withPush(script, QStringLiteral("setIdentification"), QVariant());
        ConsoleTest::Desktop desktop(script, true);
        Agent *agent = desktop.agent.get();
        FakeService *service = desktop.service.get();
        if (!waitFor([agent, state] {
                return agent->status()->state()
                    == (state == ServiceStatus::Connecting ? state : ServiceStatus::Protected);
            }))
            break;
        if (state != ServiceStatus::Connecting)
            ConsoleTest::pushTowards(service, state);
        if (!waitFor([agent, state] { return agent->status()->state() == state; }))
            break;
        SystemTrayIcon *tray = agent->trayIcon();
        if (state == ServiceStatus::Connecting)
            waitFor([tray] { return !tray->icon().isNull(); });
        saved += saveIcon(tray, QDir(folder).filePath(QStringLiteral("tray-state-%1.png").arg(state)));
        if (state == ServiceStatus::FilteringOff || state == ServiceStatus::Protected)
            saved += saveMenu(tray, QDir(folder).filePath(QStringLiteral("menu-state-%1.png").arg(state)));
    }
    return saved;
}

// Takes the main window's pictures at the process's own scale.
class WindowShots
{
public:
    WindowShots(const QString &folder, int scale)
        : m_folder(folder)
        , m_scale(scale)
    { }

    int saved() const { return m_saved; }

    // A desktop in a status state, its window shown on the welcome page; the account has the Advanced tab.
    std::unique_ptr<ConsoleTest::Desktop> desktop(const QString &scriptName, int state)
    {
        return desktop(ConsoleTest::script(scriptName), state);
    }

    std::unique_ptr<ConsoleTest::Desktop> desktop(QVariantMap script, int state)
    {
        script = ConsoleTest::withPush(script, QStringLiteral("setUserInfo"),
            QVariantList {
                QVariantMap { { QStringLiteral("features"), QVariantMap { { QStringLiteral("agent_ip_mode"), 1 } } },
                    { QStringLiteral("plan"),
                        QVariantMap { { QStringLiteral("code"), QStringLiteral("FREE") },
                            { QStringLiteral("name"), QStringLiteral("Free") } } },
                    { QStringLiteral("tz"), 2 } } });
        auto desktop = std::make_unique<ConsoleTest::Desktop>(script, true);
        Agent *agent = desktop->agent.get();
        MainWindowTest::slideAtOnce(agent->mainWidget());
        if (waitFor([agent] { return agent->status()->state() == ServiceStatus::Protected; })
            && state != ServiceStatus::Protected) {
            ConsoleTest::pushTowards(desktop->service.get(), state);
            waitFor([agent, state] { return agent->status()->state() == state; });
        }
        agent->mainWidget()->show();
        waitFor([agent] { return agent->mainWidget()->isVisible(); });
        return desktop;
    }

    void save(QWidget *widget, const QString &name)
    {
        QCoreApplication::processEvents();
        m_saved += widget->grab().save(QDir(m_folder).filePath(scaled(name, m_scale)));
    }

    void take()
    {
        for (int state : { ServiceStatus::ServiceUnreachable, ServiceStatus::IdentificationFailed,
                 ServiceStatus::FilteringOff, ServiceStatus::Protected }) {
            auto shown = desktop(QStringLiteral("protected"), state);
            save(shown->agent->mainWidget(), QStringLiteral("status-%1").arg(state));
        }

        auto shown = desktop(QStringLiteral("protected"), ServiceStatus::Protected);
        MainWidget *window = shown->agent->mainWidget();
        SlidingStackedWidget *stack = MainWindowTest::stack(window);
        const QStringList pages = { "page-welcome", "page-settings", "page-common-settings", "page-advanced-settings",
            "page-login", "page-help" };
        for (int i = 0; i < stack->count(); ++i) {
            stack->setCurrentIndex(i);
            save(window, pages.value(i));
        }
        stack->setCurrentWidget(MainWindowTest::child<QWidget>(window, "commonSettingsPage"));
        auto tabs = MainWindowTest::child<QTabWidget>(window, "settingsTabWidget");
        const QStringList tabNames = { "tab-general", "tab-connections", "tab-advanced" };
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            save(window, tabNames.value(i));
        }
        stack->setCurrentWidget(MainWindowTest::child<QWidget>(window, "loginPage"));
        save(window, QStringLiteral("login-sign-in"));
        Q_EMIT MainWindowTest::child<QLabel>(window, "lblRegisterNew")
            ->linkActivated(QStringLiteral("agent:showregisterform"));
        save(window, QStringLiteral("login-sign-up"));

        IpDlg dialog(QStringLiteral("Set DNS"),
            QStringLiteral("Previous DNS IP address is not found. Please enter DNS IP address provided by your ISP."),
            2, window);
        dialog.minimumFilled = 1;
        dialog.findChild<QLineEdit *>()->setText(QStringLiteral("192.0.2.53"));
        dialog.checkAcceptance();
        dialog.show();
        waitFor([&dialog] { return dialog.isVisible(); });
        save(&dialog, QStringLiteral("ipdlg"));
        dialog.hide();

        auto autostart = MainWindowTest::child<QCheckBox>(window, "ckAutostart");
        autostart->setChecked(true);
        autostart->setChecked(false);
        for (QWidget *candidate : QApplication::topLevelWidgets()) {
            if (auto question = qobject_cast<MemoryMsgBox *>(candidate); question && question->isVisible()) {
                save(question, QStringLiteral("question-autostart"));
                question->reject();
            }
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        auto locked = desktop(QStringLiteral("locked"), ServiceStatus::Protected);
        MainWindowTest::stack(locked->agent->mainWidget())
            ->setCurrentWidget(MainWindowTest::child<QWidget>(locked->agent->mainWidget(), "loginPage"));
        save(locked->agent->mainWidget(), QStringLiteral("login-unlock"));

        takeSequences();
    }

    // States reached as a user reaches them, one step after another.
    void takeSequences()
    {
        {
            // Paused with the round button, then resumed with it.
            auto shown = desktop(QStringLiteral("protected"), ServiceStatus::Protected);
            Agent *agent = shown->agent.get();
            auto button = MainWindowTest::child<QWidget>(agent->mainWidget(), "btnGlobalFiltering");
            QTest::mouseClick(button, Qt::LeftButton);
            waitFor([agent] { return agent->status()->state() == ServiceStatus::FilteringOff; });
            QTest::mouseClick(button, Qt::LeftButton);
            waitFor([agent] { return agent->status()->state() == ServiceStatus::Protected; });
            save(agent->mainWidget(), QStringLiteral("status-resumed"));
        }
        {
            // The service goes away while the header shows the profile in use.
            auto shown = desktop(QStringLiteral("protected"), ServiceStatus::Protected);
            Agent *agent = shown->agent.get();
            shown->service->push(QStringLiteral("setIdentification"), { 1, 2 });
            auto identity = MainWindowTest::child<QLabel>(agent->mainWidget(), "lbl_identityStatus");
            waitFor([identity] { return identity->text() == QLatin1String("Kids"); });
            shown->service->stop();
            waitFor([agent] { return agent->status()->state() == ServiceStatus::ServiceUnreachable; });
            save(agent->mainWidget(), QStringLiteral("status-service-lost"));
        }
        {
            // The service knows no DNS server for the wireless network: the question comes up, an address is
            // typed, and the question is cancelled after all.
            auto shown = desktop(MainWindowTest::withAnswer(ConsoleTest::script(QStringLiteral("protected")),
                                     QStringLiteral("setNetworkProtection"),
                                     QVariantList { MainWindowTest::errorAnswer(4, QStringLiteral("DHCP Unavailable")),
                                         QVariantMap { { QStringLiteral("result"), QVariant() } } }),
                ServiceStatus::Protected);
            MainWidget *window = shown->agent->mainWidget();
            MainWindowTest::stack(window)->setCurrentWidget(
                MainWindowTest::child<QWidget>(window, "commonSettingsPage"));
            MainWindowTest::child<QTabWidget>(window, "settingsTabWidget")
                ->setCurrentWidget(MainWindowTest::child<QWidget>(window, "tabConnectionSettings"));
            window->activateWindow();
            (void)QTest::qWaitForWindowActive(window);
            bool answered = false;
            MainWindowTest::whenNextModalOpens(window, [this, &answered](QDialog *dialog) {
                // The display gives the question the focus a little after it shows, on a busy machine later.
                waitFor([dialog] {
                    QWidget *focused = QApplication::focusWidget();
                    return focused && dialog->isAncestorOf(focused);
                });
                QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("192.0.2.53"));
                save(dialog, QStringLiteral("ipdlg-typed"));
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
                if (dialog->isVisible())
                    dialog->reject();
                answered = true;
            });
            auto list = MainWindowTest::child<QListWidget>(window, "lstNetworks");
            list->setCurrentRow(1);
            QTest::keyClick(list, Qt::Key_Space);
            waitFor([&answered] { return answered; });
            auto note = MainWindowTest::child<QLabel>(window, "lblNetworkNote");
            waitFor([note] { return note->isVisible(); });
            save(window, QStringLiteral("tab-connections-unprotected"));
        }
        {
            // A profile whose name looks like markup, in the header.
            auto shown = desktop(QStringLiteral("protected"), ServiceStatus::Protected);
            Agent *agent = shown->agent.get();
            Velmor::CabinetProfiles profiles = agent->cabinet()->profiles();
            profiles.value(2)->name = QStringLiteral("<i>Kid</i> & <a href=x>Co</a>");
            agent->cabinet()->setProfiles(profiles, 2);
            shown->service->push(QStringLiteral("setIdentification"), { 1, 2 });
            auto identity = MainWindowTest::child<QLabel>(agent->mainWidget(), "lbl_identityStatus");
            waitFor([identity] { return identity->text().startsWith(QLatin1String("<i>")); });
            save(agent->mainWidget(), QStringLiteral("status-marked-up-name"));
        }
        {
            // A wrong password typed on the sign-in page: the complaint, and the password ready to be typed over.
            auto shown = desktop(MainWindowTest::withAnswer(ConsoleTest::script(QStringLiteral("protected")),
                                     QStringLiteral("setCredentials"), MainWindowTest::errorAnswer(30)),
                ServiceStatus::Protected);
            MainWidget *window = shown->agent->mainWidget();
            Q_EMIT MainWindowTest::child<QLabel>(window, "lblAgentStatus")
                ->linkActivated(QStringLiteral("agent:showsettings"));
            MainWindowTest::child<QPushButton>(window, "clbChangeUser")->click();
            MainWindowTest::child<QLineEdit>(window, "lePassword")->setText(QStringLiteral("wrong"));
            MainWindowTest::child<QPushButton>(window, "pbLogin")->click();
            auto complaint = MainWindowTest::child<QLabel>(window, "lblSignupError");
            waitFor(
                [complaint] { return complaint->isVisible() && complaint->text().startsWith(QLatin1String("Inc")); });
            save(window, QStringLiteral("login-refused"));
        }
    }

private:
    QString m_folder;
    int m_scale;
    int m_saved = 0;
};

// The sequences a child at a locked computer would try: unlock once, go to a page that changes settings (or start
// the slide back from one), hide the window from the tray, show it again.
void saveLockedPictures(WindowShots &shots)
{
    for (const QString &name : lockedPictures) {
        auto shown = shots.desktop(QStringLiteral("locked"), ServiceStatus::Protected);
        Agent *agent = shown->agent.get();
        MainWidget *window = agent->mainWidget();
        SlidingStackedWidget *stack = MainWindowTest::stack(window);
        Q_EMIT MainWindowTest::child<QLabel>(window, "lblAgentStatus")
            ->linkActivated(QStringLiteral("agent:showsettings"));
        MainWindowTest::child<QLineEdit>(window, "lePassword")->setText(QStringLiteral("typed"));
        MainWindowTest::child<QPushButton>(window, "pbLogin")->click();
        if (!waitFor([window] { return window->loginMode() == 0; }))
            continue;
        if (name != QLatin1String("locked-from-settings-menu") && name != QLatin1String("locked-from-advanced-page"))
            MainWindowTest::child<QPushButton>(window, "clbCommonSettings")->click();
        auto tabs = MainWindowTest::child<QTabWidget>(window, "settingsTabWidget");
        if (name == QLatin1String("locked-from-connections-tab"))
            tabs->setCurrentIndex(1);
        else if (name == QLatin1String("locked-from-advanced-tab"))
            tabs->setCurrentIndex(2);
        if (name == QLatin1String("locked-from-advanced-page")) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier | Qt::AltModifier);
            QCoreApplication::sendEvent(window, &press);
        }
        if (name == QLatin1String("locked-mid-slide")) {
            stack->setSpeed(200);
            MainWindowTest::child<QPushButton>(window, "pbHideCommonSettings")->click();
        }
        Q_EMIT agent->trayIcon()->activated(QSystemTrayIcon::Trigger);
        waitFor([window, stack] { return !window->isVisible() && !stack->isSliding(); });
        Q_EMIT agent->trayIcon()->activated(QSystemTrayIcon::Trigger);
        waitFor([window, stack] { return window->isVisible() && !stack->isSliding(); });
        shots.save(window, name);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--check") == 0)
        return check(QString::fromLocal8Bit(argv[2]));
    if (argc != 2) {
        fprintf(stderr, "usage: %s <folder> | --check <folder>\n", argv[0]);
        return 2;
    }
    // The pictures are of the display that xvfb-run gives, with its screen's size. A platform named by the caller,
    // as the offscreen one that headless suites use, brings a screen of its own (800x600 for that one), which at
    // scale 2 is 400 pixels wide: message boxes and dialogs are then laid out, rightly, for that narrow screen.
    qputenv("QT_QPA_PLATFORM", "xcb");
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qputenv("XDG_SESSION_ID", "screenshots");
    // The desktops' update check at start goes to a closed local port; the update dialog's pictures run a site.
    if (qEnvironmentVariableIsEmpty("VELMOR_VENDOR_SITE"))
        qputenv("VELMOR_VENDOR_SITE", "127.0.0.1:1");
    QApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);

    // The scale the pictures are taken at; the tray's are taken once, at scale 1.
    const int scale = qEnvironmentVariableIntValue("QT_SCALE_FACTOR") == 2 ? 2 : 1;
    int expected = int(windowPictures.size() + lockedPictures.size());
    int saved = 0;
    if (scale == 1) {
        expected += int(trayPictures.size() + reportPictures().size());
        saved += trayShots(folder);
        saved += saveReportPictures(folder);
    }
    expected += int(filterPictures(scale).size());
    saved += saveFilterPictures(folder);
    expected += int(refusalPictures(scale).size());
    saved += saveRefusalPictures(folder);
    WindowShots shots(folder, scale);
    shots.take();
    saveLockedPictures(shots);
    saved += shots.saved();
    printf("saved %d pictures in %s\n", saved, qPrintable(folder));
    return saved == expected ? 0 : 1;
}
