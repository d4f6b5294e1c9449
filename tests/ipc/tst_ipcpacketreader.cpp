#include "loopback.h"

#include "velmorwire/ipcpacketreader.h"

#include <QSignalSpy>
#include <QTest>

using namespace Velmor;

class tst_IpcPacketReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void twoPacketsInOneRead();
    void lengthFieldSplitAfterTwoBytes();
    void bodyReadInPiecesOfFour();
    void emptyPacketIsSkipped();
    void lengthOneCarriesOnlyTheKind();
    void impossibleLengthEndsReading_data();
    void impossibleLengthEndsReading();
    void largestLengthWaitsForItsBytes();
    void bytesBeforeTheReaderAreRead();

private:
    QStringList packets() const;

    Loopback *link = nullptr;
    IpcPacketReader *reader = nullptr;
    QSignalSpy *spy = nullptr;
};

void tst_IpcPacketReader::init()
{
    link = new Loopback;
    QVERIFY(link->open());
    reader = new IpcPacketReader(link->accepted);
    spy = new QSignalSpy(reader, &IpcPacketReader::packetReady);
}

void tst_IpcPacketReader::cleanup()
{
    delete spy;
    delete link;
}

QStringList tst_IpcPacketReader::packets() const
{
    QStringList all;
    for (const QList<QVariant> &arguments : std::as_const(*spy))
        all.append(QString::fromLatin1(arguments.at(0).toByteArray().toHex(' ')));
    return all;
}

void tst_IpcPacketReader::twoPacketsInOneRead()
{
    QSignalSpy reads(link->accepted, &QIODevice::readyRead);
    link->send(packet("{}", 1) + packet("[1]"));
    QTRY_COMPARE(spy->size(), 2);
    QCOMPARE(reads.size(), 1);
    QCOMPARE(packets(), (QStringList { "01 7b 7d", "00 5b 31 5d" }));
}

void tst_IpcPacketReader::lengthFieldSplitAfterTwoBytes()
{
    const QByteArray bytes = packet("{}");
    link->send(bytes.left(2));
    QTRY_COMPARE(link->accepted->bytesAvailable(), 2);
    QCoreApplication::processEvents();
    QCOMPARE(spy->size(), 0);
    QCOMPARE(link->accepted->bytesAvailable(), 2);
    link->send(bytes.mid(2));
    QTRY_COMPARE(spy->size(), 1);
    QCOMPARE(packets(), QStringList { "00 7b 7d" });
}

void tst_IpcPacketReader::bodyReadInPiecesOfFour()
{
    // Length 10: the kind byte and nine bytes of text, arriving 1, 2, 3, 3 and 1 bytes at a time.
    const QByteArray bytes = packet("[1,2,3,4]");
    QCOMPARE(bytes.size(), 14);
    link->send(bytes.left(5));
    QTRY_COMPARE(link->accepted->bytesAvailable(), 1);
    link->send(bytes.mid(5, 2));
    QTRY_COMPARE(link->accepted->bytesAvailable(), 3);
    link->send(bytes.mid(7, 3));
    QTRY_COMPARE(link->accepted->bytesAvailable(), 0);
    link->send(bytes.mid(10, 3));
    QTRY_COMPARE(link->accepted->bytesAvailable(), 3);
    QCOMPARE(spy->size(), 0);
    link->send(bytes.mid(13));
    QTRY_COMPARE(spy->size(), 1);
    QCOMPARE(spy->at(0).at(0).toByteArray(), bytes.mid(4));
}

void tst_IpcPacketReader::emptyPacketIsSkipped()
{
    link->send(lengthField(0) + lengthField(0) + packet("{}"));
    QTRY_COMPARE(spy->size(), 1);
    QCOMPARE(packets(), QStringList { "00 7b 7d" });
}

void tst_IpcPacketReader::lengthOneCarriesOnlyTheKind()
{
    link->send(lengthField(1) + '\0' + packet("x", 3));
    QTRY_COMPARE(spy->size(), 2);
    QCOMPARE(packets(), (QStringList { "00", "03 78" }));
}

void tst_IpcPacketReader::impossibleLengthEndsReading_data()
{
    QTest::addColumn<qint32>("length");

    QTest::newRow("-1") << -1;
    QTest::newRow("most negative") << std::numeric_limits<qint32>::min();
    QTest::newRow("64 MiB + 1") << IpcPacketReader::maximumPacketLength + 1;
    QTest::newRow("largest") << std::numeric_limits<qint32>::max();
}

void tst_IpcPacketReader::impossibleLengthEndsReading()
{
    QFETCH(qint32, length);

    link->send(packet("{}") + lengthField(length) + packet("[]"));
    QTRY_COMPARE(spy->size(), 2);
    QCOMPARE(packets(), (QStringList { "00 7b 7d", "" }));
    // Nothing after the bad length is read, now or later.
    link->send(packet("{}"));
    QTRY_COMPARE(link->accepted->bytesAvailable(), 14);
    QCoreApplication::processEvents();
    QCOMPARE(spy->size(), 2);
}

void tst_IpcPacketReader::largestLengthWaitsForItsBytes()
{
    link->send(lengthField(IpcPacketReader::maximumPacketLength) + QByteArray(100, 'x'));
    QTRY_COMPARE(link->accepted->bytesAvailable(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(spy->size(), 0);
}

void tst_IpcPacketReader::bytesBeforeTheReaderAreRead()
{
    Loopback early;
    QVERIFY(early.open());
    early.send(packet("{}"));
    QTRY_COMPARE(early.accepted->bytesAvailable(), 7);
    auto late = new IpcPacketReader(early.accepted);
    QSignalSpy packets(late, &IpcPacketReader::packetReady);
    QCOMPARE(packets.size(), 0);
    QTRY_COMPARE(packets.size(), 1);
}

QTEST_GUILESS_MAIN(tst_IpcPacketReader)
#include "tst_ipcpacketreader.moc"
