#include "simulatedmachine.h"

#include "platform/iphelper.h"
#include "platform/kernelevent.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "platform/winerror.h"

#include <QFileInfo>
#include <QThread>
#include <QtEndian>
#include <QtTest>

#include <memory>

#include <ifaddrs.h>
#include <sys/stat.h>

using namespace PlatformTest;
using namespace Velmor::Platform;

namespace {

struct Listed
{
    QString id;
    QString name;
    quint32 type;
    quint32 status;
    quint32 flags;
    QStringList unicast;
    QStringList dns;
};

QStringList textsOf(const IpHelper::SocketAddressEntry *entry)
{
    QStringList texts;
    for (; entry; entry = entry->next)
        texts.append(QHostAddress(entry->address).toString());
    return texts;
}

// The adapter list as the backend reads it: a first call with 16384 bytes, then one with the size it asks for.
quint32 listAdapters(quint32 family, QList<Listed> *listed, int *calls = nullptr, quint32 *needed = nullptr)
{
    QByteArray buffer(16384, '\0');
    quint32 size = quint32(buffer.size());
    auto *records = reinterpret_cast<IpHelper::AdapterAddresses *>(buffer.data());
    quint32 status = IpHelper::getAdaptersAddresses(family, 0, records, &size);
    int made = 1;
    if (status == ErrorBufferOverflow) {
        if (needed)
            *needed = size;
        buffer.resize(size);
        records = reinterpret_cast<IpHelper::AdapterAddresses *>(buffer.data());
        status = IpHelper::getAdaptersAddresses(family, 0, records, &size);
        ++made;
    }
    if (calls)
        *calls = made;
    if (status != ErrorSuccess)
        return status;
    for (const IpHelper::AdapterAddresses *r = records; r; r = r->next) {
        listed->append(Listed { QString::fromLatin1(r->adapterName), QString::fromUtf16(r->friendlyName), r->ifType,
            r->operStatus, r->flags, textsOf(r->firstUnicastAddress), textsOf(r->firstDnsServerAddress) });
    }
    return status;
}

} // namespace

// The IP Helper of the simulated machine: the adapter list and route table with their buffer sizes, the failures a
// machine file asks for, seeding from this computer, and address-change requests.
class tst_IpHelper : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void adapterListNeedsItsSize();
    void ipv4ListSkipsIPv6AndLoopback();
    void dnsServersComeFromTheInterfaceKey();
    void missingInterfaceKeyIsCreated();
    void failures_data();
    void failures();
    void malformedFile_data();
    void malformedFile();
    void routeTable();
    void lastErrorIsPerThread();
    void seedsFromThisComputer();
    void changeRequestIsOneShot();
    void cancelledRequestIsNotSet();
    void writeInPlaceIsAChange();
    void requestArguments();
    void splitServerList_data();
    void splitServerList();

private:
    std::unique_ptr<SimulatedMachine> m_machine;
};

void tst_IpHelper::init()
{
    m_machine.reset(new SimulatedMachine);
}

void tst_IpHelper::cleanup()
{
    m_machine.reset();
}

void tst_IpHelper::adapterListNeedsItsSize()
{
    QList<Adapter> adapters = ethernetAdapters(40);
    m_machine->writeMachine(adapters);
    for (const Adapter &adapter : adapters)
        m_machine->setValue(adapter.id, QStringLiteral("DhcpNameServer"), QStringLiteral("192.168.1.1"));

    QList<Listed> listed;
    int calls = 0;
    quint32 needed = 0;
    QCOMPARE(listAdapters(IpHelper::FamilyIPv4, &listed, &calls, &needed), quint32(ErrorSuccess));
    QCOMPARE(calls, 2);
    QVERIFY2(needed > 16384, qPrintable(QString::number(needed)));
    QCOMPARE(listed.size(), 40);
    for (int i = 0; i < 40; ++i) {
        QCOMPARE(listed.at(i).id, adapters.at(i).id);
        QCOMPARE(listed.at(i).name, adapters.at(i).name);
        QCOMPARE(listed.at(i).unicast, adapters.at(i).addresses);
        QCOMPARE(listed.at(i).dns, QStringList { QStringLiteral("192.168.1.1") });
    }

    // The size asked for is what the list takes: a byte less still overflows.
    QByteArray buffer(int(needed - 1), '\0');
    quint32 size = needed - 1;
    QCOMPARE(IpHelper::getAdaptersAddresses(
                 IpHelper::FamilyIPv4, 0, reinterpret_cast<IpHelper::AdapterAddresses *>(buffer.data()), &size),
        quint32(ErrorBufferOverflow));
    QCOMPARE(size, needed);

    // Fewer adapters fit the first buffer.
    m_machine->writeMachine(ethernetAdapters(30));
    listed.clear();
    QCOMPARE(listAdapters(IpHelper::FamilyIPv4, &listed, &calls), quint32(ErrorSuccess));
    QCOMPARE(calls, 1);
    QCOMPARE(listed.size(), 30);
}

void tst_IpHelper::ipv4ListSkipsIPv6AndLoopback()
{
    m_machine->writeMachine({ Adapter { adapterId(1), QStringLiteral("Loopback"), IpHelper::TypeSoftwareLoopback,
                                  { QStringLiteral("127.0.0.1"), QStringLiteral("::1") } },
        Adapter { adapterId(2), QStringLiteral("Ethernet"), 6,
            { QStringLiteral("fe80::1"), QStringLiteral("10.0.0.2"), QStringLiteral("2001:db8::2") } },
        Adapter { adapterId(3), QStringLiteral("Wi-Fi"), 71, {}, 0, false } });

    QList<Listed> ipv4;
    QCOMPARE(listAdapters(IpHelper::FamilyIPv4, &ipv4), quint32(ErrorSuccess));
    QCOMPARE(ipv4.size(), 2);
    QCOMPARE(ipv4.at(0).id, adapterId(2));
    QCOMPARE(ipv4.at(0).unicast, QStringList { QStringLiteral("10.0.0.2") });
    QCOMPARE(ipv4.at(0).flags, quint32(IpHelper::FlagIPv4Enabled | IpHelper::FlagIPv6Enabled));
    QCOMPARE(ipv4.at(0).status, quint32(IpHelper::StatusUp));
    QCOMPARE(ipv4.at(1).status, quint32(IpHelper::StatusDown));
    QCOMPARE(ipv4.at(1).unicast, QStringList());

    QList<Listed> all;
    QCOMPARE(listAdapters(IpHelper::FamilyUnspecified, &all), quint32(ErrorSuccess));
    QCOMPARE(all.size(), 3);
    QCOMPARE(all.at(0).type, quint32(IpHelper::TypeSoftwareLoopback));
    QCOMPARE(all.at(0).unicast, (QStringList { QStringLiteral("127.0.0.1"), QStringLiteral("::1") }));
    QCOMPARE(all.at(1).unicast.size(), 3);

    // Only loopback adapters: nothing to list over IPv4.
    m_machine->writeMachine({ Adapter {
        adapterId(1), QStringLiteral("Loopback"), IpHelper::TypeSoftwareLoopback, { QStringLiteral("127.0.0.1") } } });
    QList<Listed> none;
    QCOMPARE(listAdapters(IpHelper::FamilyIPv4, &none), quint32(ErrorNoData));
}

void tst_IpHelper::dnsServersComeFromTheInterfaceKey()
{
    m_machine->writeMachine(ethernetAdapters(1));
    const QString id = adapterId(1);
    m_machine->setValue(id, QStringLiteral("DhcpNameServer"), QStringLiteral("192.168.1.1 192.168.1.2"));
    QList<Listed> listed;
    QCOMPARE(listAdapters(IpHelper::FamilyIPv4, &listed), quint32(ErrorSuccess));
    QCOMPARE(listed.at(0).dns, (QStringList { QStringLiteral("192.168.1.1"), QStringLiteral("192.168.1.2") }));

    m_machine->setValue(id, QStringLiteral("NameServer"), QStringLiteral("10.1.1.1,bogus,10.1.1.2"));
    listed.clear();
    QCOMPARE(listAdapters(IpHelper::FamilyIPv4, &listed), quint32(ErrorSuccess));
    QCOMPARE(listed.at(0).dns, (QStringList { QStringLiteral("10.1.1.1"), QStringLiteral("10.1.1.2") }));
}

void tst_IpHelper::missingInterfaceKeyIsCreated()
{
    m_machine->writeMachineText(R"({"adapters":[{"id":"{A}","index":3,"name":"PPP","type":23}]})");
    QVERIFY(!Registry::keyExists(IpHelper::interfaceKey(QStringLiteral("{A}"))));
    QList<Listed> listed;
    QCOMPARE(listAdapters(IpHelper::FamilyIPv4, &listed), quint32(ErrorSuccess));
    QVERIFY(m_machine->hasValue(QStringLiteral("{A}"), QStringLiteral("NameServer")));
    QCOMPARE(m_machine->value(QStringLiteral("{A}"), QStringLiteral("NameServer")), QString());
    QCOMPARE(listed.at(0).status, quint32(IpHelper::StatusUp));
}

void tst_IpHelper::failures_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<quint32>("code");
    for (const char *call : { "GetAdaptersAddresses", "GetIpForwardTable", "NotifyAddrChange" }) {
        for (quint32 code : { 8u, 87u, 111u, 232u, 1228u })
            QTest::addRow("%s %u", call, code) << QString::fromLatin1(call) << code;
    }
}

// A failure fails every call of that name, and only those.
void tst_IpHelper::failures()
{
    QFETCH(QString, call);
    QFETCH(quint32, code);
    m_machine->writeMachine(ethernetAdapters(1), {}, QVariantMap { { call, code } });

    QList<Listed> listed;
    const quint32 adapters = listAdapters(IpHelper::FamilyIPv4, &listed);
    quint32 size = 0;
    const quint32 routes = IpHelper::getIpForwardTable(nullptr, &size);
    const quint32 routesLastError = lastError();
    IpHelper::Overlapped overlapped;
    overlapped.event = createEvent(false, false);
    Handle handle = InvalidHandle;
    const quint32 notify = IpHelper::notifyAddrChange(&handle, &overlapped);
    const quint32 notifyLastError = lastError();
    IpHelper::cancelIPChangeNotify(&overlapped);
    closeHandle(overlapped.event);

    QCOMPARE(adapters, call == QLatin1String("GetAdaptersAddresses") ? code : quint32(ErrorSuccess));
    QCOMPARE(routes, call == QLatin1String("GetIpForwardTable") ? code : quint32(ErrorInsufficientBuffer));
    QCOMPARE(routesLastError, routes);
    QCOMPARE(notify, call == QLatin1String("NotifyAddrChange") ? code : quint32(ErrorIoPending));
    QCOMPARE(notifyLastError, notify);
}

void tst_IpHelper::malformedFile_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("not JSON") << QByteArray("{\"adapters\":[");
    QTest::newRow("an array") << QByteArray("[]");
    QTest::newRow("adapters not a list") << QByteArray(R"({"adapters":{}})");
    QTest::newRow("loose address") << QByteArray(
        R"({"adapters":[{"id":"{A}","index":1,"type":6,"addresses":["10.1"]}]})");
    QTest::newRow("address with a blank")
        << QByteArray(R"({"adapters":[{"id":"{A}","index":1,"type":6,"addresses":[" 10.0.0.1"]}]})");
    QTest::newRow("index as text") << QByteArray(R"({"adapters":[{"id":"{A}","index":"1","type":6}]})");
    QTest::newRow("index zero") << QByteArray(R"({"adapters":[{"id":"{A}","index":0,"type":6}]})");
    QTest::newRow("fractional type") << QByteArray(R"({"adapters":[{"id":"{A}","index":1,"type":6.5}]})");
    QTest::newRow("id leaving the key") << QByteArray(R"({"adapters":[{"id":"..\\x","index":1,"type":6}]})");
    QTest::newRow("id with a slash") << QByteArray(R"({"adapters":[{"id":"a/b","index":1,"type":6}]})");
    QTest::newRow("route without next hop")
        << QByteArray(R"({"routes":[{"destination":"0.0.0.0","mask":"0.0.0.0","index":1}]})");
    QTest::newRow("metric out of range") << QByteArray(
        R"({"routes":[{"destination":"0.0.0.0","mask":"0.0.0.0","nextHop":"10.0.0.1","index":1,"metric":4294967296}]})");
    QTest::newRow("failure code zero") << QByteArray(R"({"failures":{"GetAdaptersAddresses":0}})");
}

void tst_IpHelper::malformedFile()
{
    QFETCH(QByteArray, text);
    m_machine->writeMachineText(text);
    QList<Listed> listed;
    QCOMPARE(listAdapters(IpHelper::FamilyIPv4, &listed), quint32(ErrorInvalidData));
    quint32 size = 0;
    QCOMPARE(IpHelper::getIpForwardTable(nullptr, &size), quint32(ErrorInvalidData));
    QCOMPARE(lastError(), quint32(ErrorInvalidData));
}

void tst_IpHelper::routeTable()
{
    QList<Route> routes;
    for (int i = 0; i < 60; ++i)
        routes.append(Route { QStringLiteral("10.%1.0.0").arg(i), QStringLiteral("192.168.1.%1").arg(i + 1), 7, i });
    m_machine->writeMachine(ethernetAdapters(1), routes);

    QByteArray buffer(1024, '\0');
    quint32 size = 1024;
    auto *table = reinterpret_cast<IpHelper::ForwardTable *>(buffer.data());
    QCOMPARE(IpHelper::getIpForwardTable(table, &size), quint32(ErrorInsufficientBuffer));
    QCOMPARE(size, IpHelper::forwardTableSize(60));
    buffer.resize(size);
    table = reinterpret_cast<IpHelper::ForwardTable *>(buffer.data());
    QCOMPARE(IpHelper::getIpForwardTable(table, &size), quint32(ErrorSuccess));
    QCOMPARE(table->numEntries, 60u);
    const IpHelper::ForwardRow *rows = table->table;
    const IpHelper::ForwardRow &last = rows[59];
    // Network byte order: the first byte in memory is the first part of the dotted quad.
    const auto *hop = reinterpret_cast<const quint8 *>(&last.nextHop);
    QCOMPARE(int(hop[0]), 192);
    QCOMPARE(int(hop[3]), 60);
    QCOMPARE(QHostAddress(qFromBigEndian(last.destination)), QHostAddress(QStringLiteral("10.59.0.0")));
    QCOMPARE(QHostAddress(qFromBigEndian(last.mask)), QHostAddress(QStringLiteral("255.255.255.0")));
    QCOMPARE(last.ifIndex, 7u);
    QCOMPARE(last.metric, 59);

    QCOMPARE(IpHelper::getIpForwardTable(table, nullptr), quint32(ErrorInvalidParameter));
}

void tst_IpHelper::lastErrorIsPerThread()
{
    m_machine->writeMachine(ethernetAdapters(1), {}, QVariantMap { { QStringLiteral("GetIpForwardTable"), 232 } });
    setLastError(ErrorAccessDenied);
    quint32 seenThere = 0;
    std::unique_ptr<QThread> thread(QThread::create([&seenThere] {
        quint32 size = 0;
        IpHelper::getIpForwardTable(nullptr, &size);
        seenThere = lastError();
    }));
    thread->start();
    QVERIFY(thread->wait(10000));
    QCOMPARE(seenThere, quint32(ErrorNoData));
    QCOMPARE(lastError(), quint32(ErrorAccessDenied));
    int code = -1;
    QCOMPARE(Velmor::systemErrorString(code), QStringLiteral("Access is denied."));
    QCOMPARE(code, 5);
}

// Without machine.json the machine takes this computer's interfaces and routes.
void tst_IpHelper::seedsFromThisComputer()
{
    const QString file = m_machine->path(QStringLiteral("machine.json"));
    QVERIFY(!QFileInfo::exists(file));
    const mode_t previous = ::umask(0077);
    QList<Listed> listed;
    const quint32 status = listAdapters(IpHelper::FamilyUnspecified, &listed);
    ::umask(previous);

    QStringList names;
    ifaddrs *list = nullptr;
    QCOMPARE(::getifaddrs(&list), 0);
    for (ifaddrs *entry = list; entry; entry = entry->ifa_next) {
        if (!names.contains(QString::fromLocal8Bit(entry->ifa_name)))
            names.append(QString::fromLocal8Bit(entry->ifa_name));
    }
    ::freeifaddrs(list);

    QVERIFY(QFileInfo::exists(file));
    struct stat info;
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &info), 0);
    QCOMPARE(int(info.st_mode & 07777), 0644);
    QCOMPARE(status, names.isEmpty() ? quint32(ErrorNoData) : quint32(ErrorSuccess));
    QStringList listedNames;
    for (const Listed &adapter : std::as_const(listed)) {
        listedNames.append(adapter.name);
        if (adapter.name == QLatin1String("lo"))
            QCOMPARE(adapter.type, quint32(IpHelper::TypeSoftwareLoopback));
        else
            QVERIFY(Registry::keyExists(IpHelper::interfaceKey(adapter.id)));
    }
    QCOMPARE(listedNames, names);

    // The default route's interface got the gateway and this computer's IPv4 resolvers as its DHCP values.
    QFile routes(QStringLiteral("/proc/net/route"));
    QVERIFY(routes.open(QIODevice::ReadOnly));
    int defaultRoutes = 0;
    int checked = 0;
    for (const QByteArray &line : routes.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 8 || fields.at(1) != "00000000" || !(fields.at(3).toUInt(nullptr, 16) & 1))
            continue;
        ++defaultRoutes;
        const QString gateway = QHostAddress(qFromBigEndian(fields.at(2).toUInt(nullptr, 16))).toString();
        for (const Listed &adapter : std::as_const(listed)) {
            if (adapter.name != QString::fromLocal8Bit(fields.at(0)))
                continue;
            Registry::Value value;
            QCOMPARE(
                Registry::queryValue(IpHelper::interfaceKey(adapter.id), QStringLiteral("DhcpDefaultGateway"), &value),
                0u);
            QVERIFY2(value.texts.contains(gateway), qPrintable(value.texts.join(',')));
            ++checked;
            QFile resolvers(QStringLiteral("/etc/resolv.conf"));
            if (!resolvers.open(QIODevice::ReadOnly))
                continue;
            const QStringList dhcp = IpHelper::splitServerList(m_machine->value(adapter.id, "DhcpNameServer"));
            for (const QByteArray &entry : resolvers.readAll().split('\n')) {
                const QList<QByteArray> words = entry.simplified().split(' ');
                QHostAddress server;
                if (words.size() >= 2 && words.at(0) == "nameserver" && server.setAddress(QString(words.at(1)))
                    && server.protocol() == QAbstractSocket::IPv4Protocol)
                    QVERIFY2(dhcp.contains(QString(words.at(1))), qPrintable(dhcp.join(',')));
            }
        }
    }
    QCOMPARE(checked, defaultRoutes);
    // A second look finds the same adapters under the same ids.
    QList<Listed> again;
    listAdapters(IpHelper::FamilyUnspecified, &again);
    QCOMPARE(again.size(), listed.size());
    for (int i = 0; i < again.size(); ++i)
        QCOMPARE(again.at(i).id, listed.at(i).id);
}

void tst_IpHelper::changeRequestIsOneShot()
{
    m_machine->writeMachine(ethernetAdapters(1));
    IpHelper::Overlapped overlapped;
    overlapped.event = createEvent(false, false);
    Handle handle = InvalidHandle;
    QCOMPARE(IpHelper::notifyAddrChange(&handle, &overlapped), quint32(ErrorIoPending));
    QCOMPARE(lastError(), quint32(ErrorIoPending));
    // Asking again while open keeps one request.
    QCOMPARE(IpHelper::notifyAddrChange(&handle, &overlapped), quint32(ErrorIoPending));

    m_machine->writeMachine(ethernetAdapters(2));
    QCOMPARE(waitForSingleObject(overlapped.event, 10000), 0);

    // The request is spent: the next change sets only a request made after the first.
    IpHelper::Overlapped probe;
    probe.event = createEvent(false, false);
    QCOMPARE(IpHelper::notifyAddrChange(&handle, &probe), quint32(ErrorIoPending));
    m_machine->writeMachine(ethernetAdapters(3));
    QCOMPARE(waitForSingleObject(probe.event, 10000), 0);
    QCOMPARE(waitForSingleObject(overlapped.event, 0), WaitTimeout);
    QVERIFY(!IpHelper::cancelIPChangeNotify(&overlapped));
    closeHandle(overlapped.event);
    closeHandle(probe.event);
}

void tst_IpHelper::cancelledRequestIsNotSet()
{
    m_machine->writeMachine(ethernetAdapters(1));
    IpHelper::Overlapped cancelled;
    cancelled.event = createEvent(false, false);
    IpHelper::Overlapped probe;
    probe.event = createEvent(false, false);
    Handle handle = InvalidHandle;
    QCOMPARE(IpHelper::notifyAddrChange(&handle, &cancelled), quint32(ErrorIoPending));
    QVERIFY(IpHelper::cancelIPChangeNotify(&cancelled));
    QCOMPARE(IpHelper::notifyAddrChange(&handle, &probe), quint32(ErrorIoPending));

    // Other files of the root change nothing.
    QVERIFY(writeFileAtomically(m_machine->path(QStringLiteral("other.json")), "{}", 0644));
    m_machine->writeMachine(ethernetAdapters(2));
    QCOMPARE(waitForSingleObject(probe.event, 10000), 0);
    QCOMPARE(waitForSingleObject(cancelled.event, 0), WaitTimeout);
    closeHandle(cancelled.event);
    closeHandle(probe.event);
}

void tst_IpHelper::writeInPlaceIsAChange()
{
    m_machine->writeMachine(ethernetAdapters(1));
    IpHelper::Overlapped overlapped;
    overlapped.event = createEvent(false, false);
    Handle handle = InvalidHandle;
    QCOMPARE(IpHelper::notifyAddrChange(&handle, &overlapped), quint32(ErrorIoPending));
    QFile file(m_machine->path(QStringLiteral("machine.json")));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(R"({"adapters":[]})");
    file.close();
    QCOMPARE(waitForSingleObject(overlapped.event, 10000), 0);
    closeHandle(overlapped.event);
}

void tst_IpHelper::requestArguments()
{
    Handle handle = InvalidHandle;
    QCOMPARE(IpHelper::notifyAddrChange(&handle, nullptr), quint32(ErrorNotSupported));
    IpHelper::Overlapped overlapped;
    QCOMPARE(IpHelper::notifyAddrChange(nullptr, &overlapped), quint32(ErrorInvalidParameter));
    QVERIFY(!IpHelper::cancelIPChangeNotify(nullptr));
    quint32 size = 0;
    QCOMPARE(IpHelper::getAdaptersAddresses(23, 0, nullptr, &size), quint32(ErrorInvalidParameter));
    QCOMPARE(IpHelper::getAdaptersAddresses(IpHelper::FamilyIPv4, 0, nullptr, nullptr), quint32(ErrorInvalidParameter));
}

void tst_IpHelper::splitServerList_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("parts");
    QTest::newRow("empty") << "" << QStringList();
    QTest::newRow("blanks") << "10.0.0.1 10.0.0.2" << QStringList { "10.0.0.1", "10.0.0.2" };
    QTest::newRow("commas") << "10.0.0.1,10.0.0.2" << QStringList { "10.0.0.1", "10.0.0.2" };
    QTest::newRow("mixed, doubled, around") << " 10.0.0.1 ,, 10.0.0.2\t" << QStringList { "10.0.0.1", "10.0.0.2" };
    QTest::newRow("malformed kept") << "foo,10.0.0.1" << QStringList { "foo", "10.0.0.1" };
}

void tst_IpHelper::splitServerList()
{
    QFETCH(QString, text);
    QFETCH(QStringList, parts);
    QCOMPARE(IpHelper::splitServerList(text), parts);
}

QTEST_GUILESS_MAIN(tst_IpHelper)
#include "tst_iphelper.moc"
