#ifndef VELMOR_TESTS_WARDENTEST_H
#define VELMOR_TESTS_WARDENTEST_H

#include <QByteArray>
#include <QHostAddress>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// Shared by the suites that run the real velmor-warden program on a machine root of their own.
namespace WardenTest {

inline const QString serviceName = QStringLiteral("Velmor Agent");

// A port of the address that is free for TCP and for UDP right now.
quint16 freePort(const QHostAddress &address = QHostAddress(QHostAddress::LocalHost));

// The program from the build directory.
QString program();

struct Result
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the program to its end; it inherits VELMOR_ROOT from the test.
Result run(const QStringList &arguments, const QString &programPath = program());

// Runs a shell command as the unprivileged user nobody, as another local user would; the exit code, or -1. Only
// root can do this: tests call it after QSKIP for other users.
int runAsNobody(const QString &shellCommand);
bool isRoot();

// Application event log entries of one source as "<type name>: <text>", oldest first.
QStringList logOf(const QString &source);
// The same, without what the account client says when the account service cannot be reached: a service run on
// its default settings has no account service to talk to.
QStringList hostLogOf(const QString &source);

// A fresh VELMOR_ROOT and a free VELMOR_IPC_PORT for one test function; the destructor ends every service process the
// test left behind, foreground children and processes the service manager started alike, before the root goes.
class Machine
{
public:
    Machine();
    ~Machine();
    Q_DISABLE_COPY(Machine)

    bool isValid() const { return m_root.isValid(); }
    QString path(const QString &relative) const { return m_root.filePath(relative); }

    // Starts the program as a child with these arguments and waits until the service reports that it runs
    // (or, with waitForService false, only until the process has started).
    QProcess *startForeground(
        const QStringList &arguments, bool waitForService = true, const QString &programPath = program());

private:
    QTemporaryDir m_root;
    std::vector<std::unique_ptr<QProcess>> m_children;
};

} // namespace WardenTest

#endif // VELMOR_TESTS_WARDENTEST_H
