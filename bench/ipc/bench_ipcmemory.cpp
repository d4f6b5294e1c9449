// What one request packet costs the receiving end of an IPC link. For every hostile shape of tests/ipc, a fresh
// server's peak resident set grows by the first figure, beside the bound of 96 MiB plus three times the packet.
// The reader's own share follows: the same text read into a QVariant tree by Json::parse (with the link's budget,
// from UTF-8 as the engine reads it) and by QJsonDocument::fromJson(...).toVariant(), each in a fresh process.
#include "peakmemory.h"

#include "velmorwire/ipcconnection.h"
#include "velmorwire/json.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>

#include <cstdio>

namespace {

// In the child: reads the text from standard input and prints the peak growth in KiB and the seconds of one read.
int readInChild(const QByteArray &reader)
{
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return 1;
    const QByteArray bytes = input.readAll();
    const qint64 before = peakResidentKiB();
    QElapsedTimer elapsed;
    elapsed.start();
    bool readable = false;
    if (reader == "velmorwire") {
        const QString text = QString::fromUtf8(bytes);
        readable = Velmor::Json::parse(text, Velmor::IpcConnection::maximumJsonValues).isValid();
    } else {
        readable = QJsonDocument::fromJson(bytes).toVariant().isValid();
    }
    const double seconds = elapsed.elapsed() / 1000.0;
    std::printf("%lld %.3f %d\n", peakResidentKiB() - before, seconds, readable ? 1 : 0);
    return 0;
}

struct ReaderFigure
{
    qint64 growthKiB = -1;
    double seconds = 0;
    bool readable = false;
};

ReaderFigure readInFreshProcess(const char *reader, const QByteArray &text)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), { QStringLiteral("--read"), QLatin1String(reader) });
    ReaderFigure figure;
    if (!child.waitForStarted())
        return figure;
    child.write(text);
    child.closeWriteChannel();
    if (!child.waitForFinished(120000))
        return figure;
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() == 3) {
        figure.growthKiB = fields.at(0).toLongLong();
        figure.seconds = fields.at(1).toDouble();
        figure.readable = fields.at(2) == "1";
    }
    return figure;
}

double mib(qint64 bytes)
{
    return bytes / 1048576.0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--read")
        return readInChild(argv[2]);

    std::printf("peak RSS growth of the receiver per request packet, MiB (bound: 96 MiB + 3 x packet)\n");
    std::printf("%-52s %9s %8s %8s %6s %6s | %8s %8s %6s | %7s %7s\n", "shape", "packet", "growth", "bound", "ratio",
        "secs", "reader", "QJsonDoc", "ratio", "secs", "QJsonDoc");
    bool allWithin = true;
    for (const PacketShape &shape : hostilePacketShapes()) {
        const QByteArray text = shape.text();
        const PeakGrowth growth = measurePeakGrowth(QStringLiteral(MEMORY_SERVER), text, shape.answerCode);
        const qint64 bound = peakGrowthBound(packetBytes(text));
        const ReaderFigure ours = readInFreshProcess("velmorwire", text);
        const ReaderFigure qt = readInFreshProcess("qjsondocument", text);
        const bool within = growth.failure.isEmpty() && growth.bytes() <= bound;
        allWithin = allWithin && within;
        std::printf("%-52s %9.2f %8.1f %8.1f %6.2f %6.2f | %8.1f %8.1f %6.2f | %7.3f %7.3f%s\n", qPrintable(shape.name),
            mib(packetBytes(text)), mib(growth.bytes()), mib(bound), double(growth.bytes()) / bound, growth.seconds,
            ours.growthKiB / 1024.0, qt.growthKiB / 1024.0,
            qt.growthKiB > 0 ? double(ours.growthKiB) / qt.growthKiB : 0.0, ours.seconds, qt.seconds,
            growth.failure.isEmpty() ? "" : qPrintable(QStringLiteral("  FAILED: ") + growth.failure));
    }
    std::printf("reader columns: peak growth and seconds of reading the text alone into a QVariant tree, ours "
                "against QJsonDocument; ours stops at the link's budget, QJsonDocument has none\n");
    return allWithin ? 0 : 1;
}
