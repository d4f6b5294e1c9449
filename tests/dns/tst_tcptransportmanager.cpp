#include "dns/dnsclock.h"
#include "dns/tcpclienttransport.h"
#include "dns/tcptransportmanager.h"
#include "fakeupstream.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace Velmor::DNS;

// The reaper on its own timer, with an idle limit of one second, on the injected clock.
class tst_TcpTransportManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void unusedIdleConnectionIsClosed();
    void usedConnectionStays();
    void recentDataKeepsItOpen();
    void destroyedTransportLeavesTheManager();

private:
    TcpClientTransport *connectedTransport();

    FakeUpstream *upstream = nullptr;
    TcpTransportManager *manager = nullptr;
};

void tst_TcpTransportManager::initTestCase()
{
    setClock(&FakeClock::read);
}

void tst_TcpTransportManager::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    upstream = new FakeUpstream;
    QVERIFY(upstream->open());
    manager = new TcpTransportManager(1);
}

void tst_TcpTransportManager::cleanup()
{
    delete manager;
    delete upstream;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TcpClientTransport *tst_TcpTransportManager::connectedTransport()
{
    auto *transport = new TcpClientTransport(QHostAddress::LocalHost, upstream->port());
    Packet message = Packet::makeQuery("a.test", 1);
    transport->write(message);
    return transport;
}

void tst_TcpTransportManager::unusedIdleConnectionIsClosed()
{
    QPointer<TcpClientTransport> transport = connectedTransport();
    manager->acquire(transport);
    manager->release(transport);
    QTRY_COMPARE(upstream->received.size(), 1);
    FakeClock::time() += 1001;
    // The timer fires within a second and finds it idle past the limit.
    QTRY_VERIFY(!transport);
    QCOMPARE(manager->transportCount(), 0);
    QTRY_VERIFY(upstream->connections.first()->state() != QAbstractSocket::ConnectedState);
}

void tst_TcpTransportManager::usedConnectionStays()
{
    QPointer<TcpClientTransport> transport = connectedTransport();
    manager->acquire(transport);
    manager->acquire(transport);
    manager->release(transport);
    QCOMPARE(manager->useCount(transport), 1);
    FakeClock::time() += 5000;
    manager->killInactiveTransport();
    QVERIFY(transport);
    manager->release(transport);
    manager->killInactiveTransport();
    QVERIFY(!transport);
}

void tst_TcpTransportManager::recentDataKeepsItOpen()
{
    QPointer<TcpClientTransport> transport = connectedTransport();
    manager->acquire(transport);
    manager->release(transport);
    QTRY_COMPARE(upstream->received.size(), 1);
    FakeClock::time() += 900;
    QSignalSpy arrived(transport.data(), &Transport::readyRead);
    upstream->answer(0);
    QTRY_COMPARE(arrived.size(), 1);
    FakeClock::time() += 900;
    manager->killInactiveTransport();
    QVERIFY(transport);
    FakeClock::time() += 101;
    manager->killInactiveTransport();
    QVERIFY(!transport);
}

void tst_TcpTransportManager::destroyedTransportLeavesTheManager()
{
    auto *transport = connectedTransport();
    manager->acquire(transport);
    delete transport;
    QCOMPARE(manager->transportCount(), 0);
    FakeClock::time() += 5000;
    manager->killInactiveTransport();
}

QTEST_GUILESS_MAIN(tst_TcpTransportManager)
#include "tst_tcptransportmanager.moc"
