#ifndef VELMOR_TESTS_MAINWINDOWTEST_H
#define VELMOR_TESTS_MAINWINDOWTEST_H

#include "consoletest.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

class MainWidget;
class QDialog;
class QLabel;
class SlidingStackedWidget;

// Shared by the main window's suites.
namespace MainWindowTest {

// The window's widget of that object name (null when it has none).
template<typename T>
T *child(QWidget *window, const char *name)
{
    return window->findChild<T *>(QLatin1String(name));
}

SlidingStackedWidget *stack(MainWidget *window);
// The object name of the page the stack shows; during a slide, the page being left.
QString page(MainWidget *window);
// Pages change at once, each slide ending before the call that asked for it returns.
void slideAtOnce(MainWidget *window);

// A desktop in the test process whose window slides at once, brought to a status state by the service; settled.
std::unique_ptr<ConsoleTest::Desktop> desktopIn(int state, const QVariantMap &script);
// Waits until the service has received everything the desktop sent so far, then forgets it.
void settle(ConsoleTest::Desktop *desktop);

// Fails the running test at the first warning of the window's by-name connections.
void failOnConnectionWarnings();

// Answers the DNS address dialog once it is open, from inside its own event loop: fills the fields with the
// texts, then Ok (or Cancel for an empty list). Reports what it saw of the Ok button through the flags.
struct AddressDialogAnswer
{
    bool seen = false;
    bool okDisabledAtFirst = false;
    bool okEnabledWhenFilled = false;
};
void answerNextAddressDialog(const QStringList &texts, AddressDialogAnswer *answer, QObject *context);

// The service's error answer {"error": {"code": code, "message": message}}.
QVariantMap errorAnswer(int code, const QString &message = QString());
// The script with the answers of one method replaced.
QVariantMap withAnswer(QVariantMap script, const QString &method, const QVariant &answer);

// Runs the action on the modal dialog that opens next, from inside its own event loop, once the dialog has the
// keyboard focus; returns at once.
void whenNextModalOpens(QObject *context, const std::function<void(QDialog *)> &action);

// Clicks the button of the modal dialog that opens next, from inside its event loop; returns at once.
// Reports the dialog's text in *text when given.
void answerNextModal(const QString &buttonText, QString *text = nullptr);

// A point of the label where the link is, found by moving the mouse over the label until it reports that link
// hovered; (-1, -1) when it never does.
QPoint linkPoint(QLabel *label, const QString &link);

} // namespace MainWindowTest

#endif // VELMOR_TESTS_MAINWINDOWTEST_H
