#include "widgetpictures.h"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>

int saveAtBothScales(QWidget *widget, const QString &folder, const QString &name)
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
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
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const int scale = qRound(widget->devicePixelRatioF());
    return widget->grab().save(QDir(folder).filePath(QStringLiteral("%1@%2x.png").arg(name).arg(scale))) ? 1 : 0;
}
