#include "machinefixture.h"
#include "resolverfixture.h"
#include "servertest.h"
#include "vendorsitefixture.h"

#include "core/ipcsysteminforequest.h"
#include "ipcprobe.h"

#include "velmorwire/deferred.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using WardenTest::IpcProbe;
using WardenTest::ServerFixture;

namespace {

// The two address-echo lines arrive in either order; the report keeps the order they came in.
QString withEchoLinesInOrder(QString text)
{
    const qsizetype https = text.indexOf(QLatin1String("https://"));
    const qsizetype http = text.indexOf(QLatin1String("http://"));
    if (https >= 0 && http > https) {
        const qsizetype end = text.indexOf(QLatin1Char('\n'), http) + 1;
        const QString httpLine = text.mid(http, end - http);
        text.remove(http, end - http);
        text.insert(https, httpLine);
    }
    return text;
}

// The real server on its own machine, the resolver fixture answering "black." as its filtering resolver, the
// simulated Ethernet adapter carrying the default route, and a desktop's end of the link once the push is through.
struct Running
{
    ServerFixture f;
    ResolverFixture resolver;
    std::unique_ptr<IpcProbe> probe;

    explicit Running(bool tokens)
        : f(tokens)
        , resolver({ QStringLiteral("--black"), QStringLiteral("velmor.example"), QStringLiteral("--black-profile"),
              QStringLiteral("1") })
    {
        if (!resolver.port())
            return;
        f.machine.writeMachine(
            { NetworkTest::Adapter { f.adapter, QStringLiteral("Ethernet"), 6, { QStringLiteral("192.168.1.20") } } },
            { NetworkTest::Route { QStringLiteral("0.0.0.0"), QStringLiteral("192.168.1.1"), 1, 10 } });
        f.machine.setGateways(f.adapter, QStringLiteral("DefaultGateway"), { QStringLiteral("192.168.1.1") });
        f.setSetting(QStringLiteral("vyrproxy-addr"), QStringLiteral("127.0.0.2:%1").arg(resolver.port()));
        f.makeReady();
        if (!f.server->start())
            return;
        probe = std::make_unique<IpcProbe>(f.ipcPort);
        if (!QTest::qWaitFor([this] { return probe->methods().contains(QStringLiteral("setIdentification")); }))
            probe.reset();
    }
    ~Running() { f.server->stop(); }

    // The report as the desktop receives it, or what went wrong.
    QString report(int id)
    {
        if (!probe->waitForAnswer(id, 30000))
            return QStringLiteral("<no answer>");
        if (!probe->error(id).isEmpty())
            return QStringLiteral("<error %1>").arg(probe->error(id).value(QStringLiteral("message")).toString());
        return withEchoLinesInOrder(probe->result(id).toString());
    }
};

class Receiver : public QObject
{
    Q_OBJECT

public:
    QStringList reports;

public Q_SLOTS:
    void resultReady(const QVariant &result) { reports.append(result.toString()); }
};

} // namespace

// The service's half of the report from the real server, asked for over the link: real checks on the simulated
// machine, the vendor's test site, the server's own DNS proxy before the resolver fixture, fake commands on PATH
// and the account as the account client holds it.
class tst_IPCSystemInfoRequest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void wholeReport_data();
    void wholeReport();
    void callsSideBySide();
    void callsOfOnePacketShareOneReport();

private:
    std::unique_ptr<VendorSiteFixture> m_site;
    QByteArray m_path;
};

void tst_IPCSystemInfoRequest::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
    QCoreApplication::setApplicationName(QStringLiteral("Service"));
    Velmor::registerDeferredMetaType();
    m_site = std::make_unique<VendorSiteFixture>();
    QVERIFY(m_site->isRunning());
    m_path = qgetenv("PATH");
    // The report's commands, and no others.
    qputenv("PATH", QFile::encodeName(fixturePath(QStringLiteral("report_commands"))));
    qunsetenv("http_proxy");
    qunsetenv("all_proxy");
}

void tst_IPCSystemInfoRequest::cleanupTestCase()
{
    qputenv("PATH", m_path);
}

void tst_IPCSystemInfoRequest::wholeReport_data()
{
    QTest::addColumn<bool>("tokens");
    QTest::addColumn<bool>("accountConnected");
    QTest::addColumn<QString>("dnsLines");
    QTest::addColumn<QString>("identification");

    // By token the adapter is pointed at the local proxy, and the resolver sees the token the proxy added.
    QTest::newRow("token, account connected")
        << true << true << "Gateway interfase:192.168.1.20 dns address:127.0.0.1\n"
        << "black.velmor.example p:1,ip127.0.0.1, t:101\n"
           "Identification type is Token\nblack.velmor.example.token:101 = agent.tocken:101\n"
           "agent.currentProfileId:1 agent.selectedProfileId:1\nblack.velmor.example.ProfileId:1\n";
    // By IP the adapter is pointed at the filtering resolver itself, which the DNS checks take for a foreign
    // server; the identification check asks that resolver, with no token on the way.
    QTest::newRow("IP, account not connected")
        << false << false
        << "There are incorect dns addresees:\nType:ETHERNET_CSMACD Adress:192.168.1.20\nDNS: 127.0.0.2\n"
           "Wrong dns address on gateway interfase:192.168.1.20 DNS:127.0.0.2\n"
        << "black.velmor.example p:1,ip127.0.0.1, t:None\n"
           "Identification type is Ipident\nblack.velmor.example.ip:127.0.0.1 nic.ip:127.0.0.1\n";
}

void tst_IPCSystemInfoRequest::wholeReport()
{
    QFETCH(bool, tokens);
    QFETCH(bool, accountConnected);
    QFETCH(QString, dnsLines);
    QFETCH(QString, identification);

    Running r(tokens);
    QVERIFY(r.probe);
    QTRY_COMPARE(r.f.nameServer(), tokens ? QStringLiteral("127.0.0.1") : QStringLiteral("127.0.0.2"));
    if (accountConnected)
        r.f.cabinet->moveToState(Velmor::Cabinet::Connected);
    // A name with a placeholder of its own is reported as it is.
    r.f.cabinet->cachedProfiles().value(2)->name = QStringLiteral("Kids %1");

    const QString report = r.report(r.probe->call(QStringLiteral("systemInfo")));
    const QString site = m_site->site();
    const QString expected = QStringLiteral("Local DNS: 127.0.0.1:%1\n").arg(r.f.proxyPort) + dnsLines
        + QStringLiteral("There are no proxy in system setings\n")
        + QStringLiteral("http://%1/nic/myip:127.0.0.1\nhttps://%1/nic/myip:127.0.0.1\n").arg(site)
        + identification
        // Another profile's token would let whoever asked filter as that profile.
        + QStringLiteral("Profiles: id: 1 name: Profile 1 token: 101 default: yes schedule: no whiteonly: no\n"
                         " id: 2 name: Kids %1 token: 0 default: no schedule: no whiteonly: no\n")
        + QStringLiteral("\n> ip address\ninet 192.168.1.20/24\n\n"
                         "\n> uname -a\nLinux test 6.1.0\n\n"
                         "\n> ip route\ndefault via 192.168.1.1\n\n");
    QCOMPARE(report, expected);
    QVERIFY(!report.contains(QLatin1String("secret-password")));
    QTRY_VERIFY(r.f.server->findChildren<Velmor::IPCSystemInfoRequest *>().isEmpty());
}

void tst_IPCSystemInfoRequest::callsSideBySide()
{
    // Two requests in a row run side by side, each on its own port of the identification check; each delivers
    // once and goes with its answer.
    Running r(true);
    QVERIFY(r.probe);
    Receiver receiver;
    for (int i = 0; i < 2; ++i) {
        Velmor::Deferred deferred;
        deferred.addCallback(&receiver, SLOT(resultReady(QVariant)));
        new Velmor::IPCSystemInfoRequest(deferred, r.f.server.get());
    }
    QTRY_COMPARE_WITH_TIMEOUT(receiver.reports.size(), 2, 30000);
    for (const QString &report : std::as_const(receiver.reports)) {
        QVERIFY2(report.startsWith(QStringLiteral("Local DNS: 127.0.0.1:%1\n").arg(r.f.proxyPort)), qPrintable(report));
        QVERIFY2(
            report.contains(QLatin1String("black.velmor.example.token:101 = agent.tocken:101\n")), qPrintable(report));
    }
    QTRY_VERIFY(r.f.server->findChildren<Velmor::IPCSystemInfoRequest *>().isEmpty());
    QCoreApplication::processEvents();
    QCOMPARE(receiver.reports.size(), 2);
}

void tst_IPCSystemInfoRequest::callsOfOnePacketShareOneReport()
{
    QTemporaryDir folder;
    const QString commandLog = folder.filePath(QStringLiteral("commands"));
    qputenv("VELMOR_COMMAND_LOG", QFile::encodeName(commandLog));
    Running r(true);
    QVERIFY(r.probe);
    // A call is allowed on a locked connection: a batch of them is what anyone can send.
    QByteArray batch = "[";
    for (int id = 1000; id < 1050; ++id)
        batch += (id > 1000 ? "," : "") + QByteArray(R"({"jsonrpc":"2.0","method":"systemInfo","id":)")
            + QByteArray::number(id) + "}";
    r.probe->sendPacket(batch + "]");
    const QString first = r.report(1000);
    qunsetenv("VELMOR_COMMAND_LOG");
    QVERIFY2(first.startsWith(QStringLiteral("Local DNS: 127.0.0.1:%1\n").arg(r.f.proxyPort)), qPrintable(first));
    for (int id = 1001; id < 1050; ++id)
        QCOMPARE(r.report(id), first);
    QFile log(commandLog);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), QByteArray("uname\n"));
    QTRY_VERIFY(r.f.server->findChildren<Velmor::IPCSystemInfoRequest *>().isEmpty());
}

QTEST_GUILESS_MAIN(tst_IPCSystemInfoRequest)
#include "tst_ipcsysteminforequest.moc"
