#include "screenshotcheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <cstdio>

namespace ScreenshotCheck {

bool waitFor(const std::function<bool()> &condition, int msec)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > msec)
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

int check(const QString &folder, const QStringList &pictures)
{
    int failures = 0;
    for (const QString &name : pictures) {
        const QImage image(QDir(folder).filePath(name));
        const char *problem = image.isNull() ? "missing" : isBlank(image) ? "blank" : nullptr;
        if (problem) {
            fprintf(stderr, "%s: %s\n", qPrintable(name), problem);
            ++failures;
        }
    }
    printf("%d passed, %d failed\n", int(pictures.size()) - failures, failures);
    return failures ? 1 : 0;
}

} // namespace ScreenshotCheck
