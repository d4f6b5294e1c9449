#include "machinefixture.h"
#include "resolverfixture.h"

#include "diagnostics/checkblackvelmor.h"
#include "diagnostics/systemreporttext.h"
#include "dns/dnsproxy.h"
#include "staticserverstate.h"

#include <QAtomicInt>
#include <QMutex>
#include <QTest>
#include <QThreadPool>
#include <QUdpSocket>

namespace {

// Every message written while a check runs, from any thread: the service's messages go to the event log, which
// every local user may read.
QMutex loggedLock;
QStringList logged;
QtMessageHandler previousHandler = nullptr;

void keepMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    {
        const QMutexLocker locker(&loggedLock);
        logged.append(message);
    }
    previousHandler(type, context, message);
}

} // namespace

// The identification check through the real local DNS proxy (which adds the token) to the test resolver answering
// "black.", and the report line its answer gives. The proxy answers on this thread, so the test waits with its
// event loop running, as the service's main thread does.
class tst_CheckBlackVelmor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void answers_data();
    void answers();
    void byIpStraightToTheResolver();
    void portTaken_data();
    void portTaken();

private:
    // Runs the check on a pool thread, keeping this thread's events going.
    bool runCheck(BlackTestResult *record);
};

bool tst_CheckBlackVelmor::runCheck(BlackTestResult *record)
{
    {
        const QMutexLocker locker(&loggedLock);
        logged.clear();
    }
    previousHandler = qInstallMessageHandler(keepMessage);
    QAtomicInt done(0);
    auto *check = new CheckBlackVelmor(record);
    check->setFinishedHandler([&done] { done.storeRelease(1); });
    QThreadPool pool;
    pool.start(check);
    const bool finished = QTest::qWaitFor([&done] { return done.loadAcquire() == 1; }, 20000);
    pool.waitForDone();
    qInstallMessageHandler(previousHandler);
    return finished;
}

void tst_CheckBlackVelmor::init()
{
    CheckBlackVelmor::setAnswerLimit(1000);
}

void tst_CheckBlackVelmor::cleanup()
{
    CheckBlackVelmor::setAnswerLimit(30000);
}

void tst_CheckBlackVelmor::answers_data()
{
    // The real proxy drops upstream answers that are not a response to its query: those faults reach only a check
    // that asks the resolver itself, as in identification by IP.
    QTest::addColumn<bool>("viaProxy");
    QTest::addColumn<QStringList>("resolverOptions");
    QTest::addColumn<bool>("result");
    // "%ip" stands for the address the resolver saw.
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("reportLine");

    const QStringList black { QStringLiteral("--black"), QStringLiteral("velmor.example"),
        QStringLiteral("--black-profile"), QStringLiteral("7") };
    QTest::newRow("the token it got, =") << true << black << true << "black.velmor.example p:7,ip%ip, t:101\n"
                                         << "black.velmor.example.token:101 = agent.tocken:101";
    QTest::newRow("another token, !=") << true
                                       << black
            + QStringList { "--black-payload", R"({"p":7,"ip":"198.51.100.4","t":999})" }
                                       << true << "black.velmor.example p:7,ip198.51.100.4, t:999\n"
                                       << "black.velmor.example.token:999 != agent.tocken:101";
    QTest::newRow("no t") << true << black + QStringList { "--black-payload", R"({"p":7,"ip":"198.51.100.4"})" } << true
                          << "black.velmor.example p:7,ip198.51.100.4, t:None\n"
                          << "black.velmor.example.token:None != agent.tocken:101";
    QTest::newRow("a payload that is no JSON object") << true << black + QStringList { "--black-payload", "[1,2]" }
                                                      << true << "black.velmor.example p:None,ipNone, t:None\n"
                                                      << "black.velmor.example.token:None != agent.tocken:101";
    QTest::newRow("wrong id, straight to the resolver") << false << black + QStringList { "--black-fault", "wrong-id" }
                                                        << false << "response id and request id are different\n"
                                                        << QString();
    QTest::newRow("bare header, straight to the resolver")
        << false << black + QStringList { "--black-fault", "bare-header" } << false
        << "Answer is't correct dns response\n"
        << QString();
    QTest::newRow("no answer record") << true << black + QStringList { "--black-fault", "no-answer" } << false
                                      << "multiple answers:0\n"
                                      << QString();
    QTest::newRow("two answer records") << true << black + QStringList { "--black-fault", "two-answers" } << false
                                        << "multiple answers:2\n"
                                        << QString();
    QTest::newRow("silence") << true << black + QStringList { "--drop", "black.velmor.example" } << false
                             << "Can't read from udp socket 127.0.0.1 " << QString();
}

void tst_CheckBlackVelmor::answers()
{
    QFETCH(bool, viaProxy);
    QFETCH(QStringList, resolverOptions);
    QFETCH(bool, result);
    QFETCH(QString, log);
    QFETCH(QString, reportLine);
    MachineFixture machine;
    ResolverFixture resolver(resolverOptions);
    QVERIFY(resolver.port());
    Velmor::StaticServerState state;
    state.localPort = freeLocalPort();
    state.upstreamAddress = QHostAddress(QStringLiteral("127.0.0.2"));
    state.upstreamPort = resolver.port();
    state.token = 101;
    auto *proxy = new Velmor::DNSProxy(&state);
    QVERIFY2(proxy->start(), qPrintable(proxy->errorString()));

    // A proxy on a port other than 53 is asked on its own port.
    BlackTestResult record;
    record.dnsServer = viaProxy ? QHostAddress(QHostAddress::LocalHost) : state.upstreamAddress;
    record.dnsPort = viaProxy ? state.localPort : state.upstreamPort;
    QVERIFY(runCheck(&record));
    QCOMPARE(record.result, result);
    // The answer names the token, which lets whoever holds it filter as that profile.
    for (const QString &message : std::as_const(logged)) {
        QVERIFY2(!message.contains(QLatin1String("101")) && !message.contains(QLatin1String("999"))
                && !message.startsWith(QLatin1String("p:")) && !message.startsWith(QLatin1String("ip:"))
                && !message.startsWith(QLatin1String("t:")),
            qPrintable(message));
    }
    if (log.endsWith(QLatin1Char('\n'))) {
        QVERIFY2(!result || record.ip == QLatin1String("198.51.100.4") || record.ip == QLatin1String("None")
                || QHostAddress(record.ip).isLoopback(),
            qPrintable(record.ip));
        QCOMPARE(record.text, QString(log).replace(QLatin1String("%ip"), record.ip));
    } else {
        QVERIFY2(record.text.startsWith(log) && record.text.endsWith(QLatin1Char('\n')), qPrintable(record.text));
    }
    if (!reportLine.isEmpty()) {
        ServiceReportInputs inputs;
        inputs.black = record;
        inputs.identificationType = 1;
        inputs.profileToken = state.token;
        QCOMPARE(identificationBlock(inputs), QStringLiteral("Identification type is Token\n") + reportLine + '\n');
    }
}

void tst_CheckBlackVelmor::byIpStraightToTheResolver()
{
    ResolverFixture resolver({ QStringLiteral("--black"), QStringLiteral("velmor.example"),
        QStringLiteral("--black-profile"), QStringLiteral("3") });
    QVERIFY(resolver.port());
    BlackTestResult record;
    record.dnsServer = QHostAddress(QStringLiteral("127.0.0.2"));
    record.dnsPort = resolver.port();
    QVERIFY(runCheck(&record));
    QVERIFY(record.result);
    QCOMPARE(record.p, QStringLiteral("3"));
    QCOMPARE(record.t, QStringLiteral("None"));
    QVERIFY(QHostAddress(record.ip).isLoopback());
}

void tst_CheckBlackVelmor::portTaken_data()
{
    QTest::addColumn<bool>("takeBoth");
    QTest::newRow("1234 taken: 4321 serves") << false;
    QTest::newRow("both taken") << true;
}

void tst_CheckBlackVelmor::portTaken()
{
    QFETCH(bool, takeBoth);
    ResolverFixture resolver({ QStringLiteral("--black"), QStringLiteral("velmor.example") });
    QVERIFY(resolver.port());
    QUdpSocket first;
    QUdpSocket second;
    QVERIFY(first.bind(QHostAddress::AnyIPv4, 1234, QAbstractSocket::DontShareAddress));
    if (takeBoth)
        QVERIFY(second.bind(QHostAddress::AnyIPv4, 4321, QAbstractSocket::DontShareAddress));
    BlackTestResult record;
    record.dnsServer = QHostAddress(QStringLiteral("127.0.0.2"));
    record.dnsPort = resolver.port();
    QVERIFY(runCheck(&record));
    QCOMPARE(record.result, !takeBoth);
    if (takeBoth)
        QVERIFY2(record.text.startsWith(QLatin1String("Can't bind udp socket: 127.0.0.2 ")), qPrintable(record.text));
}

QTEST_GUILESS_MAIN(tst_CheckBlackVelmor)
#include "tst_checkblackvelmor.moc"
