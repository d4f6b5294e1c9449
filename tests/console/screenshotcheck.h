#ifndef VELMOR_TESTS_SCREENSHOTCHECK_H
#define VELMOR_TESTS_SCREENSHOTCHECK_H

#include <QImage>
#include <QStringList>

#include <functional>

// What the screenshot programs share: waiting with the events running, and checking the pictures they saved.
namespace ScreenshotCheck {

// Processes events until the condition holds; false after the time.
bool waitFor(const std::function<bool()> &condition, int msec = 20000);
// Every pixel the same colour.
bool isBlank(const QImage &image);
// Prints one line per picture that is missing or blank and the "N passed, N failed" line; 0 when all are fine.
int check(const QString &folder, const QStringList &pictures);

} // namespace ScreenshotCheck

#endif // VELMOR_TESTS_SCREENSHOTCHECK_H
