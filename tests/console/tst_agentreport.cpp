#include "consoletest.h"
#include "fakeservice.h"

#include "mainwindow/mainwidget.h"
#include "shell/agent.h"
#include "shell/serviceconnector.h"

#include "velmorwire/json.h"
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
    void silentServiceTimesOut();
    void secondRequestMakesNoSecondCall();
    void browserChecksNeverOverlap();
    void saveTwiceWritesTheSameText();
    void unwritablePathIsReported();

private:
    // Runs action for every modal window that shows up until done says so; returns what the report dialog held.
    void whenModal(const std::function<bool(QWidget *)> &action);
    QString reportFrom(const std::function<void()> &start, const std::function<bool(QDialog *)> &withDialog = {});
    // Presses Save (its file dialog gets the next of m_files) until done, then lets the report dialog close.
    bool saveFrom(QDialog *dialog, const std::function<bool()> &done);

    std::unique_ptr<ConsoleTest::Desktop> m_desktop;
    // A home of the test's own: the save dialog opens on its desktop folder and reads what it finds there.
    QTemporaryDir m_home;
    QTimer m_watch;
    std::function<bool(QWidget *)> m_action;
    // The names the file dialogs are given, in order, and what came of them.
    QStringList m_files;
    int m_saves = 0;
    int m_savesAtClick = 0;
    bool m_saving = false;
    QString m_warning;
};

namespace {

// The visible modal window a person would deal with first: a file dialog or a message over the report dialog.
QWidget *topModal()
{
    QWidget *found = nullptr;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (!window->isVisible() || !window->isModal())
            continue;
        if (qobject_cast<QFileDialog *>(window)
            || (qobject_cast<QMessageBox *>(window) && window->objectName() != QLatin1String("SystemReportWaitBox")))
            return window;
        found = window;
    }
    return found;
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
    m_files.clear();
    m_saves = 0;
    m_saving = false;
    m_warning.clear();
    m_watch.stop();
    m_action = nullptr;
    m_desktop.reset();
}

void tst_AgentReport::whenModal(const std::function<bool(QWidget *)> &action)
{
    m_action = action;
    m_watch.setInterval(20);
    m_watch.disconnect();
    connect(&m_watch, &QTimer::timeout, this, [this] {
        if (QWidget *modal = topModal(); modal && m_action && m_action(modal))
            m_watch.stop();
    });
    m_watch.start();
}

QString tst_AgentReport::reportFrom(
    const std::function<void()> &start, const std::function<bool(QDialog *)> &withDialog)
{
    QString text;
    bool shown = false;
    whenModal([&](QWidget *modal) {
        if (auto *files = qobject_cast<QFileDialog *>(modal)) {
            files->selectFile(m_files.value(m_saves++));
            QMetaObject::invokeMethod(files, "accept");
            return false;
        }
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            if (box->objectName() == QLatin1String("SystemReportWaitBox"))
                return false;
            m_warning = box->text();
            box->accept();
            return false;
        }
        if (modal->objectName() != QLatin1String("SystemReportDlg"))
            return false;
        auto *dialog = static_cast<QDialog *>(modal);
        text = dialog->findChild<QPlainTextEdit *>(QStringLiteral("pteLog"))->toPlainText();
        shown = true;
        if (withDialog && !withDialog(dialog))
            return false;
        dialog->accept();
        return true;
    });
    start();
    if (!QTest::qWaitFor([&] { return shown && !m_watch.isActive(); }, 30000))
        return QStringLiteral("<no report dialog>");
    return text;
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
    QTRY_VERIFY(agent->isConnectionComplete());
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
    QTRY_VERIFY(agent->isConnectionComplete());
    m_desktop->service->stop();
    QTRY_COMPARE(agent->state(), int(Agent::ServiceUnreachable));
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

void tst_AgentReport::silentServiceTimesOut()
{
    auto *manager = Velmor::RequestManagerPrivate::get(Velmor::RequestManager::instance());
    fakeNow = Velmor::monotonicTime();
    manager->clock = &fakeClock;
    m_desktop = std::make_unique<ConsoleTest::Desktop>(
        scriptWith(QVariantMap { { QStringLiteral("delay"), 3600000 }, { QStringLiteral("result"), QString() } }),
        true);
    Agent *agent = m_desktop->agent.get();
    QTRY_VERIFY(agent->isConnectionComplete());
    const QString text = reportFrom([&] {
        agent->generateSystemReport();
        QTRY_COMPARE(m_desktop->service->messages(QStringLiteral("systemInfo")).size(), 1);
        // Past the library's own 30 s nothing happens; past 120 s the call gives up.
        fakeNow += 119000;
        QMetaObject::invokeMethod(manager, "timer_timeout", Qt::DirectConnection);
        QTest::qWait(0);
        QVERIFY(!topModal() || topModal()->objectName() != QLatin1String("SystemReportDlg"));
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
    QTRY_VERIFY(agent->isConnectionComplete());
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
    QTRY_VERIFY(agent->isConnectionComplete());
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
    QTRY_VERIFY(agent->isConnectionComplete());
    QTemporaryDir folder;
    m_files
        = QStringList { folder.filePath(QStringLiteral("first.txt")), folder.filePath(QStringLiteral("second.txt")) };
    const QString text = reportFrom([agent] { agent->generateSystemReport(); },
        [this](QDialog *dialog) { return saveFrom(dialog, [this] { return m_saves == m_files.size(); }); });
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
    QTRY_VERIFY(agent->isConnectionComplete());
    m_files = QStringList { QStringLiteral("/proc/velmor-report.txt") };
    reportFrom([agent] { agent->generateSystemReport(); },
        [this](QDialog *dialog) { return saveFrom(dialog, [this] { return !m_warning.isEmpty(); }); });
    QVERIFY2(m_warning.contains(QLatin1String("/proc/velmor-report.txt")), qPrintable(m_warning));
}

bool tst_AgentReport::saveFrom(QDialog *dialog, const std::function<bool()> &done)
{
    if (m_saving) {
        if (m_saves == m_savesAtClick)
            return false;
        m_saving = false;
    }
    if (done())
        return true;
    m_saving = true;
    m_savesAtClick = m_saves;
    // The click runs outside this watcher, which must see the file dialog the click opens.
    QTimer::singleShot(0,
        dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Save),
        &QAbstractButton::click);
    return false;
}

CONSOLE_TEST_MAIN(tst_AgentReport)
#include "tst_agentreport.moc"
