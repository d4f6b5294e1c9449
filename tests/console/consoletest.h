#ifndef VELMOR_TESTS_CONSOLETEST_H
#define VELMOR_TESTS_CONSOLETEST_H

#include "app/commandline.h"
#include "app/qtsingleapplication.h"
#include "app/systemtrayicon.h"
#include "model/cabinet.h"
#include "model/requesthandler.h"
#include "model/serviceconnector.h"
#include "model/servicestatus.h"
#include "model/settingsunlock.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <vector>

class Agent;
class FakeService;

// Shared by the desktop program's suites.
namespace ConsoleTest {

// tests/fixtures/<relative>.
QString fixture(const QString &relative);
// The velmor-console program of the build.
QString program();

// Gives the test process a runtime folder and a login session of its own, before its application object
// exists, so suites running in parallel never meet as "another copy".
void prepareProcess();

// The program's pictures, which the Agent loads as it is made: a suite that builds parts without one loads them first.
void loadResources();

// A fresh machine root for one test, set as VELMOR_ROOT while it lives.
class Machine
{
public:
    Machine();
    ~Machine();
    Q_DISABLE_COPY(Machine)

    QString path() const { return m_root.path(); }
    // What a program started by the test gets: this root, the test's runtime folder, session and service
    // port, and the offscreen platform.
    QProcessEnvironment environment(quint16 servicePort) const;

private:
    QTemporaryDir m_root;
};

// tests/fixtures/fake_console_service.py, run for programs the test starts. Its output lines are collected
// as they come; the script is the same format as FakeService's.
class PythonService
{
public:
    explicit PythonService(const QVariantMap &script);
    ~PythonService();
    Q_DISABLE_COPY(PythonService)

    bool isListening() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    // Every line so far ("connected 1", "message 1 {...}", ...).
    QStringList lines();
    int count(const QString &prefix);
    void push(const QString &method, const QVariantList &params);
    void stop();
    void listen();

private:
    void command(const QVariantMap &order);

    QTemporaryDir m_folder;
    QProcess m_process;
    QStringList m_lines;
    quint16 m_port = 0;
};

// One desktop program in the test process: a machine root, the in-process fake service listening with the
// script, and an Agent constructed on them (it connects once the event loop runs).
class Desktop
{
public:
    // laterStart: the program has run on this machine before (no first-start protection, no autostart write).
    explicit Desktop(const QVariantMap &script, bool laterStart = false);
    ~Desktop();
    Q_DISABLE_COPY(Desktop)

    Machine machine;
    std::unique_ptr<FakeService> service;
    std::unique_ptr<Agent> agent;
};

// The desktop's model on its own, with no Agent, window or tray: the link, the account model, the status and the
// notification handler on the in-process fake service listening with the script (it connects once the event loop
// runs).
struct Model
{
    explicit Model(const QVariantMap &script);
    ~Model();
    Q_DISABLE_COPY(Model)

    Machine machine;
    std::unique_ptr<FakeService> service;
    ServiceConnector connector;
    Cabinet cabinet;
    ServiceStatus status;
    RequestHandler handler;
};

// The tray on the desktop's model alone, as the program builds it but with no Agent or window: the status, the gate
// of locked settings and the account model on the in-process fake service (loadResources() first, for its
// pictures).
struct Tray
{
    explicit Tray(const QVariantMap &script);
    Q_DISABLE_COPY(Tray)

    Model model;
    SettingsUnlock settingsUnlock;
    SystemTrayIcon icon;
};

// Ends a desktop program of the test process: the calls on their way are answered first, unless the service is gone
// (serviceGone tells), and those never answered are forgotten, so none outlives the test waiting for its deadline.
void closeAgent(std::unique_ptr<Agent> &agent, const std::function<bool()> &serviceGone);

// From state 7 (the "protected" script), what the service does to bring the desktop to another state: stops
// (1), reports an identification error (3), no networks (4), an unprotected network (5), filtering off (6).
void pushTowards(FakeService *service, int state);

// A service script from tests/fixtures/console_service/<name>.json.
QVariantMap script(const QString &name);
// The script with the parameters of one pushed notification replaced (or the notification removed when
// params is invalid).
QVariantMap withPush(QVariantMap script, const QString &method, const QVariant &params);

// The program's processes of one test; each one still running at the end is killed.
class Programs
{
public:
    ~Programs();
    // The program of the build, or another one (a wrapper such as setpriv) given as program.
    QProcess *start(
        const QStringList &arguments, const QProcessEnvironment &environment, const QString &program = QString());

private:
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

// Its exit code once it ends within the time, else -1.
int exitCode(QProcess *process, int msec = 30000);

} // namespace ConsoleTest

// A suite whose process is a single-instance application, as the program's own is.
#define CONSOLE_TEST_MAIN(TestObject)                                                                                  \
    int main(int argc, char **argv)                                                                                    \
    {                                                                                                                  \
        ConsoleTest::prepareProcess();                                                                                 \
        QtSingleApplication app(instanceId(), argc, argv);                                                             \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                       \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }

#endif // VELMOR_TESTS_CONSOLETEST_H
