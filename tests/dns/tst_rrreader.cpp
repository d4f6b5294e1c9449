#include "dns/rrreader.h"

#include <QRegularExpression>
#include <QTest>

using namespace Velmor::DNS;

namespace {

QByteArray header()
{
    return QByteArray(12, '\0');
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// A chain of pointers, each to the one before it, ending in the root name at offset 12; returns the offset of the
// last pointer, from which a name read takes `jumps` jumps.
QByteArray pointerChain(int jumps, qsizetype *last)
{
    QByteArray message = header();
    message.append('\0');
    qsizetype previous = 12;
    for (int i = 0; i < jumps; ++i) {
        *last = message.size();
        message.append(char(0xC0 | (previous >> 8)));
        message.append(char(previous & 0xFF));
        previous = *last;
    }
    message.append(hex("0001"));
    return message;
}

QByteArray dotted(int count, int size)
{
    QList<QByteArray> parts(count, QByteArray(size, 'x'));
    return parts.join('.');
}

QByteArray labels(int count, int size)
{
    QByteArray name;
    for (int i = 0; i < count; ++i) {
        name.append(char(size));
        name.append(QByteArray(size, 'x'));
    }
    return name;
}

} // namespace

class tst_RRReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void readName_data();
    void readName();
    void pointerChainIsBounded_data();
    void pointerChainIsBounded();
    void readRecord_data();
    void readRecord();
    void readQuestion();
    void writeName_data();
    void writeName();
    void writeRecords();
};

void tst_RRReader::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void tst_RRReader::readName_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<int>("offset");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("warning");

    const QByteArray question = header() + hex("01 61 02 62 63 00 0010 0001");
    QTest::newRow("root") << header() + hex("00 0001") << 12 << true << QByteArray() << 13 << QString();
    QTest::newRow("labels") << question << 12 << true << QByteArray("a.bc") << 18 << QString();
    QTest::newRow("pointer to the question")
        << question + hex("c00c 0001") << 22 << true << QByteArray("a.bc") << 24 << QString();
    QTest::newRow("labels then pointer") << question + hex("01 78 c00c 0001") << 22 << true << QByteArray("x.a.bc")
                                         << 26 << QString();
    QByteArray far = header() + QByteArray(300 - 12, 'z') + hex("01 71 00") + hex("c12c 0001");
    QTest::newRow("pointer c1 2c reaches offset 300") << far << 303 << true << QByteArray("q") << 305 << QString();
    QTest::newRow("label bytes keep their case and dots")
        << header() + hex("03 41 2e 62 00 00") << 12 << true << QByteArray("A.b") << 17 << QString();

    const QString range = QStringLiteral("compression offset is out of range");
    const QString unhandled = QStringLiteral("out of buffer or unhandled label type");
    QTest::newRow("pointer into the header")
        << header() + hex("c005 0001") << 12 << false << QByteArray() << 0 << range;
    QTest::newRow("pointer to itself") << header() + hex("c00c 0001") << 12 << false << QByteArray() << 0 << range;
    QTest::newRow("forward pointer") << header() + hex("c00e 00 0001") << 12 << false << QByteArray() << 0 << range;
    QTest::newRow("pointer beyond the message")
        << header() + hex("c3ff 0001") << 12 << false << QByteArray() << 0 << range;
    // 14: "a" then a pointer back to 14 itself: not before the previous target.
    QTest::newRow("pointer loop") << header() + hex("0000 0161 c00e c010 0001") << 18 << false << QByteArray() << 0
                                  << range;
    QTest::newRow("later pointer forward")
        << header() + hex("00 c011 0001 00 c00d 0001") << 18 << false << QByteArray() << 0 << range;
    QTest::newRow("label type 0x40") << header() + hex("40 00 0001") << 12 << false << QByteArray() << 0 << unhandled;
    QTest::newRow("label type 0x80") << header() + hex("80 00 0001") << 12 << false << QByteArray() << 0 << unhandled;
    QTest::newRow("pointer cut off") << header() + hex("c0") << 12 << false << QByteArray() << 0 << unhandled;
    QTest::newRow("pointer as the last two bytes")
        << question + hex("c00c") << 22 << false << QByteArray() << 0 << unhandled;
    QTest::newRow("label reaches the last byte")
        << header() + hex("03 61 62 63") << 12 << false << QByteArray() << 0 << QStringLiteral("invalid label size");
    QTest::newRow("unterminated name") << header() + hex("01 61") << 12 << false << QByteArray() << 0
                                       << QStringLiteral("invalid label size");
    QTest::newRow("255 bytes") << header() + labels(3, 63) + labels(1, 61) + hex("00 0001") << 12 << true
                               << dotted(3, 63) + '.' + dotted(1, 61) << 12 + 255 << QString();
    QTest::newRow("256 bytes") << header() + labels(3, 63) + labels(1, 62) + hex("00 0001") << 12 << false
                               << QByteArray() << 0 << QStringLiteral("name is longer than 255 bytes");
    QTest::newRow("long through pointers")
        << header() + labels(3, 63) + hex("00") + labels(1, 63) + hex("c00c 0001") << 12 + 193 << false << QByteArray()
        << 0 << QStringLiteral("name is longer than 255 bytes");
    QTest::newRow("offset at the end") << header() << 12 << false << QByteArray() << 0 << QString();
    QTest::newRow("negative offset") << header() + hex("00") << -1 << false << QByteArray() << 0 << QString();
}

void tst_RRReader::readName()
{
    QFETCH(QByteArray, message);
    QFETCH(int, offset);
    QFETCH(bool, ok);
    QFETCH(QByteArray, name);
    QFETCH(int, end);
    QFETCH(QString, warning);

    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    qsizetype position = offset;
    QByteArray read;
    QCOMPARE(Velmor::DNS::readName(message, position, read), ok);
    if (ok) {
        QCOMPARE(read, name);
        QCOMPARE(position, qsizetype(end));
    }

    // The check without the name follows the same rules.
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    position = offset;
    QCOMPARE(skipName(message, position), ok);
    if (ok)
        QCOMPARE(position, qsizetype(end));
}

void tst_RRReader::pointerChainIsBounded_data()
{
    QTest::addColumn<int>("jumps");
    QTest::addColumn<bool>("ok");
    QTest::newRow("127 jumps") << 127 << true;
    QTest::newRow("128 jumps") << 128 << false;
}

void tst_RRReader::pointerChainIsBounded()
{
    QFETCH(int, jumps);
    QFETCH(bool, ok);
    qsizetype last = 0;
    const QByteArray message = pointerChain(jumps, &last);
    if (!ok)
        QTest::ignoreMessage(QtWarningMsg, "too many compression pointers");
    qsizetype offset = last;
    QByteArray name("junk");
    QCOMPARE(Velmor::DNS::readName(message, offset, name), ok);
    if (ok) {
        QVERIFY(name.isEmpty());
        QCOMPARE(offset, last + 2);
    }
}

void tst_RRReader::readRecord_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QList<QByteArray>>("strings");
    QTest::addColumn<QByteArray>("rdata");

    const QList<QByteArray> none;
    QTest::newRow("A") << hex("00 0001 0001 0000003c 0004 0a000001") << 1 << "A" << none << QByteArray();
    QTest::newRow("A with RDLENGTH 6") << hex("00 0001 0001 0000003c 0006 0a0000010000") << 1 << "" << none
                                       << QByteArray();
    QTest::newRow("RDLENGTH past the end")
        << hex("00 0005 0001 0000003c 0010 0a000001") << 5 << "" << none << QByteArray();
    QTest::newRow("header cut off") << hex("00 0001 0001 0000") << 1 << "" << none << QByteArray();
    QTest::newRow("TYPE cut off") << hex("00 00") << 0 << "" << none << QByteArray();
    QTest::newRow("TXT without strings") << hex("00 0010 0001 0000003c 0000") << 16 << "TXT" << none << QByteArray();
    QTest::newRow("TXT strings") << hex("00 0010 0001 0000003c 0007 02 612c 00 02 6263") << 16 << "TXT"
                                 << QList<QByteArray>({ "a,", "", "bc" }) << QByteArray();
    QTest::newRow("TXT length past its RDATA")
        << hex("00 0010 0001 0000003c 0003 03 6162 63") << 16 << "" << none << QByteArray();
    QTest::newRow("AAAA kept raw") << hex("00 001c 0001 0000003c 0010 20010db8000000000000000000000001") << 28 << "raw"
                                   << none << hex("20010db8000000000000000000000001");
    QTest::newRow("CNAME kept raw") << hex("00 0005 0001 0000003c 0002 c00c") << 5 << "raw" << none << hex("c00c");
    QTest::newRow("SRV kept raw") << hex("00 0021 0001 0000003c 0008 0001 0002 0035 0000") << 33 << "raw" << none
                                  << hex("0001000200350000");
    QTest::newRow("HTTPS kept raw") << hex("00 0041 0001 0000003c 0003 000100") << 65 << "raw" << none << hex("000100");
    QTest::newRow("OPT kept raw") << hex("00 0029 1000 00000000 0000") << 41 << "raw" << none << QByteArray();
}

void tst_RRReader::readRecord()
{
    QFETCH(QByteArray, record);
    QFETCH(int, type);
    QFETCH(QString, kind);
    QFETCH(QList<QByteArray>, strings);
    QFETCH(QByteArray, rdata);

    const QByteArray message = header() + record;
    qsizetype offset = 12;
    const QSharedPointer<StandardRR> read = Velmor::DNS::readRecord(message, offset);
    // The check without the record agrees on the outcome and on where the record ends.
    qsizetype skipped = 12;
    QCOMPARE(skipRecord(message, skipped), !kind.isEmpty());
    if (kind.isEmpty()) {
        QVERIFY(!read);
        return;
    }
    QVERIFY(read);
    QCOMPARE(read->type, type);
    QCOMPARE(offset, message.size());
    QCOMPARE(skipped, offset);
    if (kind == QLatin1String("A")) {
        auto a = read.dynamicCast<IPv4AddressRR>();
        QVERIFY(a);
        QCOMPARE(a->address, 0x0a000001u);
        QCOMPARE(a->ttl, 60u);
        QCOMPARE(a->rrclass, quint16(1));
    } else if (kind == QLatin1String("TXT")) {
        auto txt = read.dynamicCast<TxtRR>();
        QVERIFY(txt);
        QCOMPARE(txt->strings, strings);
    } else {
        auto raw = read.dynamicCast<UnparsedStandardRR>();
        QVERIFY(raw);
        QCOMPARE(raw->rdata, rdata);
    }
}

void tst_RRReader::readQuestion()
{
    const QByteArray message = header() + hex("01 61 02 62 63 00 0010 00ff");
    qsizetype offset = 12;
    const QSharedPointer<Question> question = Velmor::DNS::readQuestion(message, offset);
    QVERIFY(question);
    QCOMPARE(question->name, QByteArray("a.bc"));
    QCOMPARE(question->type, 16);
    QCOMPARE(question->qclass, quint16(255));
    QCOMPARE(offset, message.size());
    qsizetype skipped = 12;
    QVERIFY(skipQuestion(message, skipped));
    QCOMPARE(skipped, message.size());

    for (qsizetype cut = 13; cut < message.size(); ++cut) {
        qsizetype at = 12;
        if (cut <= 17)
            QTest::ignoreMessage(QtWarningMsg, "invalid label size");
        QVERIFY2(!Velmor::DNS::readQuestion(message.left(cut), at), qPrintable(QString::number(cut)));
        at = 12;
        if (cut <= 17)
            QTest::ignoreMessage(QtWarningMsg, "invalid label size");
        QVERIFY2(!skipQuestion(message.left(cut), at), qPrintable(QString::number(cut)));
    }
}

void tst_RRReader::writeName_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("a.bc") << QByteArray("a.bc") << hex("01 61 02 62 63 00");
    QTest::newRow("root") << QByteArray() << hex("00");
    QTest::newRow("trailing dot") << QByteArray("a.bc.") << hex("01 61 02 62 63 00");
    QTest::newRow("empty label") << QByteArray("a..bc") << hex("01 61 02 62 63 00");
    QTest::newRow("label of 64 bytes is cut")
        << QByteArray(64, 'x') << QByteArray(1, char(63)) + QByteArray(63, 'x') + hex("00");
}

void tst_RRReader::writeName()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, wire);
    QByteArray out("x");
    Question(name, 1, 1).writeName(out);
    QCOMPARE(out, QByteArray("x") + wire);
}

void tst_RRReader::writeRecords()
{
    QByteArray out;
    IPv4AddressRR(QByteArray("a"), 1, 60, 0x7f000001).write(out);
    TxtRR(QByteArray("a"), 1, 60, { QByteArray("x"), QByteArray() }).write(out);
    UnparsedStandardRR(QByteArray("a"), 33, 1, 60, hex("0001")).write(out);
    QCOMPARE(out.toHex(' '),
        hex("01 61 00 0001 0001 0000003c 0004 7f000001"
            " 01 61 00 0010 0001 0000003c 0003 01 78 00"
            " 01 61 00 0021 0001 0000003c 0002 0001")
            .toHex(' '));

    // What was written reads back as the same records.
    const QByteArray message = header() + out;
    qsizetype offset = 12;
    QCOMPARE(Velmor::DNS::readRecord(message, offset).dynamicCast<IPv4AddressRR>()->address, 0x7f000001u);
    QCOMPARE(Velmor::DNS::readRecord(message, offset).dynamicCast<TxtRR>()->strings, QList<QByteArray>({ "x", "" }));
    QCOMPARE(Velmor::DNS::readRecord(message, offset).dynamicCast<UnparsedStandardRR>()->rdata, hex("0001"));
    QCOMPARE(offset, message.size());
}

QTEST_GUILESS_MAIN(tst_RRReader)
#include "tst_rrreader.moc"
