#include "widgetpictures.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPixmap>
#include <QWidget>
#include <QWindow>

namespace {

// Lets the window system catch up: on a busy display the geometry it confirms for a window just shown can
// arrive after a few rounds of events, and a picture taken before would show the window's first, unlaid size.
void settle(QWidget *widget)
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QWidget *window = widget->window();
    const QDeadlineTimer deadline(5000);
    auto settled = [window] {
        const QWindow *handle = window->windowHandle();
        const QSize least = window->minimumSizeHint();
        return (!handle || handle->isExposed())
            && (!least.isValid() || (window->width() >= least.width() && window->height() >= least.height()));
    };
    while (!settled() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

int saveAtBothScales(QWidget *widget, const QString &folder, const QString &name)
{
    settle(widget);
    int saved = 0;
    for (const int scale : { 1, 2 }) {
        QPixmap picture(widget->size() * scale);
        picture.setDevicePixelRatio(scale);
        picture.fill(widget->palette().color(QPalette::Window));
        widget->render(&picture);
        saved += picture.save(QDir(folder).filePath(QStringLiteral("%1@%2x.png").arg(name).arg(scale)));
    }
    return saved;
}

int saveAtOwnScale(QWidget *widget, const QString &folder, const QString &name)
{
    settle(widget);
    const int scale = qRound(widget->devicePixelRatioF());
    return widget->grab().save(QDir(folder).filePath(QStringLiteral("%1@%2x.png").arg(name).arg(scale))) ? 1 : 0;
}
