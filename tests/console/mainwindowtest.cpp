#include "mainwindowtest.h"

#include "fakeservice.h"

#include "app/agent.h"
#include "mainwindow/ipdlg.h"
#include "mainwindow/mainwidget.h"
#include "mainwindow/slidingstackedwidget.h"
#include "model/cabinet.h"
#include "model/serviceconnector.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include <functional>

namespace MainWindowTest {

SlidingStackedWidget *stack(MainWidget *window)
{
    return child<SlidingStackedWidget>(window, "stackedWidget");
}

QString page(MainWidget *window)
{
    QWidget *current = stack(window)->currentWidget();
    return current ? current->objectName() : QString();
}

void slideAtOnce(MainWidget *window)
{
    stack(window)->setSpeed(0);
}

std::unique_ptr<ConsoleTest::Desktop> desktopIn(int state, const QVariantMap &script)
{
    auto desktop = std::make_unique<ConsoleTest::Desktop>(script, true);
    slideAtOnce(desktop->agent->mainWidget());
    Agent *agent = desktop->agent.get();
    if (!QTest::qWaitFor([agent] { return agent->status()->state() == ServiceStatus::Protected; }, 10000))
        return desktop;
    if (state != ServiceStatus::Protected) {
        ConsoleTest::pushTowards(desktop->service.get(), state);
        (void)QTest::qWaitFor([agent, state] { return agent->status()->state() == state; }, 10000);
    }
    settle(desktop.get());
    return desktop;
}

void settle(ConsoleTest::Desktop *desktop)
{
    FakeService *service = desktop->service.get();
    if (desktop->agent->connector()->state() == ServiceConnector::Connected) {
        // The link keeps the order: once this notification is in, so is everything the desktop sent before it.
        desktop->agent->cabinet()->updateUserInfo();
        (void)QTest::qWaitFor(
            [service] { return service->methods().contains(QStringLiteral("updateUserInfo")); }, 10000);
    }
    service->clearMessages();
}

void failOnConnectionWarnings()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("connectSlotsByName")));
}

QVariantMap errorAnswer(int code, const QString &message)
{
    return { { QStringLiteral("error"),
        QVariantMap { { QStringLiteral("code"), code }, { QStringLiteral("message"), message } } } };
}

QVariantMap withAnswer(QVariantMap script, const QString &method, const QVariant &answer)
{
    QVariantMap answers = script.value(QStringLiteral("answers")).toMap();
    answers.insert(method, answer);
    script.insert(QStringLiteral("answers"), answers);
    return script;
}

namespace {

// Polls for the next modal dialog of type T from the event loops that run meanwhile, its own included, and hands
// it to the answer once it is open.
template<typename T>
void whenModalOpens(QObject *context, const std::function<void(T *)> &answer)
{
    auto poll = new QTimer(context);
    QObject::connect(poll, &QTimer::timeout, context, [poll, answer] {
        auto dialog = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->deleteLater();
        answer(dialog);
    });
    poll->start(10);
}

} // namespace

void whenNextModalOpens(QObject *context, const std::function<void(QDialog *)> &action)
{
    whenModalOpens<QDialog>(context, [action](QDialog *dialog) {
        // A user types only once the dialog is the active window.
        if (!QTest::qWaitForWindowActive(dialog)) {
            dialog->reject();
            QFAIL("the dialog never became the active window");
        }
        action(dialog);
    });
}

void answerNextModal(const QString &buttonText, QString *text)
{
    whenModalOpens<QDialog>(qApp, [buttonText, text](QDialog *dialog) {
        if (text) {
            if (auto box = qobject_cast<QMessageBox *>(dialog))
                *text = box->text();
        }
        const QList<QAbstractButton *> buttons = dialog->findChildren<QAbstractButton *>();
        for (QAbstractButton *button : buttons) {
            if (button->text().remove(QLatin1Char('&')) == buttonText) {
                button->click();
                return;
            }
        }
        dialog->reject();
    });
}

void answerNextAddressDialog(const QStringList &texts, AddressDialogAnswer *answer, QObject *context)
{
    whenModalOpens<IpDlg>(context, [texts, answer](IpDlg *dialog) {
        answer->seen = true;
        const QList<QLineEdit *> fields = dialog->findChildren<QLineEdit *>();
        auto buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        answer->okDisabledAtFirst = !buttons->button(QDialogButtonBox::Ok)->isEnabled();
        if (texts.isEmpty()) {
            buttons->button(QDialogButtonBox::Cancel)->click();
            return;
        }
        for (int i = 0; i < texts.size(); ++i)
            QTest::keyClicks(fields.at(i), texts.at(i));
        answer->okEnabledWhenFilled = buttons->button(QDialogButtonBox::Ok)->isEnabled();
        buttons->button(QDialogButtonBox::Ok)->click();
    });
}

QPoint linkPoint(QLabel *label, const QString &link)
{
    QString hovered;
    const QMetaObject::Connection watch
        = QObject::connect(label, &QLabel::linkHovered, label, [&hovered](const QString &now) { hovered = now; });
    QPoint found(-1, -1);
    for (int y = 2; y < label->height() && found.x() < 0; y += 3) {
        for (int x = 2; x < label->width(); x += 3) {
            QTest::mouseMove(label, QPoint(x, y));
            if (hovered == link) {
                found = QPoint(x + 1, y);
                break;
            }
        }
    }
    QObject::disconnect(watch);
    QTest::mouseMove(label, QPoint(0, 0));
    return found;
}

} // namespace MainWindowTest
