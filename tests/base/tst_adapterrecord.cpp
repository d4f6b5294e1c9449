#include "base/adapterrecord.h"

#include "scratchroot.h"

#include <QFile>
#include <QtTest>

#include <functional>

using Velmor::AdapterRecord;
using Velmor::HostList;

Q_DECLARE_METATYPE(std::function<void(AdapterRecord &)>)

namespace {

const QString adapterId = QStringLiteral("{6A1F0C2E-0000-4000-8000-000000000001}");

HostList hosts(const QStringList &texts)
{
    return HostList::fromStringList(texts);
}

// The service's store in a root of its own, opened as the service opens it.
struct Store
{
    TestSupport::ScratchRoot root;

    Store() { root.useSettingsOf(QStringLiteral("Service")); }
    QString path() const { return root.path(QStringLiteral("settings/Velmor/Service.ini")); }
    QByteArray read() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void write(const QByteArray &bytes) const
    {
        QVERIFY(QDir().mkpath(root.path(QStringLiteral("settings/Velmor"))));
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }
};

} // namespace

// An adapter's record in the service's store, in the form earlier versions wrote and read it.
class tst_AdapterRecord : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writtenInTheStoredForm_data();
    void writtenInTheStoredForm();
    void storedRecordIsRead_data();
    void storedRecordIsRead();
};

void tst_AdapterRecord::writtenInTheStoredForm_data()
{
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<std::function<void(AdapterRecord &)>>("write");
    // The store's lines after "[interfaces]".
    QTest::addColumn<QByteArray>("stored");

    using Write = std::function<void(AdapterRecord &)>;
    const QChar blank = QLatin1Char(' ');
    const QChar comma = QLatin1Char(',');
    const QByteArray guid = "i0\\guid=" + adapterId.toLatin1() + "\n";
    QTest::newRow("a new record holds its id") << blank << Write([](AdapterRecord &) {}) << guid;
    QTest::newRow("back to DHCP") << blank << Write([](AdapterRecord &r) { r.setOriginalDns(HostList()); })
                                  << guid + "i0\\originalDns=\n";
    QTest::newRow("protected, blanks") << blank << Write([](AdapterRecord &r) {
        r.setOriginalDns(hosts({ "10.0.0.1", "10.0.0.2" }));
        r.setAppliedDns(hosts({ "127.0.0.1", "127.0.0.2" }));
    }) << "i0\\appliedDns=127.0.0.1 127.0.0.2\n" + guid + "i0\\originalDns=10.0.0.1 10.0.0.2\n";
    QTest::newRow("protected, commas") << comma << Write([](AdapterRecord &r) {
        r.setOriginalDns(hosts({ "10.0.0.1", "10.0.0.2" }));
        r.setAppliedDns(hosts({ "127.0.0.1", "127.0.0.2" }));
    }) << "i0\\appliedDns=\"127.0.0.1,127.0.0.2\"\n" + guid + "i0\\originalDns=\"10.0.0.1,10.0.0.2\"\n";
    QTest::newRow("applied taken back") << blank << Write([](AdapterRecord &r) {
        r.setAppliedDns(hosts({ "127.0.0.1" }));
        r.sync();
        r.removeAppliedDns();
    }) << guid;
}

void tst_AdapterRecord::writtenInTheStoredForm()
{
    QFETCH(QChar, separator);
    QFETCH(std::function<void(AdapterRecord &)>, write);
    QFETCH(QByteArray, stored);

    Store store;
    {
        AdapterRecord record(adapterId, separator);
        write(record);
        QVERIFY(record.sync());
    }
    QCOMPARE(store.read(), "[interfaces]\n" + stored);
}

void tst_AdapterRecord::storedRecordIsRead_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<HostList>("originalDns");
    QTest::addColumn<bool>("hasAppliedDns");
    QTest::addColumn<HostList>("appliedDns");

    // The record found by its "guid", whatever its group is named and whatever else the store holds.
    const QByteArray others = "[General]\nprotected-networks=" + adapterId.toLatin1()
        + "\n\n[interfaces]\ni0\\guid={other}\ni0\\originalDns=10.9.9.9\ni0\\appliedDns=127.0.0.9\n";
    const QByteArray ours = "i2\\guid=" + adapterId.toLatin1() + "\n";
    const HostList both = hosts({ "10.0.0.1", "10.0.0.2" });
    QTest::newRow("blanks") << others + ours + "i2\\originalDns=10.0.0.1 10.0.0.2\ni2\\appliedDns=127.0.0.1\n"
                            << both << true << hosts({ "127.0.0.1" });
    QTest::newRow("commas") << others + ours
            + "i2\\originalDns=\"10.0.0.1,10.0.0.2\"\ni2\\appliedDns=\"127.0.0.1,127.0.0.2\"\n"
                            << both << true << hosts({ "127.0.0.1", "127.0.0.2" });
    QTest::newRow("a list of the INI reader") << others + ours + "i2\\originalDns=10.0.0.1, 10.0.0.2\n"
                                              << both << false << HostList();
    QTest::newRow("back to DHCP") << others + ours + "i2\\originalDns=\n" << HostList() << false << HostList();
    QTest::newRow("nothing but the id") << others + ours << HostList() << false << HostList();
}

void tst_AdapterRecord::storedRecordIsRead()
{
    QFETCH(QByteArray, stored);
    QFETCH(HostList, originalDns);
    QFETCH(bool, hasAppliedDns);
    QFETCH(HostList, appliedDns);

    Store store;
    store.write(stored);
    AdapterRecord record(adapterId, QLatin1Char(' '));
    QCOMPARE(record.id(), adapterId);
    QCOMPARE(record.originalDns(), originalDns);
    QCOMPARE(record.hasAppliedDns(), hasAppliedDns);
    QCOMPARE(record.appliedDns(), appliedDns);
    // Found, the record is not written again.
    QVERIFY(record.sync());
    QCOMPARE(store.read(), stored);
}

QTEST_GUILESS_MAIN(tst_AdapterRecord)
#include "tst_adapterrecord.moc"
