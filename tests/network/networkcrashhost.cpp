// The backend in a process of its own, driven by a scripted server through pauses, resumes, mode switches, local
// address and machine.json changes, until it is killed or SIGTERM stops it as the service stops. Each change the
// backend starts to make is logged first, so whoever kills it learns where the kill fell.
// With --write-early its start first writes the settings store, as the service's does when service.ini changed.
//   network_crash_host <seed> <log file> [--no-ops] [--write-early]
#include "networktest.h"

#include "network/backend.h"

#include "platform/root.h"
#include "platform/settingsstore.h"
#include "platform/terminationsignals.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QSettings>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

namespace {

int logFd = -1;

void logLine(const QByteArray &line)
{
    const QByteArray bytes = line + '\n';
    // Unbuffered: the line is in the file before the change it announces starts, whatever kills the process.
    [[maybe_unused]] const ssize_t a = ::write(logFd, bytes.constData(), size_t(bytes.size()));
    [[maybe_unused]] const ssize_t b = ::write(STDOUT_FILENO, bytes.constData(), size_t(bytes.size()));
}

void messages(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (context.category && qstrcmp(context.category, "velmor.network.writes") == 0)
        logLine("W " + text.toUtf8());
    else if (type != QtDebugMsg)
        ::fprintf(stderr, "%s\n", qPrintable(text));
}

const QStringList ids { QStringLiteral("{0C3A5E10-0000-4000-8000-000000000001}"),
    QStringLiteral("{0C3A5E10-0000-4000-8000-000000000002}"),
    QStringLiteral("{0C3A5E10-0000-4000-8000-000000000003}") };

const QList<QHostAddress> localAddresses { QHostAddress(QHostAddress::AnyIPv4),
    QHostAddress(QStringLiteral("127.0.0.1")), QHostAddress(QStringLiteral("127.0.0.2")),
    QHostAddress(QStringLiteral("127.0.0.3")) };

void writeMachine(QRandomGenerator &random)
{
    const QStringList names { QStringLiteral("Ethernet"), QStringLiteral("Wi-Fi"), QStringLiteral("Dial-up") };
    const int types[] = { 6, 71, 23 };
    QJsonArray adapters;
    for (int i = 0; i < 3; ++i) {
        QJsonArray addresses;
        if (random.bounded(4) != 0)
            addresses.append(QStringLiteral("10.%1.0.%2").arg(i + 1).arg(random.bounded(2, 250)));
        adapters.append(QJsonObject { { QStringLiteral("id"), ids.at(i) }, { QStringLiteral("index"), i + 11 },
            { QStringLiteral("name"), names.at(i) }, { QStringLiteral("type"), types[i] },
            { QStringLiteral("addresses"), addresses } });
    }
    const QJsonObject route { { QStringLiteral("destination"), QStringLiteral("0.0.0.0") },
        { QStringLiteral("mask"), QStringLiteral("0.0.0.0") },
        { QStringLiteral("nextHop"), QStringLiteral("10.1.0.1") }, { QStringLiteral("index"), 11 },
        { QStringLiteral("metric"), random.bounded(1, 50) } };
    Velmor::Platform::writeFileAtomically(Velmor::Platform::rootPath(QStringLiteral("machine.json")),
        QJsonDocument(QJsonObject { { QStringLiteral("adapters"), adapters },
                          { QStringLiteral("routes"), QJsonArray { route } } })
            .toJson(),
        0644);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
    QCoreApplication::setApplicationName(QStringLiteral("Service"));
    const QStringList arguments = app.arguments();
    if (arguments.size() < 3)
        return 2;
    logFd = ::open(
        QFile::encodeName(arguments.at(2)).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
    if (logFd < 0)
        return 2;
    const bool operations = !arguments.contains(QStringLiteral("--no-ops"));
    bool writeEarly = arguments.contains(QStringLiteral("--write-early"));
    Velmor::Platform::useRootSettings();
    qInstallMessageHandler(messages);
    QLoggingCategory::setFilterRules(QStringLiteral("velmor.network.writes.debug=true"));

    QRandomGenerator random(arguments.at(1).toUInt());
    NetworkTest::ScriptedServer server;
    server.identified = false;
    server.type = int(random.bounded(2));
    server.local = localAddresses.at(int(random.bounded(localAddresses.size())));
    server.filtering = random.bounded(4) != 0;
    auto *backend = new Velmor::Backend(&server);
    Velmor::Platform::TerminationSignals termination;
    bool running = false;

    // The server's start: the backend first, then identification becomes ready.
    auto start = [&] {
        running = true;
        logLine("P start");
        if (writeEarly) {
            writeEarly = false;
            QSettings settings;
            settings.setValue(QStringLiteral("crash-host-start"), arguments.at(1));
            settings.sync();
        }
        backend->start();
        server.identified = true;
        server.notify();
        logLine("P started");
    };
    // The server's stop: identification stops while the backend still follows, then the backend stops.
    auto stop = [&] {
        running = false;
        server.identified = false;
        server.notify();
        backend->stop();
    };
    QObject::connect(&termination, &Velmor::Platform::TerminationSignals::received, &app, [&] {
        logLine("P stop");
        if (running)
            stop();
        logLine("P stopped");
        app.quit();
    });

    start();
    QStringList protectedIds = QSettings().value(QStringLiteral("protected-networks")).toStringList();
    for (const QString &id : ids) {
        if (!protectedIds.contains(id)) {
            logLine("P protect " + id.toUtf8());
            backend->setNetworkProtection(id, true);
        }
    }

    QTimer operation;
    operation.setSingleShot(true);
    QObject::connect(&operation, &QTimer::timeout, &app, [&] {
        switch (random.bounded(6)) {
        case 0:
            logLine(running ? "P op pause" : "P op resume");
            if (running)
                stop();
            else
                start();
            break;
        case 1:
            logLine("P op mode");
            server.type ^= 1;
            server.notify();
            break;
        case 2:
            logLine("P op local address");
            server.local = localAddresses.at(int(random.bounded(localAddresses.size())));
            server.notify();
            break;
        case 3:
            logLine("P op filtering");
            server.filtering = !server.filtering;
            server.notify();
            break;
        default:
            logLine("P op machine");
            writeMachine(random);
            break;
        }
        operation.start(int(random.bounded(3)));
    });
    if (operations)
        operation.start(0);
    return app.exec();
}
