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
// filters all the same, and the block page comes once its port is free.
class tst_WardenPorts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void blockPagePortTaken();

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
    QProcess dig;
    dig.start(QStringLiteral("dig"),
        { QStringLiteral("@127.0.0.1"), QStringLiteral("-p"), QString::number(warden.proxyPort),
            QStringLiteral("first.test"), QStringLiteral("A"), QStringLiteral("+short"), QStringLiteral("+tries=3"),
            QStringLiteral("+time=10") });
    QVERIFY(dig.waitForFinished(120000));
    QCOMPARE(dig.readAllStandardOutput(), QByteArray("10.0.0.1\n"));

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

QTEST_GUILESS_MAIN(tst_WardenPorts)
#include "tst_wardenports.moc"
