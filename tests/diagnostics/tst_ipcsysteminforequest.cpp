#include "machinefixture.h"
#include "resolverfixture.h"
#include "vendorsitefixture.h"

#include "cabinettest.h"

#include "diagnostics/checkblackvelmor.h"
#include "diagnostics/checktransparentproxy.h"
#include "diagnostics/ipcsysteminforequest.h"
#include "diagnostics/reportcommands.h"
#include "dns/dnsproxy.h"
#include "staticserverstate.h"

#include "velmorwire/deferred.h"

#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A hand-set server whose identification type the test chooses.
class ReportServerState : public Velmor::StaticServerState
{
public:
    int identificationType() const override { return type; }
    bool useLocalDnsProxy() const override { return type == 1; }

    int type = 1;
};

class Receiver : public QObject
{
    Q_OBJECT

public:
    QStringList reports;

public Q_SLOTS:
    void resultReady(const QVariant &result) { reports.append(result.toString()); }
};

const char machineJson[]
    = R"({"adapters":[{"id":"{LO}","index":1,"name":"Loopback","type":24,"addresses":["127.0.0.1"]},
    {"id":"{E}","index":7,"name":"Ethernet","type":6,"addresses":["192.168.1.20"]}],
    "routes":[{"destination":"0.0.0.0","mask":"0.0.0.0","nextHop":"192.168.1.1","index":7,"metric":25}]})";

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

} // namespace

// The whole service report: real checks on a fixture machine, the vendor's test site, the real DNS proxy before the
// test resolver, fake commands on PATH and a real account client of the fake account service.
class tst_IPCSystemInfoRequest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void wholeReport();
    void callsSideBySide();

private:
    std::unique_ptr<VendorSiteFixture> m_site;
    AccountService m_accounts;
    QTemporaryDir m_bin;
    QByteArray m_path;
};

void tst_IPCSystemInfoRequest::initTestCase()
{
    Velmor::registerDeferredMetaType();
    m_site = std::make_unique<VendorSiteFixture>();
    QVERIFY(m_site->isRunning());
    QVERIFY(m_accounts.start());
    m_accounts.addAccount(QStringLiteral("report@example.com"), QStringLiteral("report-secret-4711"));
    for (const char *name : { "ip", "uname" }) {
        QFile script(m_bin.filePath(QLatin1String(name)));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(qstrcmp(name, "ip") == 0 ? "#!/bin/sh\ncase \"$1\" in address) printf 'inet 192.168.1.20/24\\n' "
                                                ";; route) printf 'default via 192.168.1.1\\n' ;; esac\n"
                                              : "#!/bin/sh\nprintf 'Linux test 6.1.0\\n'\n");
        script.close();
        QVERIFY(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    }
    m_path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(m_bin.path()));
    qunsetenv("http_proxy");
    qunsetenv("all_proxy");
}

void tst_IPCSystemInfoRequest::cleanupTestCase()
{
    qputenv("PATH", m_path);
}

void tst_IPCSystemInfoRequest::wholeReport()
{
    CabinetTest::Machine machine(m_accounts);
    QVERIFY(MachineFixture::setMachine(machineJson));
    QVERIFY(MachineFixture::setDnsServers(QStringLiteral("{E}"), QStringLiteral("127.0.0.1")));
    QVERIFY(MachineFixture::setGateways(QStringLiteral("{E}"), { QStringLiteral("192.168.1.1") }));
    auto cabinet = CabinetTest::syncedCabinet(
        machine, QStringLiteral("report@example.com"), QStringLiteral("report-secret-4711"));
    QVERIFY(cabinet);
    QVERIFY(cabinet->selectedProfile());

    ResolverFixture resolver({ QStringLiteral("--black"), QStringLiteral("velmor.example"),
        QStringLiteral("--black-profile"), QString::number(cabinet->selectedProfile()->id) });
    QVERIFY(resolver.port());
    ReportServerState server;
    server.localPort = freeLocalPort();
    server.upstreamAddress = QHostAddress(QStringLiteral("127.0.0.2"));
    server.upstreamPort = resolver.port();
    server.token = cabinet->selectedProfile()->token;
    auto *proxy = new Velmor::DNSProxy(&server);
    QVERIFY(proxy->start());

    Velmor::Deferred deferred;
    Receiver receiver;
    deferred.addCallback(&receiver, SLOT(resultReady(QVariant)));
    QPointer<Velmor::IPCSystemInfoRequest> request = new Velmor::IPCSystemInfoRequest(deferred, &server, cabinet.get());
    QTRY_COMPARE_WITH_TIMEOUT(receiver.reports.size(), 1, 30000);
    QTRY_VERIFY(request.isNull());

    const QString report = withEchoLinesInOrder(receiver.reports.first());
    QVERIFY(!report.contains(QLatin1String("report-secret-4711")));
    QStringList profiles;
    QList<quint32> ids = cabinet->cachedProfiles().keys();
    std::sort(ids.begin(), ids.end());
    for (quint32 id : ids) {
        const auto profile = cabinet->cachedProfiles().value(id);
        profiles.append(QStringLiteral("id: %1 name: %2 token: %3 default: %4 schedule: %5 whiteonly: %6")
                            .arg(QString::number(id), profile->name, QString::number(profile->token),
                                profile->isDefault ? "yes" : "no", profile->scheduleEnabled ? "yes" : "no",
                                profile->whiteListOnly ? "yes" : "no"));
    }
    const QString selected = QString::number(cabinet->selectedProfile()->id);
    const QString token = QString::number(server.token);
    const QString site = m_site->site();
    const QString expected = QStringLiteral("Local DNS: 127.0.0.1:%1\n").arg(server.localPort)
        + QStringLiteral("Gateway interfase:192.168.1.20 dns address:127.0.0.1\n"
                         "There are no proxy in system setings\n")
        + QStringLiteral("http://%1/nic/myip:127.0.0.1\nhttps://%1/nic/myip:127.0.0.1\n").arg(site)
        + QStringLiteral("black.velmor.example p:%1,ip127.0.0.1, t:%2\n").arg(selected, token)
        + QStringLiteral("Identification type is Token\nblack.velmor.example.token:%1 = agent.tocken:%1\n").arg(token)
        + QStringLiteral("agent.currentProfileId:%1 agent.selectedProfileId:%2\n")
              .arg(QString::number(cabinet->currentProfile()->id), selected)
        + QStringLiteral("black.velmor.example.ProfileId:%1\n").arg(selected)
        + QStringLiteral("Profiles: %1\n").arg(profiles.join(QLatin1String("\n ")))
        + QStringLiteral("\n> ip address\ninet 192.168.1.20/24\n\n"
                         "\n> uname -a\nLinux test 6.1.0\n\n"
                         "\n> ip route\ndefault via 192.168.1.1\n\n");
    QCOMPARE(report, expected);
}

void tst_IPCSystemInfoRequest::callsSideBySide()
{
    // Two calls in a row run side by side; each is answered once, the account client gone meanwhile or not.
    MachineFixture machine;
    QVERIFY(MachineFixture::setMachine(machineJson));
    ResolverFixture resolver({ QStringLiteral("--black"), QStringLiteral("velmor.example") });
    QVERIFY(resolver.port());
    ReportServerState server;
    server.type = 0;
    server.upstreamAddress = QHostAddress(QStringLiteral("127.0.0.2"));
    server.upstreamPort = resolver.port();
    Receiver receiver;
    for (int i = 0; i < 2; ++i) {
        Velmor::Deferred deferred;
        deferred.addCallback(&receiver, SLOT(resultReady(QVariant)));
        new Velmor::IPCSystemInfoRequest(deferred, &server, nullptr);
    }
    QTRY_COMPARE_WITH_TIMEOUT(receiver.reports.size(), 2, 30000);
    for (const QString &report : std::as_const(receiver.reports)) {
        QVERIFY2(
            report.contains(QLatin1String(
                "Identification type is Ipident\nblack.velmor.example.ip:127.0.0.1 nic.ip:127.0.0.1\nProfiles: \n")),
            qPrintable(report));
    }
    QTRY_VERIFY(server.findChildren<Velmor::IPCSystemInfoRequest *>().isEmpty());
    QCoreApplication::processEvents();
    QCOMPARE(receiver.reports.size(), 2);
}

QTEST_GUILESS_MAIN(tst_IPCSystemInfoRequest)
#include "tst_ipcsysteminforequest.moc"
