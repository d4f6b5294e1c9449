#ifndef VELMOR_TESTS_LIVEWARDEN_H
#define VELMOR_TESTS_LIVEWARDEN_H

#include "wardentest.h"

#include <QList>
#include <QProcess>
#include <QString>
#include <QVariantMap>

class AccountService;

// The real velmor-warden run as the service with everything it talks to, for the suites of the service's link and
// of the desktop program against the real service.
namespace WardenTest {

// tests/fixtures/resolver.py serving on 127.0.0.2, the filtering resolver of the services the test starts.
class Resolver
{
public:
    Resolver() = default;
    ~Resolver();
    Q_DISABLE_COPY(Resolver)

    // Records are "name TYPE data" lines; every query is logged to logFile as a JSON line. Further options of
    // "serve" (such as --black) follow them.
    bool start(const QString &logFile, const QStringList &records = {}, const QStringList &options = {});
    quint16 port() const { return m_port; }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

// An adapter of the simulated machine: its own DNS server stands in its interface key, and a default route through
// x.y.z.1 of its address makes it the default-route network.
struct SimulatedAdapter
{
    QString id;
    QString name;
    QString address;
    QString nameServer;
    bool defaultRoute = false;
};

// The DNS servers of an adapter in the simulated registry ("NameServer" of its interface key).
QString nameServer(const QString &adapterId);

// The local proxy's answer to first.test as dig prints it short, over UDP or TCP, asked up to tries times with
// seconds for each. A try that timed out and was asked again, as a stub resolver asks, leaves no line of its own;
// with no answer at all, dig's whole output.
QByteArray digFirst(quint16 proxyPort, int tries, int seconds, bool tcp = false);

// The real velmor-warden as the service on a machine root of its own: the simulated adapters, the fake account
// service as "www" (its authority among the machine's trusted roots), the test resolver as "vyrproxy-addr", the
// local proxy on a free port of 127.0.0.1, the IPC link on a free port, token identification, and the settings
// given on top of those.
class LiveWarden
{
public:
    LiveWarden(const AccountService &account, quint16 resolverPort, const QList<SimulatedAdapter> &adapters,
        const QVariantMap &settings);
    ~LiveWarden();
    Q_DISABLE_COPY(LiveWarden)

    // Installs the service and runs it as a child until the service manager reports it running.
    bool start();
    bool isRunning() const { return process && process->state() == QProcess::Running; }
    // Stops the service through the service manager; empty when it ended cleanly (exit code 0, nothing from the
    // sanitizers), else what went wrong.
    QString stopCleanly();

    Machine machine;
    quint16 ipcPort = 0;
    quint16 proxyPort = 0;
    QProcess *process = nullptr;
};

} // namespace WardenTest

#define VERIFY_STOPS_CLEANLY(warden)                                                                                   \
    do {                                                                                                               \
        const QString failure = (warden).stopCleanly();                                                                \
        QVERIFY2(failure.isEmpty(), qPrintable(failure));                                                              \
    } while (false)

#endif // VELMOR_TESTS_LIVEWARDEN_H
