#include "diagnostics/systemreporttext.h"

#include <QTest>

Q_DECLARE_METATYPE(ServiceReportInputs)

// The service's half of the report, composed from given parts and compared whole.
class tst_SystemReportText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void identificationBlock_data();
    void identificationBlock();
    void wholeReport();
    void noProfiles();
};

namespace {

ServiceReportInputs tokenInputs()
{
    ServiceReportInputs inputs;
    inputs.identificationType = 1;
    inputs.profileToken = 101;
    inputs.black.result = true;
    inputs.black.p = QStringLiteral("7");
    inputs.black.ip = QStringLiteral("198.51.100.4");
    inputs.black.t = QStringLiteral("101");
    inputs.transparentProxy.myIp = QStringLiteral("203.0.113.9");
    inputs.account.connected = true;
    inputs.account.currentProfileId = 7;
    inputs.account.selectedProfileId = 8;
    return inputs;
}

} // namespace

void tst_SystemReportText::identificationBlock_data()
{
    QTest::addColumn<ServiceReportInputs>("inputs");
    QTest::addColumn<QString>("block");

    const QString ids
        = QStringLiteral("agent.currentProfileId:7 agent.selectedProfileId:8\nblack.velmor.example.ProfileId:7\n");
    ServiceReportInputs inputs = tokenInputs();
    QTest::newRow("token, same") << inputs
                                 << "Identification type is Token\nblack.velmor.example.token:101 = agent.tocken:101\n"
            + ids;
    inputs.black.t = QStringLiteral("102");
    QTest::newRow("token, different")
        << inputs << "Identification type is Token\nblack.velmor.example.token:102 != agent.tocken:101\n" + ids;
    inputs.black.t = QStringLiteral("None");
    QTest::newRow("token, none received")
        << inputs << "Identification type is Token\nblack.velmor.example.token:None != agent.tocken:101\n" + ids;
    inputs.black.t = QStringLiteral("None");
    inputs.profileToken = 0;
    QTest::newRow("no token either side is still different")
        << inputs << "Identification type is Token\nblack.velmor.example.token:None != agent.tocken:0\n" + ids;
    inputs.black.t = QStringLiteral("abc");
    QTest::newRow("a token that is no number reads 0")
        << inputs << "Identification type is Token\nblack.velmor.example.token:abc = agent.tocken:0\n" + ids;
    inputs = tokenInputs();
    inputs.black.t = QStringLiteral("%1%2");
    QTest::newRow("percent signs are not expanded")
        << inputs << "Identification type is Token\nblack.velmor.example.token:%1%2 != agent.tocken:101\n" + ids;

    inputs = tokenInputs();
    inputs.identificationType = 0;
    QTest::newRow("by IP, addresses printed side by side")
        << inputs << "Identification type is Ipident\nblack.velmor.example.ip:198.51.100.4 nic.ip:203.0.113.9\n" + ids;
    inputs.account.connected = false;
    QTest::newRow("account client not connected: no profile ids")
        << inputs << "Identification type is Ipident\nblack.velmor.example.ip:198.51.100.4 nic.ip:203.0.113.9\n";

    inputs = tokenInputs();
    inputs.black.result = false;
    inputs.black.text = QStringLiteral("Can't read from udp socket 127.0.0.1 Network operation timed out\n");
    QTest::newRow("failed check: its log instead") << inputs
                                                   << "An error occurred during the test, \"Black Address\":Can't read "
                                                      "from udp socket 127.0.0.1 Network operation timed out\n\n";
}

void tst_SystemReportText::identificationBlock()
{
    QFETCH(ServiceReportInputs, inputs);
    QFETCH(QString, block);
    QCOMPARE(::identificationBlock(inputs), block);
}

void tst_SystemReportText::wholeReport()
{
    ServiceReportInputs inputs = tokenInputs();
    inputs.localDnsAddress = QHostAddress(QStringLiteral("0.0.0.0"));
    inputs.localDnsPort = 5353;
    inputs.adapters.text
        = QStringLiteral("There are incorect dns addresees:\nType:ETHERNET_CSMACD Adress:192.168.1.20\nDNS: 8.8.8.8\n");
    inputs.gateway.text = QStringLiteral("Gateway interfase:192.168.1.20 dns address:127.0.0.1\n");
    inputs.userProxy.text = QStringLiteral("There are no proxy in system setings\n");
    inputs.transparentProxy.text = QStringLiteral("http://www.velmor.example/nic/myip:203.0.113.9\n");
    inputs.black.text = QStringLiteral("black.velmor.example p:7,ip198.51.100.4, t:101\n");
    Velmor::CabinetProfile home(7, 101, QStringLiteral("Home"), true);
    Velmor::CabinetProfile kids(8, 102, QStringLiteral("Kids %1 and %2"), false);
    kids.scheduleEnabled = true;
    kids.whiteListOnly = true;
    inputs.account.profiles = { home, kids };
    inputs.commandsOutput = QStringLiteral("\n> uname -a\nLinux\n");
    QCOMPARE(composeServiceReport(inputs),
        QStringLiteral("Local DNS: 0.0.0.0:5353\n"
                       "There are incorect dns addresees:\nType:ETHERNET_CSMACD Adress:192.168.1.20\nDNS: 8.8.8.8\n"
                       "Gateway interfase:192.168.1.20 dns address:127.0.0.1\n"
                       "There are no proxy in system setings\n"
                       "http://www.velmor.example/nic/myip:203.0.113.9\n"
                       "black.velmor.example p:7,ip198.51.100.4, t:101\n"
                       "Identification type is Token\n"
                       "black.velmor.example.token:101 = agent.tocken:101\n"
                       "agent.currentProfileId:7 agent.selectedProfileId:8\n"
                       "black.velmor.example.ProfileId:7\n"
                       "Profiles: id: 7 name: Home token: 101 default: yes schedule: no whiteonly: no\n"
                       " id: 8 name: Kids %1 and %2 token: 102 default: no schedule: yes whiteonly: yes\n"
                       "\n> uname -a\nLinux\n"));
}

void tst_SystemReportText::noProfiles()
{
    ServiceReportInputs inputs = tokenInputs();
    inputs.account.connected = false;
    inputs.localDnsAddress = QHostAddress(QHostAddress::LocalHost);
    inputs.commandsOutput = QStringLiteral("\n> ip route\nFailed to get output\n");
    QCOMPARE(composeServiceReport(inputs),
        QStringLiteral("Local DNS: 127.0.0.1:53\nIdentification type is Token\n"
                       "black.velmor.example.token:101 = agent.tocken:101\nProfiles: \n"
                       "\n> ip route\nFailed to get output\n"));
}

QTEST_GUILESS_MAIN(tst_SystemReportText)
#include "tst_systemreporttext.moc"
