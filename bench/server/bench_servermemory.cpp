// The resident memory of the real velmor-warden, run on a machine root of its own against the fake account service:
// idle and signed out (the floor, measured in the same run), idle with an account of 50 profiles and 10,050 list
// entries all held, and again after 10,000 IPC calls on one link. Each figure is given whole and as the service's
// own part, without the library pages it shares with every other Qt program. A second service, signed in to an
// account ten times as large, gives what one list entry costs as it grows, and how high the sync drove the
// resident set above what stays once it settled.
#include "velmorwire/json.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>

#include <cstdio>
#include <functional>

namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress(QHostAddress::LocalHost), 0);
    return probe.serverPort();
}

// Resident memory in KiB: all of it, and the part no other process shares (heap, stacks, written pages), which
// leaves out the pages of Qt, OpenSSL and the C++ library that every Qt program on the machine maps alike.
struct Resident
{
    qint64 all = -1;
    qint64 own = -1;
};

Resident resident(qint64 pid)
{
    Resident figure;
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!rollup.open(QIODevice::ReadOnly))
        return figure;
    qint64 own = 0;
    for (const QByteArray &line : rollup.readAll().split('\n')) {
        const qint64 kib = line.mid(line.indexOf(':') + 1).trimmed().split(' ').value(0).toLongLong();
        if (line.startsWith("Rss:"))
            figure.all = kib;
        else if (line.startsWith("Private_Clean:") || line.startsWith("Private_Dirty:"))
            own += kib;
    }
    figure.own = own;
    return figure;
}

// The highest resident set since the last reset, in KiB.
qint64 peakResident(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Makes the process's peak resident set start again from what it holds now.
void resetPeak(qint64 pid)
{
    QFile refs(QStringLiteral("/proc/%1/clear_refs").arg(pid));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

// The desktop's end, blocking: the service is another process.
class Link
{
public:
    bool open(quint16 port)
    {
        m_socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
        return m_socket.waitForConnected(10000);
    }

    void send(const QVariantMap &message)
    {
        const QByteArray text = Velmor::Json::stringify(message).toUtf8();
        QByteArray packet(4, '\0');
        qToLittleEndian<qint32>(qint32(text.size() + 1), packet.data());
        m_socket.write(packet + '\0' + text);
    }

    int call(const QString &method, const QVariantList &params)
    {
        send({ { "jsonrpc", "2.0" }, { "id", ++m_id }, { "method", method }, { "params", params } });
        return m_id;
    }

    // Reads packets until one satisfies the test; false after the timeout.
    bool readUntil(const std::function<bool(const QVariantMap &)> &test, int timeout = 60000)
    {
        QElapsedTimer elapsed;
        elapsed.start();
        while (!elapsed.hasExpired(timeout)) {
            while (m_buffer.size() >= 4) {
                const qint32 length = qFromLittleEndian<qint32>(m_buffer.constData());
                if (m_buffer.size() < 4 + length)
                    break;
                const QVariant value = Velmor::Json::parse(QString::fromUtf8(m_buffer.mid(5, length - 1)));
                m_buffer.remove(0, 4 + length);
                const QVariantList items
                    = value.typeId() == QMetaType::QVariantList ? value.toList() : QVariantList { value };
                bool found = false;
                for (const QVariant &item : items)
                    found = test(item.toMap()) || found;
                if (found)
                    return true;
            }
            if (!m_socket.waitForReadyRead(1000) && m_socket.state() != QAbstractSocket::ConnectedState)
                return false;
            m_buffer += m_socket.readAll();
        }
        return false;
    }

    bool answer(int id)
    {
        return readUntil([id](const QVariantMap &item) { return item.value("id").toInt() == id; });
    }

private:
    QTcpSocket m_socket;
    QByteArray m_buffer;
    int m_id = 0;
};

struct AccountService
{
    QProcess process;
    QTemporaryDir pki;
    quint16 port = 0;
    quint16 control = 0;
    QString ca;

    bool start()
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral("/usr/bin/python3"),
            { QStringLiteral(SOURCE_DIR "/tests/fixtures/account_service.py"), QStringLiteral("--pki"), pki.path() });
        if (!process.waitForStarted() || !process.waitForReadyRead(60000))
            return false;
        const QVariantMap ready = Velmor::Json::parse(QString::fromUtf8(process.readLine())).toMap();
        port = quint16(ready.value("port").toUInt());
        control = quint16(ready.value("control").toUInt());
        ca = ready.value("ca").toString();
        return port != 0;
    }
    bool addAccount(const QString &user, const QString &password, int profiles, int domains)
    {
        const QByteArray body = Velmor::Json::stringify(
            QVariantMap { { "op", "account" }, { "user", user }, { "password", password }, { "profiles", profiles },
                { "domains",
                    domains } }).toUtf8();
        QTcpSocket socket;
        socket.connectToHost(QHostAddress(QHostAddress::LocalHost), control);
        if (!socket.waitForConnected(10000))
            return false;
        socket.write(
            "POST /control HTTP/1.0\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        while (socket.waitForReadyRead(10000)) { }
        return true;
    }
    ~AccountService()
    {
        process.closeWriteChannel();
        if (!process.waitForFinished(5000))
            process.kill();
    }
};

// One service on a machine root of its own, signed out and then signed in to an account whose lists all come.
struct Figures
{
    int entries = 0;
    Resident signedOut;
    Resident held;
    qint64 peak = -1;
    Resident afterCalls;
};

bool measure(AccountService &account, const QString &user, const QString &password, int profiles, int perList,
    int calls, Figures *figures)
{
    figures->entries = profiles * perList * 3;
    QTemporaryDir root;
    const quint16 ipcPort = freePort();
    QDir().mkpath(root.filePath(QStringLiteral("trust")));
    QFile::copy(account.ca, root.filePath(QStringLiteral("trust/account.pem")));
    QDir().mkpath(root.filePath(QStringLiteral("settings/Velmor")));
    {
        QSettings settings(root.filePath(QStringLiteral("settings/Velmor/Service.ini")), QSettings::IniFormat);
        settings.setValue(QStringLiteral("www"), QStringLiteral("https://127.0.0.1:%1").arg(account.port));
        settings.setValue(QStringLiteral("localproxy-addr"), QStringLiteral("127.0.0.1:%1").arg(freePort()));
        settings.setValue(QStringLiteral("vyrproxy-addr"), QStringLiteral("127.0.0.2:5353"));
        settings.setValue(QStringLiteral("httpd-port"), 0);
        settings.setValue(QStringLiteral("settings-protected"), false);
    }
    QFile machine(root.filePath(QStringLiteral("machine.json")));
    machine.open(QIODevice::WriteOnly);
    machine.write("{\"adapters\":[{\"id\":\"{6A1F0C2E-0000-4000-8000-000000000001}\",\"index\":1,\"name\":"
                  "\"Ethernet\",\"type\":6,\"up\":true,\"addresses\":[\"192.168.1.20\"]}],\"routes\":[]}");
    machine.close();

    QProcess warden;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELMOR_ROOT"), root.path());
    environment.insert(QStringLiteral("VELMOR_IPC_PORT"), QString::number(ipcPort));
    warden.setProcessEnvironment(environment);
    warden.start(QStringLiteral(WARDEN_PROGRAM), { QStringLiteral("-e") });
    if (!warden.waitForStarted())
        return false;
    const qint64 pid = warden.processId();
    const auto stop = qScopeGuard([&warden] {
        warden.terminate();
        if (!warden.waitForFinished(30000))
            warden.kill();
    });

    Link link;
    QElapsedTimer wait;
    wait.start();
    while (!link.open(ipcPort) && !wait.hasExpired(30000))
        QThread::msleep(50);
    QThread::sleep(2);
    figures->signedOut = resident(pid);
    resetPeak(pid);

    // Sign in; the whole account is held once its lists have come.
    const int signIn = link.call(QStringLiteral("setCredentials"), { user, password });
    if (!link.answer(signIn) || !link.readUntil([](const QVariantMap &item) {
            return item.value("method") == "setIdentification" && item.value("params").toList().value(0) == 1;
        })) {
        std::fprintf(stderr, "the sign-in did not complete\n");
        return false;
    }
    // After the sign-in the account client fetches every profile's data; each list arrives as a "setDomains".
    QSet<QPair<int, int>> lists;
    const int listCount = profiles * 3;
    if (!link.readUntil(
            [&lists, listCount](const QVariantMap &item) {
                const QVariantList params = item.value("params").toList();
                if (item.value("method") == "setDomains")
                    lists.insert({ params.value(0).toInt(), params.value(1).toInt() });
                return lists.size() == listCount;
            },
            300000)) {
        std::fprintf(stderr, "%d lists of %d came\n", int(lists.size()), listCount);
        return false;
    }
    QThread::sleep(2);
    figures->held = resident(pid);
    figures->peak = peakResident(pid);

    // Calls that the service answers itself, in four kinds.
    const QList<QPair<QString, QVariantList>> kinds { { "unlockSettings", { user, password } },
        { "setProfile", { 101 } }, { "setGlobalFiltering", { true, 0 } },
        { "setSetting", { "dd-hostname", "Bench" } } };
    for (int i = 0; i < calls; ++i) {
        const int id = link.call(kinds.at(i % kinds.size()).first, kinds.at(i % kinds.size()).second);
        if (!link.answer(id)) {
            std::fprintf(stderr, "call %d was not answered\n", i);
            return false;
        }
    }
    if (calls > 0) {
        QThread::sleep(2);
        figures->afterCalls = resident(pid);
    }
    return true;
}

// What each entry adds to the service's own memory, and the sync's peak resident set beside the one it settles at,
// whole and above the floor.
void printGrowth(const Figures &figures)
{
    const qint64 settled = figures.held.all - figures.signedOut.all;
    const qint64 peak = figures.peak - figures.signedOut.all;
    std::printf("  %d entries: %.0f bytes per entry of its own memory (aim at 100,000: at most 250); the sync's peak "
                "resident set %.1f MB, %.2f times the %.1f MB it settles at (aim: at most 2); above signed out the "
                "peak is %.1f MB, %.2f times the %.1f MB that stays\n",
        figures.entries, (figures.held.own - figures.signedOut.own) * 1024.0 / figures.entries, figures.peak / 1024.0,
        double(figures.peak) / figures.held.all, figures.held.all / 1024.0, peak / 1024.0, double(peak) / settled,
        settled / 1024.0);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString user = QStringLiteral("owner@example.com");
    const QString password = QStringLiteral("bench-password");
    const QString largeUser = QStringLiteral("large@example.com");
    AccountService account;
    // 50 profiles with 67 entries in each of their three lists: 10,050 entries; the large account 100,050.
    if (!account.start() || !account.addAccount(user, password, 50, 67)
        || !account.addAccount(largeUser, password, 50, 667)) {
        std::fprintf(stderr, "the fake account service did not start\n");
        return 1;
    }

    Figures small;
    Figures large;
    if (!measure(account, user, password, 50, 67, 10000, &small)
        || !measure(account, largeUser, password, 50, 667, 0, &large))
        return 1;
    const Resident &signedOut = small.signedOut;
    const Resident &held = small.held;
    const Resident &after = small.afterCalls;
    std::printf("velmor-warden resident memory (all / its own): signed out %.1f / %.1f MB; idle with 50 profiles "
                "and 10,050 entries held %.1f / %.1f MB (aim: at most 20 MB), %.2f / %.2f times signed out; after "
                "10,000 IPC calls %.1f / %.1f MB, %.3f / %.3f times before\n",
        signedOut.all / 1024.0, signedOut.own / 1024.0, held.all / 1024.0, held.own / 1024.0,
        double(held.all) / signedOut.all, double(held.own) / signedOut.own, after.all / 1024.0, after.own / 1024.0,
        double(after.all) / held.all, double(after.own) / held.own);
    std::printf("memory per list entry, and the sync's peak:\n");
    printGrowth(small);
    printGrowth(large);
    return 0;
}
