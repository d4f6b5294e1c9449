#include "dns/packet.h"
#include "dnstestutil.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace Velmor::DNS;

namespace {

// A response to "a.bc" A with the answer name compressed to the question.
QByteArray answerFor(const char *id, const char *answers)
{
    return hex(id) + hex("8180 0001 0001 0000 0000 01 61 02 62 63 00 0001 0001") + hex(answers);
}

} // namespace

class tst_Packet : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void emptyMessage();
    void headerOnly();
    void shorterThanHeader();
    void wellFormed_data();
    void wellFormed();
    void parseIsLazy();
    void makeQuery();
    void appendIdentification_data();
    void appendIdentification();
    void appendIdentificationRefused_data();
    void appendIdentificationRefused();
    void isResponseTo_data();
    void isResponseTo();
    void headerEdits();
    void copiesShareTheRebuild();
    void setQuestionsKeepsRecords();
    void dnspythonDecodes();
};

void tst_Packet::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void tst_Packet::emptyMessage()
{
    const Packet empty;
    QCOMPARE(empty.rawData(), QByteArray(12, '\0'));
    QCOMPARE(empty.toByteArray(), QByteArray(12, '\0'));
    QVERIFY(!empty.isWellFormed());
}

void tst_Packet::headerOnly()
{
    const Packet message(hex("1234 0100 0003 0002 0000 0000"));
    QVERIFY(message.questions().isEmpty());
    QVERIFY(message.answers().isEmpty());
    QVERIFY(!message.hasParseError());
    QVERIFY(!message.isWellFormed());
    QCOMPARE(message.questionCount(), quint16(3));
}

void tst_Packet::shorterThanHeader()
{
    Packet message(hex("1234 81"));
    QCOMPARE(message.id(), quint16(0x1234));
    QCOMPARE(message.questionCount(), quint16(0));
    QCOMPARE(message.responseCode(), 0);
    QVERIFY(message.questions().isEmpty());
    QVERIFY(message.hasParseError());
    QVERIFY(!message.isWellFormed());
    message.setResponseCode(2);
    message.setResponse(true);
    QVERIFY(!message.appendIdentification(1));
    QCOMPARE(message.toByteArray(), hex("1234 81"));
    QVERIFY(!Packet(QByteArray()).isWellFormed());
}

void tst_Packet::wellFormed_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("wellFormed");
    QTest::addColumn<int>("answers");
    QTest::addColumn<QString>("warning");

    const QByteArray query = hex("abcd 0100 0001 0000 0000 0000 01 61 02 62 63 00 0001 0001");
    QTest::newRow("query") << query << true << 0 << QString();
    QTest::newRow("A answer") << answerFor("abcd", "c00c 0001 0001 0000003c 0004 0a000001") << true << 1 << QString();
    QTest::newRow("SRV answer") << answerFor("abcd", "c00c 0021 0001 0000003c 0008 0001 0002 0035 0000") << true << 1
                                << QString();
    QTest::newRow("HTTPS answer") << answerFor("abcd", "c00c 0041 0001 0000003c 0003 000100") << true << 1 << QString();
    QTest::newRow("QDCOUNT 2, one question")
        << hex("abcd 0100 0002 0000 0000 0000 01 61 00 0001 0001") << false << 0 << QString();
    QTest::newRow("QDCOUNT 0") << hex("abcd 0100 0000 0000 0000 0000 01 61 00 0001 0001") << false << 0 << QString();
    QTest::newRow("QDCOUNT 65535") << hex("abcd 0100 ffff 0000 0000 0000 01 61 00 0001 0001") << false << 0
                                   << QString();
    QTest::newRow("ANCOUNT 65535") << hex("abcd 8180 0001 ffff 0000 0000 01 61 00 0001 0001")
            + hex("c00c 0001 0001 0000003c 0004 0a000001")
                                   << false << 0 << QString();
    QTest::newRow("answer cut off") << answerFor("abcd", "c00c 0001 0001 0000003c 0004 0a00") << false << 0
                                    << QString();
    QTest::newRow("answer pointer loop") << answerFor("abcd", "01 61 c016 0001 0001 0000003c 0004 0a000001") << false
                                         << 0 << QStringLiteral("compression offset is out of range");
    QTest::newRow("forward pointer in the question") << hex("abcd 0100 0001 0000 0000 0000 c00e 00 0001 0001") << false
                                                     << 0 << QStringLiteral("compression offset is out of range");
    // The additional section is not read for this rule, so a bogus ARCOUNT does not matter.
    QTest::newRow("ARCOUNT 65535") << hex("abcd 0100 0001 0000 0000 ffff 01 61 00 0001 0001") << true << 0 << QString();
}

void tst_Packet::wellFormed()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, wellFormed);
    QFETCH(int, answers);
    QFETCH(QString, warning);

    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    const Packet message(bytes);
    QCOMPARE(message.isWellFormed(), wellFormed);
    QCOMPARE(message.answers().size(), answers);
    // A failed section is not read again, nor does it warn twice.
    QCOMPARE(message.isWellFormed(), wellFormed);
    QCOMPARE(message.toByteArray(), bytes);

    // The same when the records are made first.
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    const Packet parsedFirst(bytes);
    QCOMPARE(parsedFirst.answers().size(), answers);
    QCOMPARE(parsedFirst.isWellFormed(), wellFormed);
}

void tst_Packet::parseIsLazy()
{
    const Packet message(answerFor("abcd", "c00c 0001 0001 0000003c 0006 0a000001"));
    QCOMPARE(message.questions().size(), 1);
    QVERIFY(!message.hasParseError());
    QCOMPARE(message.parse(Packet::Questions).parsed, quint8(Packet::Questions));
    QVERIFY(message.answers().isEmpty());
    QVERIFY(message.hasParseError());
    QCOMPARE(message.questions().first()->name, QByteArray("a.bc"));
    QVERIFY(!message.hasParseError());
    QVERIFY(!message.isWellFormed());
}

void tst_Packet::makeQuery()
{
    const Packet query = Packet::makeQuery("a.bc", 16);
    QCOMPARE(query.toByteArray(), hex("0000 0100 0001 0000 0000 0000 01 61 02 62 63 00 0010 0001"));
    QVERIFY(query.isWellFormed());

    // The ID written into the bytes survives, as callers set it after the rebuild.
    Packet withId = query;
    withId.setId(0xbeef);
    QCOMPARE(withId.toByteArray().left(2), hex("beef"));
    QCOMPARE(query.id(), quint16(0));
}

void tst_Packet::appendIdentification_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<quint32>("token");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray question = hex("01 61 02 62 63 00 0001 0001");
    QTest::newRow("token 1, ARCOUNT 0") << hex("abcd 0100 0001 0000 0000 0000") + question << 1u
                                        << hex("abcd 0100 0001 0000 0000 0001") + question
            + hex("00 ffed 0001 00000000 0004 00000001");
    // After the OPT record that most clients send; the token goes out big-endian.
    QTest::newRow("after OPT") << hex("abcd 0120 0001 0000 0000 0001") + question + hex("00 0029 04d0 00000000 0000")
                               << 0xdeadbeefu
                               << hex("abcd 0120 0001 0000 0000 0002") + question + hex("00 0029 04d0 00000000 0000")
            + hex("00 ffed 0001 00000000 0004 deadbeef");
    QTest::newRow("ARCOUNT 255 carries into the high byte")
        << hex("abcd 0100 0001 0000 0000 00ff") + question << 7u
        << hex("abcd 0100 0001 0000 0000 0100") + question + hex("00 ffed 0001 00000000 0004 00000007");
}

void tst_Packet::appendIdentification()
{
    QFETCH(QByteArray, request);
    QFETCH(quint32, token);
    QFETCH(QByteArray, expected);

    const Packet received(request);
    QVERIFY(received.isWellFormed());
    Packet forwarded = received;
    QVERIFY(forwarded.appendIdentification(token));
    QCOMPARE(forwarded.toByteArray().toHex(' '), expected.toHex(' '));
    QCOMPARE(forwarded.additionalCount(), quint16(qFromBigEndian<quint16>(expected.constData() + 10)));
    // The copy it came from is untouched.
    QCOMPARE(received.toByteArray(), request);
}

void tst_Packet::appendIdentificationRefused_data()
{
    QTest::addColumn<QByteArray>("request");
    const QByteArray question = hex("01 61 00 0001 0001");
    QTest::newRow("ARCOUNT 65535") << hex("abcd 0100 0001 0000 0000 ffff") + question;
    QByteArray big = hex("abcd 0100 0001 0000 0000 0000") + question;
    big.append(QByteArray(Packet::MaxMessageSize - Packet::IdentificationRecordSize - big.size() + 1, '\0'));
    QTest::newRow("would pass 65535 bytes") << big;
}

void tst_Packet::appendIdentificationRefused()
{
    QFETCH(QByteArray, request);
    Packet message(request);
    QVERIFY(!message.appendIdentification(1));
    QCOMPARE(message.toByteArray(), request);
}

void tst_Packet::isResponseTo_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<bool>("matches");

    const QByteArray request = hex("abcd 0100 0001 0000 0000 0000 01 61 02 62 63 00 0001 0001");
    const QByteArray answer = answerFor("abcd", "c00c 0001 0001 0000003c 0004 0a000001");
    QTest::newRow("answer") << request << answer << true;
    QTest::newRow("request with its record") << request + hex("00 ffed 0001 00000000 0004 00000001") << answer << true;
    QTest::newRow("QR clear") << request << hex("abcd 0180") + answer.mid(4) << false;
    QTest::newRow("other ID") << request << answerFor("abce", "c00c 0001 0001 0000003c 0004 0a000001") << false;
    // Some resolvers change the letters' case of the question they answer.
    QTest::newRow("name in other case") << request << hex("abcd 8180 0001 0000 0000 0000 01 41 02 42 63 00 0001 0001")
                                        << true;
    QTest::newRow("other name of the same length")
        << request << hex("abcd 8180 0001 0000 0000 0000 01 61 02 62 64 00 0001 0001") << false;
    QTest::newRow("case folding is ASCII only") << hex("abcd 0100 0001 0000 0000 0000 01 e9 00 0001 0001")
                                                << hex("abcd 8180 0001 0000 0000 0000 01 c9 00 0001 0001") << false;
    // What a server sends to a request it cannot read: a header with an error and no question.
    QTest::newRow("questionless FORMERR") << request << hex("abcd 8181 0000 0000 0000 0000") << true;
    QTest::newRow("questionless FORMERR, other ID") << request << hex("abce 8181 0000 0000 0000 0000") << false;
    QTest::newRow("questionless NOERROR") << request << hex("abcd 8180 0000 0000 0000 0000") << false;
    QTest::newRow("questionless, QR clear") << request << hex("abcd 0101 0000 0000 0000 0000") << false;
    QTest::newRow("other TYPE") << request << hex("abcd 8180 0001 0000 0000 0000 01 61 02 62 63 00 0010 0001") << false;
    QTest::newRow("other class") << request << hex("abcd 8180 0001 0000 0000 0000 01 61 02 62 63 00 0001 0003")
                                 << false;
    QTest::newRow("more questions") << request
                                    << hex("abcd 8180 0002 0000 0000 0000 01 61 02 62 63 00 0001 0001 c00c 0010 0001")
                                    << false;
    QTest::newRow("request without questions") << hex("abcd 0100 0000 0000 0000 0000") << answer << true;
    // Names are compared as they read, wherever the message keeps their bytes.
    QTest::newRow("second question compressed in the request")
        << hex("abcd 0100 0002 0000 0000 0000 01 61 02 62 63 00 0001 0001 c00c 0010 0001")
        << hex("abcd 8180 0002 0000 0000 0000 01 61 02 62 63 00 0001 0001 01 61 02 62 63 00 0010 0001") << true;
    QTest::newRow("not well-formed") << request << answerFor("abcd", "c00c 0001 0001 0000003c 0006 0a000001") << false;
}

void tst_Packet::isResponseTo()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, response);
    QFETCH(bool, matches);
    QCOMPARE(Packet(response).isResponseTo(Packet(request)), matches);
}

void tst_Packet::headerEdits()
{
    Packet message(hex("abcd 0100 0001 0000 0000 0000 01 61 00 0001 0001"));
    message.setResponse(true);
    message.setResponseCode(Packet::Refused);
    message.setRecursionDesired(false);
    QCOMPARE(message.rawData().mid(2, 2), hex("8005"));
    QVERIFY(message.isResponse());
    QCOMPARE(message.responseCode(), 5);
    message.setResponseCode(Packet::ServerFailure);
    message.setResponse(false);
    QCOMPARE(message.rawData().mid(2, 2), hex("0002"));
    message.mutableRawData()[0] = char(0x12);
    QCOMPARE(message.id(), quint16(0x12cd));
}

void tst_Packet::copiesShareTheRebuild()
{
    Packet query = Packet::makeQuery("a.bc", 1);
    const Packet copy = query;
    // The rebuild of one copy is what the other sees, without a second rebuild.
    QCOMPARE(query.toByteArray().size(), 22);
    QCOMPARE(copy.rawData().size(), 22);
    query.setId(7);
    QCOMPARE(copy.id(), quint16(0));
    QCOMPARE(query.id(), quint16(7));
}

void tst_Packet::setQuestionsKeepsRecords()
{
    Packet response(answerFor("abcd", "c00c 0010 0001 0000003c 0004 03 612c62"));
    response.setQuestions({ QSharedPointer<Question>::create("x.y", 16, quint16(1)) });
    const Packet rebuilt(response.toByteArray());
    QCOMPARE(rebuilt.id(), quint16(0xabcd));
    QCOMPARE(rebuilt.rawData().mid(2, 2), hex("8180"));
    QVERIFY(rebuilt.isWellFormed());
    QCOMPARE(rebuilt.questions().first()->name, QByteArray("x.y"));
    QCOMPARE(rebuilt.answers().size(), 1);
    QCOMPARE(rebuilt.answers().first()->name, QByteArray("a.bc"));
    QCOMPARE(rebuilt.answers().first().dynamicCast<TxtRR>()->strings, QList<QByteArray>({ "a,b" }));
}

void tst_Packet::dnspythonDecodes()
{
    Packet query = Packet::makeQuery("www.example.test", 16);
    query.setId(0x4242);
    Packet forwarded(hex("1d2e 0120 0001 0000 0000 0001 03 777777 07 6578616d706c65 0474657374 00 0001 0001"
                         "00 0029 04d0 00000000 0000"));
    QVERIFY(forwarded.appendIdentification(4000000000u));

    const QList<QJsonObject> decoded = decodeWithDnspython({ query.toByteArray(), forwarded.toByteArray() });
    QCOMPARE(decoded.size(), 2);
    QCOMPARE(decoded.at(0).value("id").toInt(), 0x4242);
    QCOMPARE(decoded.at(0).value("qname").toString(), QStringLiteral("www.example.test"));
    QCOMPARE(decoded.at(0).value("qtype").toInt(), 16);
    QVERIFY(decoded.at(0).value("rd").toBool());
    QVERIFY(decoded.at(0).value("token").isNull());
    QCOMPARE(decoded.at(1).value("qname").toString(), QStringLiteral("www.example.test"));
    QCOMPARE(decoded.at(1).value("token").toDouble(), 4000000000.0);
    QCOMPARE(decoded.at(1).value("identification").toString(), QStringLiteral("00ffed0001000000000004ee6b2800"));
    QCOMPARE(decoded.at(1).value("additional").toArray().size(), 2);
}

QTEST_GUILESS_MAIN(tst_Packet)
#include "tst_packet.moc"
