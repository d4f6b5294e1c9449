#include "peakmemory.h"

#include <QTest>

// A single request packet of any shape may raise the service's peak resident set by at most 96 MiB plus three
// times its size, and the call after it is still answered. The server runs without the sanitizers, whose own
// bookkeeping would otherwise be what is measured.
class tst_IpcPeakMemory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void onePacketIsBounded_data();
    void onePacketIsBounded();
};

void tst_IpcPeakMemory::onePacketIsBounded_data()
{
    QTest::addColumn<int>("shape");
    const QList<PacketShape> shapes = hostilePacketShapes();
    for (int i = 0; i < shapes.size(); ++i)
        QTest::newRow(qPrintable(shapes.at(i).name)) << i;
}

void tst_IpcPeakMemory::onePacketIsBounded()
{
    QFETCH(int, shape);
    const PacketShape packet = hostilePacketShapes().at(shape);
    const QByteArray text = packet.text();
    QVERIFY(packetBytes(text) <= packetLengthLimit + 4);

    const PeakGrowth growth = measurePeakGrowth(QStringLiteral(UNCHECKED_SERVER), text, packet.answerCode);
    QVERIFY2(growth.failure.isEmpty(), qPrintable(growth.failure));
    const qint64 bound = peakGrowthBound(packetBytes(text));
    QVERIFY2(growth.bytes() <= bound,
        qPrintable(QStringLiteral("a packet of %1 bytes raised the peak by %2 MiB; the bound is %3 MiB")
                       .arg(packetBytes(text))
                       .arg(growth.bytes() / 1048576.0, 0, 'f', 1)
                       .arg(bound / 1048576.0, 0, 'f', 1)));
}

QTEST_GUILESS_MAIN(tst_IpcPeakMemory)
#include "tst_ipcpeakmemory.moc"
