// The account client's limits, against the fake account service: a reply body over 64 MiB ends its POST before
// it is read whole, and a long run of round trips leaves no call, request or POST alive.
#include "cabinettest.h"

#include "cabinet/legacyhttpcabinet.h"
#include "velmorwire/request.h"
#include "velmorwire/requestmanager.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Velmor;
using CabinetTest::Machine;
using CabinetTest::TestCabinet;

class tst_CabinetLimits : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void oversizedReply_data();
    void oversizedReply();
    void roundTripsReleaseEverything();

private:
    AccountService m_service;
    std::unique_ptr<Machine> m_machine;
};

void tst_CabinetLimits::initTestCase()
{
    QVERIFY(m_service.start());
}

void tst_CabinetLimits::init()
{
    m_service.reset();
    m_service.addAccount(QStringLiteral("ann"), QStringLiteral("pw"));
    m_machine.reset(new Machine(m_service));
    QVERIFY(m_machine->isValid());
}

void tst_CabinetLimits::cleanup()
{
    m_machine.reset();
}

void tst_CabinetLimits::oversizedReply_data()
{
    QTest::addColumn<bool>("declared");
    QTest::newRow("announced by its length") << true;
    QTest::newRow("streamed without a length") << false;
}

void tst_CabinetLimits::oversizedReply()
{
    QFETCH(bool, declared);

    auto cabinet = CabinetTest::syncedCabinet(*m_machine, QStringLiteral("ann"), QStringLiteral("pw"));
    QVERIFY(cabinet);
    m_service.fault(QStringLiteral("oversized"), { { "declared", declared } });
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(QStringLiteral("^cabinet request failed: Reply body larger than 67108864")));
    QSignalSpy errors(cabinet.get(), &Cabinet::error);
    CabinetRequest *auth = cabinet->testAuth(QStringLiteral("ann"), QStringLiteral("pw"));
    unsigned int code = 0;
    connect(auth, &Request::finished, this, [&] { code = auth->error().code(); });
    QSignalSpy finished(auth, &Request::finished);
    QVERIFY(finished.wait(60000));
    QCOMPARE(code, 31u);
    QCOMPARE(cabinet->lastError().code(), 31u);
    QCOMPARE(cabinet->lastError().message(), QStringLiteral("Reply body larger than 67108864 bytes"));
    QCOMPARE(cabinet->state(), int(Cabinet::Disconnected));
    QCOMPARE(errors.count(), 1);
    QVERIFY(cabinet->reconnectTimer().isActive());
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
}

void tst_CabinetLimits::roundTripsReleaseEverything()
{
    auto cabinet = CabinetTest::syncedCabinet(*m_machine, QStringLiteral("ann"), QStringLiteral("pw"));
    QVERIFY(cabinet);
    const auto roundTrips = [&cabinet](int count) {
        int failures = 0;
        for (int trip = 0; trip < count; ++trip) {
            CabinetRequest *request = cabinet->testAuth(QStringLiteral("ann"), QStringLiteral("pw"));
            QSignalSpy finished(request, &Request::finished);
            if (!finished.wait(10000) || !request->error().isSuccess())
                ++failures;
        }
        return failures;
    };
    // The network manager makes its own helpers on first use.
    QCOMPARE(roundTrips(5), 0);
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    const int objectsBefore = cabinet->findChildren<QObject *>().size();

    QCOMPARE(roundTrips(1000), 0);
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    QCOMPARE(cabinet->findChildren<QObject *>().size(), objectsBefore);
    QVERIFY(cabinet->findChildren<CabinetRequest *>().isEmpty());
    QVERIFY(RequestManager::instance()->requests().isEmpty());
}

QTEST_GUILESS_MAIN(tst_CabinetLimits)
#include "tst_cabinetlimits.moc"
