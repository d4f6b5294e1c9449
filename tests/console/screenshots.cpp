// Saves pictures of the desktop program as a person sees it: the tray icon in every status state and the open
// tray menu in states 6 and 7, and the filter settings editor (filterscreenshots.cpp). Run under a display
// (scripts/screenshots uses xvfb-run):
//   console_screenshots <folder>          writes the PNGs
//   console_screenshots --check <folder>  exits 1 unless every PNG is there and shows more than one colour
#include "consoletest.h"
#include "fakeservice.h"
#include "filterscreenshots.h"

#include "shell/agent.h"
#include "shell/systemtrayicon.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QScreen>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

const QStringList pictures = { "tray-state-1.png", "tray-state-2.png", "tray-state-3.png", "tray-state-4.png",
    "tray-state-5.png", "tray-state-6.png", "tray-state-7.png", "menu-state-6.png", "menu-state-7.png" };

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
    int failures = 0;
    const QStringList all = pictures + filterPictures();
    for (const QString &name : all) {
        const QImage image(QDir(folder).filePath(name));
        const char *problem = image.isNull() ? "missing" : isBlank(image) ? "blank" : nullptr;
        if (problem) {
            fprintf(stderr, "%s: %s\n", qPrintable(name), problem);
            ++failures;
        }
    }
    printf("%d passed, %d failed\n", int(all.size()) - failures, failures);
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

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--check") == 0)
        return check(QString::fromLocal8Bit(argv[2]));
    if (argc != 2) {
        fprintf(stderr, "usage: %s <folder> | --check <folder>\n", argv[0]);
        return 2;
    }
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qputenv("XDG_SESSION_ID", "screenshots");
    QApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);

    int saved = 0;
    for (int state = Agent::ServiceUnreachable; state <= Agent::Protected; ++state) {
        QVariantMap script = ConsoleTest::script(QStringLiteral("protected"));
        if (state == Agent::Connecting)
            script = ConsoleTest::withPush(script, QStringLiteral("setIdentification"), QVariant());
        ConsoleTest::Desktop desktop(script, true);
        Agent *agent = desktop.agent.get();
        FakeService *service = desktop.service.get();
        if (!waitFor(
                [agent, state] { return agent->state() == (state == Agent::Connecting ? state : Agent::Protected); }))
            break;
        if (state != Agent::Connecting)
            ConsoleTest::pushTowards(service, state);
        if (!waitFor([agent, state] { return agent->state() == state; }))
            break;
        SystemTrayIcon *tray = agent->trayIcon();
        if (state == Agent::Connecting)
            waitFor([tray] { return !tray->icon().isNull(); });
        saved += saveIcon(tray, QDir(folder).filePath(QStringLiteral("tray-state-%1.png").arg(state)));
        if (state == Agent::FilteringOff || state == Agent::Protected)
            saved += saveMenu(tray, QDir(folder).filePath(QStringLiteral("menu-state-%1.png").arg(state)));
    }
    saved += saveFilterPictures(folder);
    printf("saved %d pictures in %s\n", saved, qPrintable(folder));
    return saved == pictures.size() + filterPictures().size() ? 0 : 1;
}
