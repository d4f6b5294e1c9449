#include "../cabinet/accountservice.h"
#include "livewarden.h"
#include "scratchroot.h"
#include "servertest.h"

#include <QTcpServer>
#include <QtTest>

namespace {

const QString user = QStringLiteral("owner@example.com");
const QString password = QStringLiteral("Pa55-7f3c-unique-secret");

} // namespace

// The real velmor-warden signed in by token, with the block page's port held by another program: the DNS proxy
// filters all the same, and the block page comes once its port is free. With the proxy's own port held by another
// user, the networks stay on the filtering resolver until the proxy can listen.
class tst_WardenPorts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void blockPagePortTaken();
    void proxyPortTakenByAnotherUser_data();
    void proxyPortTakenByAnotherUser();

private:
    AccountService m_account;
    QTemporaryDir m_logs;
    WardenTest::Resolver m_resolver;
};

void tst_WardenPorts::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
    QCoreApplication::setApplicationName(QStringLiteral("Service"));
    QVERIFY(m_account.start());
    m_account.addAccount(user, password, 1, 3);
    QVERIFY(m_resolver.start(
        m_logs.filePath(QStringLiteral("queries.jsonl")), { QStringLiteral("first.test A 10.0.0.1") }));
}

void tst_WardenPorts::blockPagePortTaken()
{
    auto squatter = std::make_unique<QTcpServer>();
    QVERIFY(squatter->listen(QHostAddress(QHostAddress::LocalHost), 0));
    const quint16 blockPagePort = squatter->serverPort();
    WardenTest::LiveWarden warden(m_account, m_resolver.port(),
        { { NetworkTest::adapterId(1), QStringLiteral("Ethernet"), QStringLiteral("192.168.1.20"),
            QStringLiteral("10.0.0.1"), true } },
        { { QStringLiteral("httpd-port"), blockPagePort } });
    QVERIFY(warden.start());

    QProcess client;
    client.start(QStringLiteral("/usr/bin/python3"),
        { TestSupport::fixture(QStringLiteral("warden_client.py")), QStringLiteral("signin"), QStringLiteral("--port"),
            QString::number(warden.ipcPort), QStringLiteral("--user"), user, QStringLiteral("--password"), password });
    QVERIFY(client.waitForFinished(120000));
    QVERIFY2(client.exitCode() == 0, client.readAllStandardError().constData());

    // dig through the local proxy: identification runs without its block page.
    QCOMPARE(WardenTest::digFirst(warden.proxyPort, 3, 10), QByteArray("10.0.0.1\n"));

    squatter.reset();
    QTRY_VERIFY2_WITH_TIMEOUT(
        [&] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress(QHostAddress::LocalHost), blockPagePort);
            return probe.waitForConnected(1000);
        }(),
        "the block page listening once its port was free", 60000);
    VERIFY_STOPS_CLEANLY(warden);
}

namespace {

// Holds UDP and TCP on 127.0.0.1:port as the user nobody until the object goes.
class PortSquatter
{
public:
    bool hold(quint16 port)
    {
        const QString script
            = QStringLiteral("import socket, sys\n"
                             "u = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); u.bind(('127.0.0.1', %1))\n"
                             "t = socket.socket(); t.bind(('127.0.0.1', %1)); t.listen(1)\n"
                             "print('ready', flush=True); sys.stdin.read()\n")
                  .arg(port);
        m_process.start(QStringLiteral("setpriv"),
            { QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                QStringLiteral("/usr/bin/python3"), QStringLiteral("-c"), script });
        return m_process.waitForReadyRead(30000) && m_process.readLine().trimmed() == "ready";
    }
    void release()
    {
        m_process.closeWriteChannel();
        m_process.waitForFinished(30000);
    }
    ~PortSquatter()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

private:
    QProcess m_process;
};

// One line of tests/fixtures/warden_client.py, run to its end.
QByteArray wardenClient(const QStringList &arguments)
{
    QProcess client;
    client.start(QStringLiteral("/usr/bin/python3"),
        QStringList { TestSupport::fixture(QStringLiteral("warden_client.py")) } + arguments);
    if (!client.waitForFinished(120000) || client.exitCode() != 0)
        return "FAILED: " + client.readAllStandardError();
    return client.readAllStandardOutput();
}

} // namespace

void tst_WardenPorts::proxyPortTakenByAnotherUser_data()
{
    QTest::addColumn<bool>("restart");
    QTest::newRow("across a pause and continue") << false;
    QTest::newRow("across a stop and start") << true;
}

void tst_WardenPorts::proxyPortTakenByAnotherUser()
{
    QFETCH(bool, restart);
    if (!WardenTest::isRoot())
        QSKIP("another user's socket needs root to switch users");
    const QString adapter = NetworkTest::adapterId(1);
    WardenTest::LiveWarden warden(m_account, m_resolver.port(),
        { { adapter, QStringLiteral("Ethernet"), QStringLiteral("192.168.1.20"), QStringLiteral("10.0.0.1"), true } },
        { { QStringLiteral("protected-networks"), QStringList { adapter } } });
    QVERIFY(warden.start());
    const QByteArray signedIn = wardenClient({ QStringLiteral("signin"), QStringLiteral("--port"),
        QString::number(warden.ipcPort), QStringLiteral("--user"), user, QStringLiteral("--password"), password });
    QVERIFY2(signedIn.endsWith("ok\n"), signedIn.constData());
    QTRY_COMPARE_WITH_TIMEOUT(WardenTest::nameServer(adapter), QStringLiteral("127.0.0.1"), 30000);

    PortSquatter squatter;
    if (restart) {
        VERIFY_STOPS_CLEANLY(warden);
        QVERIFY(squatter.hold(warden.proxyPort));
        warden.process = warden.machine.startForeground({});
    } else {
        QCOMPARE(WardenTest::run({ QStringLiteral("-p") }).exitCode, 0);
        QVERIFY(squatter.hold(warden.proxyPort));
        QCOMPARE(WardenTest::run({ QStringLiteral("-r") }).exitCode, 0);
    }
    QVERIFY(warden.isRunning());
    // Never the network's own, unfiltered server while the proxy cannot listen: the filtering resolver itself.
    QTRY_COMPARE_WITH_TIMEOUT(WardenTest::nameServer(adapter), QStringLiteral("127.0.0.2"), 30000);
    const QByteArray status
        = wardenClient({ QStringLiteral("status"), QStringLiteral("--port"), QString::number(warden.ipcPort) });
    QVERIFY2(status.startsWith("setIdentificationError [1, {\"code\": 1, \"message\": \"Failed to start DNS proxy on "),
        status.constData());
    QVERIFY2(status.contains("the proxy is tried again every 5 s"), status.constData());

    squatter.release();
    QTRY_COMPARE_WITH_TIMEOUT(WardenTest::nameServer(adapter), QStringLiteral("127.0.0.1"), 30000);
    QCOMPARE(WardenTest::digFirst(warden.proxyPort, 3, 5), QByteArray("10.0.0.1\n"));
    const QByteArray identified
        = wardenClient({ QStringLiteral("status"), QStringLiteral("--port"), QString::number(warden.ipcPort) });
    QVERIFY2(identified.startsWith("setIdentification [1, "), identified.constData());
    VERIFY_STOPS_CLEANLY(warden);
}

QTEST_GUILESS_MAIN(tst_WardenPorts)
#include "tst_wardenports.moc"
