// The resident memory of the real velmor-warden, run on a machine root of its own against the fake account service:
// idle and signed out (the floor, measured in the same run), idle with an account of 50 profiles and 10,000 list
// entries all held, and again after 10,000 IPC calls on one link.
#include "velmorwire/json.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
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

qint64 residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
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
        const QByteArray body = Velmor::Json::stringify(QVariantMap { { "op", "account" }, { "user", user },
                                                             { "password", password }, { "profiles", profiles },
                                                             { "domains", domains } })
                                    .toUtf8();
        QTcpSocket socket;
        socket.connectToHost(QHostAddress(QHostAddress::LocalHost), control);
        if (!socket.waitForConnected(10000))
            return false;
        socket.write("POST /control HTTP/1.0\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n"
            + body);
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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString user = QStringLiteral("owner@example.com");
    const QString password = QStringLiteral("bench-password");
    AccountService account;
    // 50 profiles with 67 entries in each of their three lists: 10,050 entries.
    if (!account.start() || !account.addAccount(user, password, 50, 67)) {
        std::fprintf(stderr, "the fake account service did not start\n");
        return 1;
    }

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
        return 1;
    const qint64 pid = warden.processId();

    Link link;
    QElapsedTimer wait;
    wait.start();
    while (!link.open(ipcPort) && !wait.hasExpired(30000))
        QThread::msleep(50);
    QThread::sleep(2);
    const qint64 signedOut = residentKiB(pid);

    // Sign in, then fetch every list of every profile so that the whole account is held.
    const int signIn = link.call(QStringLiteral("setCredentials"), { user, password });
    if (!link.answer(signIn)
        || !link.readUntil([](const QVariantMap &item) {
               return item.value("method") == "setIdentification" && item.value("params").toList().value(0) == 1;
           })) {
        std::fprintf(stderr, "the sign-in did not complete\n");
        return 1;
    }
    // Selecting a profile loads its lists; each arrives as a "setDomains" notification. The first profile's came
    // with the sign-in.
    int lists = 0;
    for (int profile = 102; profile <= 150; ++profile) {
        const int id = link.call(QStringLiteral("setProfile"), { profile });
        int received = 0;
        if (!link.answer(id) || !link.readUntil([profile, &received](const QVariantMap &item) {
                const QVariantList params = item.value("params").toList();
                return item.value("method") == "setDomains" && params.value(0).toInt() == profile && ++received == 3;
            })) {
            std::fprintf(stderr, "the lists of profile %d did not come\n", profile);
            return 1;
        }
        lists += received;
    }
    link.answer(link.call(QStringLiteral("setProfile"), { 101 }));
    QThread::sleep(2);
    const qint64 held = residentKiB(pid);

    // 10,000 calls that the service answers itself, in four kinds.
    const QList<QPair<QString, QVariantList>> calls { { "unlockSettings", { user, password } },
        { "setProfile", { 101 } }, { "setGlobalFiltering", { true, 0 } }, { "setSetting", { "dd-hostname", "Bench" } } };
    for (int i = 0; i < 10000; ++i) {
        const int id = link.call(calls.at(i % calls.size()).first, calls.at(i % calls.size()).second);
        if (!link.answer(id)) {
            std::fprintf(stderr, "call %d was not answered\n", i);
            return 1;
        }
    }
    QThread::sleep(2);
    const qint64 after = residentKiB(pid);

    warden.terminate();
    warden.waitForFinished(30000);
    std::printf("velmor-warden resident memory: signed out %.1f MB; idle with 50 profiles and 10,050 entries held "
                "%.1f MB (ratio %.2f to signed out; aim: at most 20 MB); after 10,000 IPC calls %.1f MB (ratio "
                "%.3f to before)\n",
        signedOut / 1024.0, held / 1024.0, double(held) / signedOut, after / 1024.0, double(after) / held);
    std::printf("lists loaded after the sign-in: %d (49 profiles of 3)\n", lists);
    return 0;
}
