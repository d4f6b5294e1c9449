#include "consoletest.h"
#include "fakeservice.h"

#include "app/agent.h"
#include "mainwindow/mainwidget.h"
#include "model/cabinet.h"
#include "model/serviceconnector.h"

#include "velmorwire/json.h"
#include "velmorwire/jsonrpccall.h"
#include "velmorwire/requestmanager_p.h"
#include "velmorwire/sysinfo.h"

#include "platform/eventlog.h"
#include "platform/registry.h"
#include "platform/userfolders.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

#include <sys/inotify.h>
#include <unistd.h>

// The desktop's report as a whole text, read from the report dialog as a person would see it.
class tst_AgentReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void connectedReport_data();
    void connectedReport();
    void notConnectedReport();
    void eventLogUnreadable();
    void silentServiceTimesOut();
    void secondRequestMakesNoSecondCall();
    void browserChecksNeverOverlap();
    void saveTwiceWritesTheSameText();
    void unwritablePathIsReported();
    void saveProposesADatedName();
    void linkStaysReadWhileReportIsOpen();
    void serviceLostDuringReport();
    void clearedErrorIsNotReported_data();
    void clearedErrorIsNotReported();
    void refusedUnlockNotReportedOnceUnlocked();
    void reportOpensOverTheWindow();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Starts the report and deals with every dialog as it is shown: a file dialog gets the next of m_files, a
    // message is read and dismissed, the report dialog is read, handed to withDialog, and closed. Returns what the
    // report dialog held.
    QString reportFrom(const std::function<void()> &start, const std::function<void(QDialog *)> &withDialog = {});
    void actOn(QWidget *dialog);
    // Presses Save once for each of m_files.
    void saveAll(QDialog *dialog);

    std::unique_ptr<ConsoleTest::Desktop> m_desktop;
    // A home of the test's own: the save dialog opens on its desktop folder and reads what it finds there.
    QTemporaryDir m_home;
    std::function<void(QDialog *)> m_withDialog;
    QString m_reportText;
    int m_reportsShown = 0;
    bool m_reportClosed = false;
    // The names the file dialogs are given, in order, and what came of them.
    QStringList m_files;
    int m_saves = 0;
    QString m_proposedName;
    QString m_warning;
};

namespace {

// A dialog missed by the test would keep its loop running for ever: each one is closed after this long, and the test
// fails naming it.
const int dialogDeadline = 60000;

bool reportDialogExists()
{
    const QWidgetList widgets = QApplication::allWidgets();
    return std::any_of(widgets.cbegin(), widgets.cend(),
        [](const QWidget *widget) { return widget->objectName() == QLatin1String("SystemReportDlg"); });
}

const char header[] = "Agent version: 2.3.63.4\nBrand: velmor\nFeatures: \n";

qint64 fakeNow = 0;
qint64 fakeClock()
{
    return fakeNow;
}

QVariantMap scriptWith(const QVariant &systemInfoAnswer, const QString &networksJson = QString())
{
    QVariantMap script = ConsoleTest::script(QStringLiteral("protected"));
    if (!networksJson.isEmpty())
        script = ConsoleTest::withPush(
            script, QStringLiteral("setNetworks"), QVariantList { Velmor::Json::parse(networksJson) });
    QVariantMap answers = script.value(QStringLiteral("answers")).toMap();
    answers.insert(QStringLiteral("systemInfo"), systemInfoAnswer);
    script.insert(QStringLiteral("answers"), answers);
    return script;
}

QVariantMap result(const QString &text)
{
    return { { QStringLiteral("result"), text } };
}

} // namespace

void tst_AgentReport::initTestCase()
{
    qputenv("HOME", QFile::encodeName(m_home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(QStringLiteral(".config"))));
    QVERIFY(QDir().mkpath(m_home.filePath(QStringLiteral("Desktop"))));
}

void tst_AgentReport::cleanup()
{
    qApp->removeEventFilter(this);
    m_files.clear();
    m_saves = 0;
    m_proposedName.clear();
    m_warning.clear();
    m_withDialog = nullptr;
    m_reportText.clear();
    m_reportsShown = 0;
    m_reportClosed = false;
    m_desktop.reset();
}

bool tst_AgentReport::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show && qobject_cast<QDialog *>(watched)) {
        // Acted on from the event loop once the show is complete: from inside the dialog's own loop when it has one.
        QPointer<QWidget> dialog = static_cast<QWidget *>(watched);
        QMetaObject::invokeMethod(
            this,
            [this, dialog] {
                if (dialog && dialog->isVisible())
                    actOn(dialog);
            },
            Qt::QueuedConnection);
        QTimer::singleShot(dialogDeadline, dialog, [dialog] {
            if (!dialog->isVisible())
                return;
            const QByteArray name = dialog->metaObject()->className() + QByteArray(" ")
                + dialog->objectName().toLatin1() + " \"" + dialog->windowTitle().toUtf8() + "\"";
            QTest::qFail(("the test never dealt with the dialog " + name).constData(), __FILE__, __LINE__);
            dialog->close();
        });
    }
    return QObject::eventFilter(watched, event);
}

void tst_AgentReport::actOn(QWidget *dialog)
{
    if (auto *files = qobject_cast<QFileDialog *>(dialog)) {
        m_proposedName = files->selectedFiles().value(0);
        files->selectFile(m_files.value(m_saves++));
        QMetaObject::invokeMethod(files, "accept");
        return;
    }
    if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
        if (box->objectName() == QLatin1String("SystemReportWaitBox"))
            return;
        m_warning = box->text();
        box->accept();
        return;
    }
    if (dialog->objectName() != QLatin1String("SystemReportDlg"))
        return;
    auto *report = static_cast<QDialog *>(dialog);
    ++m_reportsShown;
    m_reportText = report->findChild<QPlainTextEdit *>(QStringLiteral("pteLog"))->toPlainText();
    const QPointer<QDialog> guard = report;
    if (m_withDialog)
        m_withDialog(report);
    if (guard)
        guard->accept();
}

QString tst_AgentReport::reportFrom(
    const std::function<void()> &start, const std::function<void(QDialog *)> &withDialog)
{
    m_withDialog = withDialog;
    m_reportText.clear();
    m_reportClosed = false;
    qApp->installEventFilter(this);
    start();
    const auto done = [this] { return m_reportsShown > 0 && !reportDialogExists(); };
    const bool finished = QTest::qWaitFor(done, 30000);
    if (!finished)
        return QStringLiteral("<no report dialog>");
    return m_reportText;
}

void tst_AgentReport::saveAll(QDialog *dialog)
{
    QAbstractButton *save
        = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Save);
    // Each click runs the file dialog's loop (and the warning's) before it returns; a click whose file dialog was
    // not answered ends the saving.
    for (int click = 0; click < m_files.size() && m_saves == click; ++click)
        QTest::mouseClick(save, Qt::LeftButton);
}

void tst_AgentReport::connectedReport_data()
{
    QTest::addColumn<QString>("networks");
    QTest::addColumn<QString>("lines");
    QTest::newRow("two networks") << QString() << " * eth0  Wired: protected\n * wlan0  Wireless: unprotected\n";
    QTest::newRow("%1 in a network name")
        << R"({"defaultRouteId":"eth0","networks":[{"id":"eth0","name":"Home %1 %2","protected":true}]})"
        << " * eth0  Home %1 %2: protected\n";
    QTest::newRow("no networks") << R"({"defaultRouteId":"","networks":[]})"
                                 << "";
}

void tst_AgentReport::connectedReport()
{
    QFETCH(QString, networks);
    QFETCH(QString, lines);
    m_desktop = std::make_unique<ConsoleTest::Desktop>(
        scriptWith(result(QStringLiteral("Local DNS: 127.0.0.1:53\n")), networks), true);
    Agent *agent = m_desktop->agent.get();
    QTRY_VERIFY(agent->status()->isConnectionComplete());
    const QString text = reportFrom([agent] { agent->generateSystemReport(); });
    QCOMPARE(text,
        QString::fromLatin1(header)
            + QStringLiteral("Service connected: 1\nIdentification type: token\nIdentified: 1\nProfileId: 2\n"
                             "Last cabinet error: code=0 text=\nProtected networks:\n")
            + lines + QStringLiteral("\nLocal DNS: 127.0.0.1:53\n"));
    QVERIFY(!text.contains(QLatin1String("secret-password")));
}

void tst_AgentReport::notConnectedReport()
{
    m_desktop = std::make_unique<ConsoleTest::Desktop>(scriptWith(result(QStringLiteral("never asked"))), true);
    Agent *agent = m_desktop->agent.get();
    QTRY_VERIFY(agent->status()->isConnectionComplete());
    m_desktop->service->stop();
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::ServiceUnreachable));
    // The service's entries of the machine's event log, read by the query tool beside the programs, with the line
    // that named the credentials cut.
    using namespace Velmor::Platform;
    QVERIFY(EventLog::report(QStringLiteral("Velmor Agent"), EventLog::Information, 0, QStringLiteral("Started")));
    QVERIFY(EventLog::report(QStringLiteral("Velmor Agent"), EventLog::Information, 0,
        QStringLiteral("setCredentials(\"user@example.com\", \"secret-password\")")));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(qEnvironmentVariable("VELMOR_BINARY_DIR")) + "/bin:" + path);
    const QString text = reportFrom([agent] { agent->generateSystemReport(); });
    qputenv("PATH", path);
    const QString expectedStart = QString::fromLatin1(header) + QStringLiteral("Service connected: 0\nSystem log:\n");
    QVERIFY2(text.startsWith(expectedStart), qPrintable(text));
    QVERIFY2(text.contains(QLatin1String("Source: Velmor Agent")) && text.contains(QLatin1String("Started")),
        qPrintable(text));
    QVERIFY2(text.contains(QLatin1String("<credentials cutted out>")), qPrintable(text));
    QVERIFY(!text.contains(QLatin1String("secret-password")));
    QVERIFY(!text.contains(QLatin1String("Protected networks:")));
    QVERIFY(m_desktop->service->messages(QStringLiteral("systemInfo")).isEmpty());
}

// Without the query tool the report says that the event log could not be read, in words support understands.
void tst_AgentReport::eventLogUnreadable()
{
    m_desktop = std::make_unique<ConsoleTest::Desktop>(scriptWith(result(QStringLiteral("never asked"))), true);
    Agent *agent = m_desktop->agent.get();
    QTRY_VERIFY(agent->status()->isConnectionComplete());
    m_desktop->service->stop();
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::ServiceUnreachable));
    QVERIFY(QStandardPaths::findExecutable(QStringLiteral("wevtutil")).isEmpty());
    QVERIFY(!QFile::exists(QCoreApplication::applicationDirPath() + QLatin1String("/wevtutil")));
    const QString text = reportFrom([agent] { agent->generateSystemReport(); });
    QCOMPARE(text,
        QString::fromLatin1(header)
            + QStringLiteral("Service connected: 0\nSystem log: the event log could not be read (the query tool "
                             "wevtutil did not answer).\n"));
}

void tst_AgentReport::silentServiceTimesOut()
{
    auto *manager = Velmor::RequestManagerPrivate::get(Velmor::RequestManager::instance());
    fakeNow = Velmor::monotonicTime();
    manager->clock = &fakeClock;
    m_desktop = std::make_unique<ConsoleTest::Desktop>(
        scriptWith(QVariantMap { { QStringLiteral("delay"), 3600000 }, { QStringLiteral("result"), QString() } }),
        true);
    Agent *agent = m_desktop->agent.get();
    QTRY_VERIFY(agent->status()->isConnectionComplete());
    const QString text = reportFrom([&] {
        agent->generateSystemReport();
        QTRY_COMPARE(m_desktop->service->messages(QStringLiteral("systemInfo")).size(), 1);
        // Past the library's own 30 s nothing happens; past 120 s the call gives up.
        fakeNow += 119000;
        QMetaObject::invokeMethod(manager, "timer_timeout", Qt::DirectConnection);
        const auto waitBox = agent->mainWidget()->findChild<QMessageBox *>(QStringLiteral("SystemReportWaitBox"));
        QVERIFY(waitBox && waitBox->isVisible());
        QCOMPARE(m_reportsShown, 0);
        fakeNow += 2000;
        QMetaObject::invokeMethod(manager, "timer_timeout", Qt::DirectConnection);
    });
    manager->clock = &Velmor::monotonicTime;
    QVERIFY2(text.endsWith(QLatin1String("\nSystem service is running but report request failed Network timeout")),
        qPrintable(text));
}

void tst_AgentReport::secondRequestMakesNoSecondCall()
{
    m_desktop = std::make_unique<ConsoleTest::Desktop>(scriptWith(QVariantMap { { QStringLiteral("delay"), 500 },
                                                           { QStringLiteral("result"), QStringLiteral("part\n") } }),
        true);
    Agent *agent = m_desktop->agent.get();
    QTRY_VERIFY(agent->status()->isConnectionComplete());
    int waitBoxes = 0;
    const QString text = reportFrom([&] {
        agent->generateSystemReport();
        agent->generateSystemReport();
        waitBoxes = agent->mainWidget()->findChildren<QMessageBox *>(QStringLiteral("SystemReportWaitBox")).size();
    });
    QCOMPARE(waitBoxes, 1);
    QVERIFY(text.endsWith(QLatin1String("part\n")));
    QCOMPARE(m_desktop->service->messages(QStringLiteral("systemInfo")).size(), 1);
    QTRY_VERIFY(agent->mainWidget()->findChildren<QMessageBox *>(QStringLiteral("SystemReportWaitBox")).isEmpty());
}

void tst_AgentReport::browserChecksNeverOverlap()
{
    // Every request starts a browser check, and all of them write one record: each check opens and closes the
    // Firefox preferences before the next one opens them. The file is long enough that checks running side by side
    // would be reading it together.
    m_desktop = std::make_unique<ConsoleTest::Desktop>(scriptWith(QVariantMap { { QStringLiteral("delay"), 300 },
                                                           { QStringLiteral("result"), QStringLiteral("part\n") } }),
        true);
    Agent *agent = m_desktop->agent.get();
    QTRY_VERIFY(agent->status()->isConnectionComplete());
    using namespace Velmor::Platform;
    const QString program = QStringLiteral(
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Mozilla Firefox");
    QCOMPARE(Registry::createKey(program), ErrorSuccess);
    QCOMPARE(Registry::setString(program, QStringLiteral("DisplayName"), QStringLiteral("Mozilla Firefox 115")),
        ErrorSuccess);
    const QString prefs = roamingAppDataPath() + QStringLiteral("/Mozilla/Firefox/Profiles/a1b2.default/prefs.js");
    QVERIFY(QDir().mkpath(QFileInfo(prefs).absolutePath()));
    QFile file(prefs);
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (int i = 0; i < 20000; ++i)
        file.write("user_pref(\"browser.setting." + QByteArray::number(i) + "\", true);\n");
    file.write("user_pref(\"network.proxy.type\", 1);\nuser_pref(\"network.proxy.http\", \"10.0.0.1\");\n");
    file.close();

    const int watcher = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(watcher >= 0);
    QVERIFY(inotify_add_watch(watcher, QFile::encodeName(prefs).constData(), IN_OPEN | IN_CLOSE_NOWRITE) >= 0);
    const QString text = reportFrom([agent] {
        for (int i = 0; i < 3; ++i)
            agent->generateSystemReport();
    });
    QString sequence;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t got; (got = ::read(watcher, buffer, sizeof buffer)) > 0;) {
        for (char *at = buffer; at < buffer + got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(at);
            sequence += (event->mask & IN_OPEN) ? QLatin1Char('o') : QLatin1Char('c');
            at += sizeof(inotify_event) + event->len;
        }
    }
    ::close(watcher);
    QCOMPARE(sequence, QStringLiteral("ocococ"));
    QVERIFY2(text.contains(QLatin1String("FireFox proxy settings:\n")), qPrintable(text));
    QCOMPARE(m_desktop->service->messages(QStringLiteral("systemInfo")).size(), 1);
}

void tst_AgentReport::saveTwiceWritesTheSameText()
{
    m_desktop
        = std::make_unique<ConsoleTest::Desktop>(scriptWith(result(QStringLiteral("caf\u00e9 service part\n"))), true);
    Agent *agent = m_desktop->agent.get();
    QTRY_VERIFY(agent->status()->isConnectionComplete());
    QTemporaryDir folder;
    m_files
        = QStringList { folder.filePath(QStringLiteral("first.txt")), folder.filePath(QStringLiteral("second.txt")) };
    const QString text
        = reportFrom([agent] { agent->generateSystemReport(); }, [this](QDialog *dialog) { saveAll(dialog); });
    for (const QString &path : std::as_const(m_files)) {
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
        QCOMPARE(QString::fromUtf8(file.readAll()), text);
    }
    QVERIFY(text.contains(QStringLiteral("caf\u00e9")));
    QVERIFY(m_warning.isEmpty());
}

void tst_AgentReport::unwritablePathIsReported()
{
    m_desktop = std::make_unique<ConsoleTest::Desktop>(scriptWith(result(QStringLiteral("part\n"))), true);
    Agent *agent = m_desktop->agent.get();
    QTRY_VERIFY(agent->status()->isConnectionComplete());
    // A folder that is a file cannot be written into by anyone, root included. (Not a system folder: the file
    // dialog reads the folder it was last in, and some files there block their readers.)
    QTemporaryDir folder;
    QFile notFolder(folder.filePath(QStringLiteral("not-a-folder")));
    QVERIFY(notFolder.open(QIODevice::WriteOnly));
    notFolder.close();
    m_files = QStringList { notFolder.fileName() + QStringLiteral("/velmor-report.txt") };
    reportFrom([agent] { agent->generateSystemReport(); }, [this](QDialog *dialog) { saveAll(dialog); });
    QVERIFY2(m_warning.contains(m_files.first()), qPrintable(m_warning));
}

void tst_AgentReport::saveProposesADatedName()
{
    m_desktop = std::make_unique<ConsoleTest::Desktop>(scriptWith(result(QStringLiteral("part\n"))), true);
    Agent *agent = m_desktop->agent.get();
    QTRY_VERIFY(agent->status()->isConnectionComplete());
    QTemporaryDir folder;
    m_files = QStringList { folder.filePath(QStringLiteral("kept.txt")) };
    const QDate before = QDate::currentDate();
    reportFrom([agent] { agent->generateSystemReport(); }, [this](QDialog *dialog) { saveAll(dialog); });
    const QDate after = QDate::currentDate();
    const QFileInfo proposed(m_proposedName);
    QCOMPARE(proposed.absolutePath(), QDir(m_home.filePath(QStringLiteral("Desktop"))).absolutePath());
    QVERIFY2(proposed.fileName() == QStringLiteral("velmor-report-%1.txt").arg(before.toString(Qt::ISODate))
            || proposed.fileName() == QStringLiteral("velmor-report-%1.txt").arg(after.toString(Qt::ISODate)),
        qPrintable(m_proposedName));
    QVERIFY(QFile::exists(m_files.first()));
}

// The dialog is started from the event loop, not from inside the link's read handler: what the service sends
// while it is open is read, and a call made meanwhile is answered.
void tst_AgentReport::linkStaysReadWhileReportIsOpen()
{
    m_desktop = std::make_unique<ConsoleTest::Desktop>(scriptWith(result(QStringLiteral("part\n"))), true);
    Agent *agent = m_desktop->agent.get();
    QTRY_VERIFY(agent->status()->isConnectionComplete());
    QVERIFY(agent->status()->isGlobalFilteringEnabled());
    bool pushSeen = false;
    bool callAnswered = false;
    const QString text = reportFrom([agent] { agent->generateSystemReport(); },
        [&](QDialog *) {
            m_desktop->service->push(QStringLiteral("setGlobalFiltering"), { false });
            pushSeen = QTest::qWaitFor([agent] { return !agent->status()->isGlobalFilteringEnabled(); }, 10000);
            int code = -1;
            Velmor::JsonRPCCall *call = agent->cabinet()->setProfile(1);
            connect(call, &Velmor::Request::finished, this, [call, &code] { code = int(call->error().code()); });
            callAnswered = QTest::qWaitFor([&code] { return code != -1; }, 10000) && code == 0;
        });
    QVERIFY(text.endsWith(QLatin1String("part\n")));
    QVERIFY2(pushSeen, "the pushed setGlobalFiltering [false] was not read while the report was open");
    QVERIFY2(callAnswered, "the setProfile call made while the report was open got no answer");
}

// The service goes away instead of answering: the report says so at once, the wait box closes, the loss is told as
// an interruption, and further requests meanwhile give no second dialog.
void tst_AgentReport::serviceLostDuringReport()
{
    m_desktop
        = std::make_unique<ConsoleTest::Desktop>(scriptWith(QVariantMap { { QStringLiteral("drop"), true } }), true);
    Agent *agent = m_desktop->agent.get();
    QTRY_VERIFY(agent->status()->isConnectionComplete());
    QSignalSpy messages(agent, &Agent::messageShown);
    int waitBoxesShown = 0;
    const QString text = reportFrom(
        [&] {
            agent->generateSystemReport();
            agent->generateSystemReport();
            waitBoxesShown
                = agent->mainWidget()->findChildren<QMessageBox *>(QStringLiteral("SystemReportWaitBox")).size();
        },
        [agent](QDialog *) {
            agent->generateSystemReport();
            QCoreApplication::processEvents();
        });
    QCoreApplication::processEvents();
    QCOMPARE(waitBoxesShown, 1);
    QVERIFY2(text.endsWith(QLatin1String("\nSystem service is running but report request failed System service "
                                         "disconnected")),
        qPrintable(text));
    QCOMPARE(m_reportsShown, 1);
    const QList<QMessageBox *> boxes
        = agent->mainWidget()->findChildren<QMessageBox *>(QStringLiteral("SystemReportWaitBox"));
    QVERIFY(std::none_of(boxes.cbegin(), boxes.cend(), [](const QMessageBox *box) { return box->isVisible(); }));
    QStringList told;
    for (const QList<QVariant> &message : std::as_const(messages))
        told.append(message.at(2).toString());
    QCOMPARE(told, QStringList { QStringLiteral("The connection to system service was interrupted!") });
}

void tst_AgentReport::clearedErrorIsNotReported_data()
{
    QTest::addColumn<bool>("errorFirst");
    QTest::addColumn<QString>("lines");
    QTest::newRow("sign-in failed, then succeeded")
        << true << "Identified: 1\nProfileId: 2\nLast cabinet error: code=0 text=\n";
    QTest::newRow("signed in, then failed")
        << false << "Identified: 0\nProfileId: 2\nLast cabinet error: code=30 text=Wrong password\n";
}

void tst_AgentReport::clearedErrorIsNotReported()
{
    QFETCH(bool, errorFirst);
    QFETCH(QString, lines);
    QVariantMap script = scriptWith(result(QStringLiteral("part\n")));
    QVariantList pushes = script.value(QStringLiteral("push")).toList();
    const QVariant error = QVariantList { QStringLiteral("setIdentificationError"),
        QVariantList { 1,
            QVariantMap {
                { QStringLiteral("code"), 30 }, { QStringLiteral("message"), QStringLiteral("Wrong password") } } } };
    pushes.insert(errorFirst ? pushes.size() - 1 : pushes.size(), error);
    script.insert(QStringLiteral("push"), pushes);
    m_desktop = std::make_unique<ConsoleTest::Desktop>(script, true);
    Agent *agent = m_desktop->agent.get();
    QTRY_VERIFY(agent->status()->isConnectionComplete());
    QTRY_COMPARE(agent->cabinet()->isIdentified(), errorFirst);
    const QString text = reportFrom([agent] { agent->generateSystemReport(); });
    QVERIFY2(text.contains(QLatin1String("Identification type: token\n") + lines), qPrintable(text));
}

// A wrong settings password typed before the right one is no error of the account: support would look for one.
void tst_AgentReport::refusedUnlockNotReportedOnceUnlocked()
{
    QVariantMap script = ConsoleTest::script(QStringLiteral("locked"));
    QVariantMap answers = script.value(QStringLiteral("answers")).toMap();
    answers.insert(QStringLiteral("systemInfo"), result(QStringLiteral("part\n")));
    answers.insert(QStringLiteral("unlockSettings"),
        QVariantList { QVariantMap { { QStringLiteral("error"),
                           QVariantMap { { QStringLiteral("code"), 30 },
                               { QStringLiteral("message"), QStringLiteral("Wrong password") } } } },
            result(QString()) });
    script.insert(QStringLiteral("answers"), answers);
    m_desktop = std::make_unique<ConsoleTest::Desktop>(script, true);
    Agent *agent = m_desktop->agent.get();
    MainWidget *window = agent->mainWidget();
    QTRY_VERIFY(agent->status()->isConnectionComplete());
    QTRY_COMPARE(window->loginMode(), 1);
    window->show();
    auto password = window->findChild<QLineEdit *>(QStringLiteral("lePassword"));
    auto button = window->findChild<QPushButton *>(QStringLiteral("pbLogin"));
    for (const QString &typed : { QStringLiteral("wrong"), QStringLiteral("right") }) {
        QTRY_VERIFY(password->isEnabled());
        password->clear();
        QTest::keyClicks(password, typed);
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_VERIFY(button->isEnabled());
    }
    QTRY_COMPARE(window->loginMode(), 0);
    QCOMPARE(m_desktop->service->messages(QStringLiteral("unlockSettings")).size(), 2);
    const QString text = reportFrom([agent] { agent->generateSystemReport(); });
    QVERIFY2(text.contains(QLatin1String("Identified: 1\nProfileId: 2\nLast cabinet error: code=0 text=\n")),
        qPrintable(text));
}

void tst_AgentReport::reportOpensOverTheWindow()
{
    m_desktop = std::make_unique<ConsoleTest::Desktop>(scriptWith(result(QStringLiteral("part\n"))), true);
    Agent *agent = m_desktop->agent.get();
    QTRY_VERIFY(agent->status()->isConnectionComplete());
    QWidget *parent = nullptr;
    bool window = false;
    reportFrom([agent] { agent->generateSystemReport(); },
        [&](QDialog *dialog) {
            parent = dialog->parentWidget();
            window = dialog->isWindow() && dialog->isModal();
        });
    QCOMPARE(parent, static_cast<QWidget *>(agent->mainWidget()));
    QVERIFY(window);
}

CONSOLE_TEST_MAIN(tst_AgentReport)
#include "tst_agentreport.moc"
