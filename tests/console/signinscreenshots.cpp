#include "signinscreenshots.h"

#include "consoletest.h"
#include "filtertest.h"
#include "mainwindowtest.h"
#include "widgetpictures.h"

#include "app/agent.h"
#include "filter/easylistedit.h"
#include "filter/filterdlg.h"
#include "mainwindow/mainwidget.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>

#include <functional>

namespace {

const QStringList shots = { "login-sign-in-refused", "filter-not-saved-box" };

bool waitFor(const std::function<bool()> &condition)
{
    QDeadlineTimer deadline(10000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Signed in and protected, the parent opens the account's settings, types a wrong password and signs in.
int saveRefusedSignIn(const QString &folder)
{
    ConsoleTest::Desktop desktop(FilterTest::withAnswer(ConsoleTest::script(QStringLiteral("protected")),
                                     QStringLiteral("setCredentials"), FilterTest::failure(30, QString())),
        true);
    Agent *agent = desktop.agent.get();
    MainWidget *window = agent->mainWidget();
    MainWindowTest::slideAtOnce(window);
    if (!waitFor([agent] { return agent->status()->state() == ServiceStatus::Protected; }))
        return 0;
    window->show();
    waitFor([window] { return window->isVisible(); });
    Q_EMIT MainWindowTest::child<QLabel>(window, "lblAgentStatus")->linkActivated(QStringLiteral("agent:showsettings"));
    MainWindowTest::child<QPushButton>(window, "clbChangeUser")->click();
    MainWindowTest::child<QLineEdit>(window, "lePassword")->setText(QStringLiteral("wrong-password"));
    MainWindowTest::child<QPushButton>(window, "pbLogin")->click();
    auto error = MainWindowTest::child<QLabel>(window, "lblSignupError");
    if (!waitFor([error] { return error->isVisible(); }))
        return 0;
    return saveAtOwnScale(window, folder, QStringLiteral("login-sign-in-refused"));
}

// The account service out of reach: a new black-list entry has no number from it, so it is not added.
int saveUnsavedAddition(const QString &folder)
{
    FilterTest::Account account(FilterTest::withAnswer(FilterTest::script(), QStringLiteral("addDomain"),
        FilterTest::failure(31, QStringLiteral("Connection refused"))));
    if (!account.ready())
        return 0;
    QPointer<FilterDlg> dialog = FilterTest::open(account.cabinet());
    if (!FilterTest::waitLoaded(dialog))
        return 0;
    auto *tabs = dialog->findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    tabs->setCurrentWidget(dialog->findChild<QWidget *>(QStringLiteral("tabDomains")));
    QMetaObject::invokeMethod(
        FilterTest::listEditor(dialog, 1), "newItem", Q_ARG(QString, QStringLiteral("games.example")));
    int saved = 0;
    if (waitFor([] { return FilterTest::messageBoxes().size() == 1; })) {
        QMessageBox *box = FilterTest::messageBoxes().constFirst();
        saved += saveAtOwnScale(box, folder, QStringLiteral("filter-not-saved-box"));
    }
    delete dialog;
    return saved;
}

} // namespace

QStringList refusalPictures(int scale)
{
    QStringList names;
    for (const QString &shot : shots)
        names.append(shot + QStringLiteral("@%1x.png").arg(scale));
    return names;
}

int saveRefusalPictures(const QString &folder)
{
    return saveRefusedSignIn(folder) + saveUnsavedAddition(folder);
}
