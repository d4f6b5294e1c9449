#include "velmorwire/json.h"
#include "writercases.h"

#include <QTest>

#include <cmath>
#include <limits>

using Velmor::Json::parse;
using Velmor::Json::stringify;

namespace {

// A typed rendering of a tree, so that int 1, qint64 1 and double 1 (equal to QVariant's operator==) differ.
QString describe(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return "invalid";
    case QMetaType::Bool:
        return value.toBool() ? "bool:true" : "bool:false";
    case QMetaType::Int:
        return "int:" + QString::number(value.toInt());
    case QMetaType::LongLong:
        return "qint64:" + QString::number(value.toLongLong());
    case QMetaType::ULongLong:
        return "quint64:" + QString::number(value.toULongLong());
    case QMetaType::Double:
        return "double:" + QString::number(value.toDouble(), 'g', 17);
    case QMetaType::QString: {
        const QString text = value.toString();
        if (text.isNull())
            return "null string";
        QString codes;
        for (QChar c : text)
            codes += QString::number(c.unicode(), 16) + ' ';
        return "string:" + codes.trimmed();
    }
    case QMetaType::QVariantList: {
        QStringList items;
        for (const QVariant &item : value.toList())
            items += describe(item);
        return "[" + items.join(", ") + "]";
    }
    case QMetaType::QVariantMap: {
        QStringList members;
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            members += describe(it.key()) + " = " + describe(it.value());
        return "{" + members.join(", ") + "}";
    }
    default:
        return QString("unexpected type ") + value.typeName();
    }
}

QString nested(int depth, const QString &open, const QString &inner, const QString &close)
{
    return open.repeated(depth) + inner + close.repeated(depth);
}

QVariant nestedLists(int depth, const QVariant &inner)
{
    QVariant value = inner;
    for (int i = 0; i < depth; ++i)
        value = QVariantList { value };
    return value;
}

QString chars(std::initializer_list<char16_t> codes)
{
    QString text;
    for (char16_t c : codes)
        text += QChar(c);
    return text;
}

} // namespace

class tst_Json : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stringify_data();
    void stringify();
    void writerTextReadsBack_data();
    void writerTextReadsBack();

    void parse_data();
    void parse();
    void parseRefuses_data();
    void parseRefuses();
    void emptyStringIsNotNull();
    void nesting_data();
    void nesting();
    void valueBudget_data();
    void valueBudget();
    void outline_data();
    void outline();
    void roundTrip_data();
    void roundTrip();
};

void tst_Json::stringify_data()
{
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<QString>("text");
    for (const WriterCase &row : writerCases())
        QTest::newRow(row.name) << row.input << row.text;
}

void tst_Json::stringify()
{
    QFETCH(QVariant, input);
    QFETCH(QString, text);
    QCOMPARE(Velmor::Json::stringify(input), text);
}

// The writer's text is canonical: whatever it writes reads back into a tree that it writes the same way.
void tst_Json::writerTextReadsBack_data()
{
    stringify_data();
}

void tst_Json::writerTextReadsBack()
{
    QFETCH(QString, text);
    const QVariant value = Velmor::Json::parse(text);
    QCOMPARE(value.isValid(), text != "null");
    QCOMPARE(Velmor::Json::stringify(value), text);
}

void tst_Json::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("null") << "null" << QVariant();
    QTest::newRow("true") << "true" << QVariant(true);
    QTest::newRow("false") << "false" << QVariant(false);
    QTest::newRow("bare number at top level") << "42" << QVariant(42);
    QTest::newRow("whitespace around") << " \t\r\n7 \n" << QVariant(7);

    QTest::newRow("zero") << "0" << QVariant(0);
    QTest::newRow("minus zero") << "-0" << QVariant(0);
    QTest::newRow("int max") << "2147483647" << QVariant(std::numeric_limits<int>::max());
    QTest::newRow("int max + 1") << "2147483648" << QVariant(qint64(2147483648LL));
    QTest::newRow("int min") << "-2147483648" << QVariant(std::numeric_limits<int>::min());
    QTest::newRow("int min - 1") << "-2147483649" << QVariant(qint64(-2147483649LL));
    QTest::newRow("uint max") << "4294967295" << QVariant(qint64(4294967295LL));
    QTest::newRow("qint64 max") << "9223372036854775807" << QVariant(std::numeric_limits<qint64>::max());
    QTest::newRow("qint64 min") << "-9223372036854775808" << QVariant(std::numeric_limits<qint64>::min());
    QTest::newRow("qint64 max + 1") << "9223372036854775808" << QVariant(quint64(9223372036854775808ULL));
    QTest::newRow("quint64 max") << "18446744073709551615" << QVariant(std::numeric_limits<quint64>::max());
    QTest::newRow("beyond 64 bits") << "18446744073709551616" << QVariant(18446744073709551616.0);
    QTest::newRow("qint64 min - 1") << "-9223372036854775809" << QVariant(-9223372036854775809.0);
    QTest::newRow("point") << "1.5" << QVariant(1.5);
    QTest::newRow("point zero") << "3.0" << QVariant(3.0);
    QTest::newRow("negative fraction") << "-0.25" << QVariant(-0.25);
    QTest::newRow("writer's exponent") << "1e+06" << QVariant(1e6);
    QTest::newRow("six digits with exponent") << "1.23457e+06" << QVariant(1234570.0);
    QTest::newRow("capital exponent") << "2E3" << QVariant(2000.0);
    QTest::newRow("negative exponent") << "-1.5e-3" << QVariant(-0.0015);
    QTest::newRow("overflow") << "1e400" << QVariant(std::numeric_limits<double>::infinity());
    QTest::newRow("negative overflow") << "-1e400" << QVariant(-std::numeric_limits<double>::infinity());
    QTest::newRow("underflow") << "1e-400" << QVariant(0.0);

    QTest::newRow("string") << R"("abc")" << QVariant("abc");
    QTest::newRow("eight escapes") << R"("\"\\\/\b\f\n\r\t")" << QVariant("\"\\/\b\f\n\r\t");
    QTest::newRow("unicode escape") << R"("\u0041\u00e9\u00C9")" << QVariant(QString::fromUtf8("A\xc3\xa9\xc3\x89"));
    QTest::newRow("escaped NUL") << R"("a\u0000b")" << QVariant(QString("a") + QChar(0) + "b");
    QTest::newRow("surrogate pair") << R"("\ud83d\ude00")" << QVariant(chars({ 0xd83d, 0xde00 }));
    QTest::newRow("lone high surrogate") << R"("\ud83dx")" << QVariant(chars({ 0xfffd, u'x' }));
    QTest::newRow("high surrogate at the end") << R"("\ud83d")" << QVariant(chars({ 0xfffd }));
    QTest::newRow("high surrogate then escape") << R"("\ud83d\n")" << QVariant(chars({ 0xfffd, u'\n' }));
    QTest::newRow("lone low surrogate") << R"("\ude00")" << QVariant(chars({ 0xfffd }));
    QTest::newRow("two highs then a low") << R"("\ud83d\ud83d\ude00")" << QVariant(chars({ 0xfffd, 0xd83d, 0xde00 }));
    QTest::newRow("raw controls and NUL")
        << "\"a" + QString(QChar(0)) + "\x01\n\t\x1f\"" << QVariant("a" + QString(QChar(0)) + "\x01\n\t\x1f");
    QTest::newRow("raw non-ASCII") << QString::fromUtf8("\"\xc3\xa9\xf0\x9f\x98\x80\"")
                                   << QVariant(QString::fromUtf8("\xc3\xa9\xf0\x9f\x98\x80"));

    QTest::newRow("empty object") << "{}" << QVariant(QVariantMap());
    QTest::newRow("empty array") << "[]" << QVariant(QVariantList());
    QTest::newRow("empty with whitespace") << "[ ]" << QVariant(QVariantList());
    QTest::newRow("object") << R"({"b":1,"a":[true,null,"x"]})"
                            << QVariant(QVariantMap { { "a", QVariantList { true, QVariant(), "x" } }, { "b", 1 } });
    QTest::newRow("duplicate keys, last wins")
        << R"({"a":1,"b":2,"a":3})" << QVariant(QVariantMap { { "a", 3 }, { "b", 2 } });
    QTest::newRow("repeated and colliding keys")
        << R"([{"id":1,"by":2},{"by":3,"id":4},{"id":5}])"
        << QVariant(QVariantList { QVariantMap { { "by", 2 }, { "id", 1 } }, QVariantMap { { "by", 3 }, { "id", 4 } },
               QVariantMap { { "id", 5 } } });
    QTest::newRow("escaped key") << R"({"a\/b\u0021":1})" << QVariant(QVariantMap { { "a/b!", 1 } });
    QTest::newRow("whitespace everywhere")
        << " {\n\t\"a\" : [ 1 , 2.5 ] , \"b\" : { } }\r\n"
        << QVariant(QVariantMap { { "a", QVariantList { 1, 2.5 } }, { "b", QVariantMap() } });
    QTest::newRow("call") << R"({"id":7,"jsonrpc":"2.0","method":"setProfile","params":[5]})"
                          << QVariant(QVariantMap { { "id", 7 }, { "jsonrpc", "2.0" }, { "method", "setProfile" },
                                 { "params", QVariantList { 5 } } });
}

void tst_Json::parse()
{
    QFETCH(QString, text);
    QFETCH(QVariant, expected);
    QCOMPARE(describe(Velmor::Json::parse(text)), describe(expected));
}

void tst_Json::parseRefuses_data()
{
    QTest::addColumn<QString>("text");

    const char *texts[][2] = {
        { "empty text", "" },
        { "only whitespace", " \n " },
        { "trailing comma in array", "[1,]" },
        { "leading comma in array", "[,1]" },
        { "missing comma in array", "[1 2]" },
        { "double comma", "[1,,2]" },
        { "missing colon", R"({"a" 1})" },
        { "double colon", R"({"a"::1})" },
        { "trailing comma in object", R"({"a":1,})" },
        { "missing comma in object", R"({"a":1 "b":2})" },
        { "member without value", R"({"a"})" },
        { "unquoted key", "{a:1}" },
        { "number as key", "{1:2}" },
        { "single quotes", "['a']" },
        { "array closed by brace", "[1}" },
        { "object closed by bracket", R"({"a":1])" },
        { "unclosed array", "[1" },
        { "unclosed object", R"({"a":1)" },
        { "unclosed string", R"("abc)" },
        { "extra closing bracket", "[1]]" },
        { "text after the value", "[1] x" },
        { "two values", "1 2" },
        { "partial literal", "tru" },
        { "literal with extra letters", "truex" },
        { "literal in capitals", "True" },
        { "null prefix", "nul" },
        { "leading zero", "01" },
        { "minus alone", "-" },
        { "minus then space", "- 1" },
        { "point without digits after", "1." },
        { "point without digits before", ".5" },
        { "plus sign", "+1" },
        { "exponent without digits", "1e" },
        { "exponent sign without digits", "1e+" },
        { "hexadecimal", "0x10" },
        { "NaN", "NaN" },
        { "Infinity", "Infinity" },
        { "unknown escape", R"("\x41")" },
        { "short unicode escape", R"("\u12")" },
        { "bad hex digit", R"("\u12g4")" },
        { "backslash at the end", "\"\\" },
        { "comment", "/* c */ 1" },
        { "form feed as whitespace", "\f1" },
    };
    for (const auto &row : texts)
        QTest::newRow(row[0]) << QString(row[1]);
    QTest::newRow("NUL after the value") << QString("[]") + QChar(0);
    QTest::newRow("byte order mark") << QString(QChar(0xfeff)) + "[]";
    QTest::newRow("non-breaking space") << QString(QChar(0xa0)) + "1";
}

void tst_Json::parseRefuses()
{
    QFETCH(QString, text);
    QCOMPARE(describe(Velmor::Json::parse(text)), QString("invalid"));
}

void tst_Json::emptyStringIsNotNull()
{
    const QVariant value = Velmor::Json::parse(R"("")");
    QCOMPARE(value.typeId(), int(QMetaType::QString));
    QVERIFY(value.toString().isEmpty());
    QVERIFY(!value.toString().isNull());
    QCOMPARE(Velmor::Json::stringify(value), QString(R"("")"));

    const QVariantMap map = Velmor::Json::parse(R"({"":""})").toMap();
    QCOMPARE(map.size(), 1);
    QVERIFY(!map.firstKey().isNull());
    QVERIFY(!map.first().toString().isNull());
}

void tst_Json::nesting_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("512 arrays") << nested(512, "[", "1", "]") << nestedLists(512, 1);
    QTest::newRow("513 arrays") << nested(513, "[", "1", "]") << QVariant();
    QTest::newRow("513 objects") << nested(513, R"({"a":)", "1", "}") << QVariant();
    QTest::newRow("a million open brackets") << QString(1000000, u'[') << QVariant();
    QTest::newRow("a million open braces") << QString(R"({"a":)").repeated(1000000) << QVariant();

    QVariant mixed = 1;
    for (int i = 0; i < 256; ++i)
        mixed = QVariantList { QVariantMap { { "a", mixed } } };
    QTest::newRow("512 levels of arrays and objects") << nested(256, R"([{"a":)", "1", "}]") << mixed;
    QTest::newRow("513 levels of arrays and objects") << "[" + nested(256, R"([{"a":)", "1", "}]") + "]" << QVariant();
}

void tst_Json::nesting()
{
    QFETCH(QString, text);
    QFETCH(QVariant, expected);
    const QVariant value = Velmor::Json::parse(text);
    QCOMPARE(value.isValid(), expected.isValid());
    if (expected.isValid())
        QCOMPARE(Velmor::Json::stringify(value), Velmor::Json::stringify(expected));
}

// A document costs one for each value and two for each key; it reads exactly when its cost is within the budget.
void tst_Json::valueBudget_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("cost");

    QTest::newRow("number") << "5" << 1;
    QTest::newRow("null") << "null" << 1;
    QTest::newRow("empty array") << "[]" << 1;
    QTest::newRow("empty object") << "{}" << 1;
    QTest::newRow("array") << "[1,2,3]" << 4;
    QTest::newRow("object") << R"({"a":1})" << 4;
    QTest::newRow("nested") << R"( {"a" : [1, {"b":null}], "c":""} )" << 12;
    QTest::newRow("duplicate keys count each time") << R"({"a":1,"a":[2]})" << 8;
    QTest::newRow("a call") << R"({"id":7,"jsonrpc":"2.0","method":"setProfile","params":[5]})" << 14;
}

void tst_Json::valueBudget()
{
    QFETCH(QString, text);
    QFETCH(int, cost);

    QCOMPARE(Velmor::Json::outline(text).values, cost);
    QCOMPARE(Velmor::Json::parse(text, cost).isValid(), text != "null");
    QVERIFY(!Velmor::Json::parse(text, cost - 1).isValid());
    QCOMPARE(Velmor::Json::parse(text).isValid(), text != "null");
}

// The outline reads the same grammar as parse() without building anything, and has no budget of its own.
void tst_Json::outline_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("wellFormed");
    QTest::addColumn<int>("arrayItems");

    QTest::newRow("batch") << R"([{}, {"a":[1,2]}, 3])" << true << 3;
    QTest::newRow("only the top array counts") << "[[1,2,3]]" << true << 1;
    QTest::newRow("empty array") << "[ ]" << true << 0;
    QTest::newRow("object") << R"({"a":[1,2]})" << true << -1;
    QTest::newRow("string") << R"("a\u0041\n")" << true << -1;
    QTest::newRow("null") << "null" << true << -1;
    QTest::newRow("unfinished array") << "[1," << false << -1;
    QTest::newRow("bad escape") << R"(["\x"])" << false << -1;
    QTest::newRow("bad number") << "[01]" << false << -1;
    QTest::newRow("trailing text") << "[] x" << false << -1;
    QTest::newRow("empty") << "" << false << -1;
    QTest::newRow("513 arrays") << nested(513, "[", "1", "]") << false << -1;
    QTest::newRow("over the default budget") << "[" + QString("0,").repeated(Velmor::Json::DefaultValueBudget) + "0]"
                                             << true << int(Velmor::Json::DefaultValueBudget + 1);
}

void tst_Json::outline()
{
    QFETCH(QString, text);
    QFETCH(bool, wellFormed);
    QFETCH(int, arrayItems);

    const Velmor::Json::Outline outline = Velmor::Json::outline(text);
    QCOMPARE(outline.wellFormed, wellFormed);
    QCOMPARE(outline.arrayItems, arrayItems);
}

// Trees as the callers build them come back from the wire as these trees.
void tst_Json::roundTrip_data()
{
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<QVariant>("expected");

    const QString awkward
        = "\"\\/\b\f\n\r\t" + QString(QChar(0)) + QChar(0x01) + QString::fromUtf8("\xc3\xa9\xf0\x9f\x98\x80");
    QTest::newRow("awkward string") << QVariant(awkward) << QVariant(awkward);
    QTest::newRow("awkward key") << QVariant(QVariantMap { { awkward, awkward } })
                                 << QVariant(QVariantMap { { awkward, awkward } });
    QTest::newRow("string list") << QVariant(QStringList { awkward, "" }) << QVariant(QVariantList { awkward, "" });
    QTest::newRow("null string in a map")
        << QVariant(QVariantMap { { "message", QString() } }) << QVariant(QVariantMap { { "message", QVariant() } });
    QTest::newRow("million") << QVariant(1000000.0) << QVariant(1000000.0);
    QTest::newRow("double to six digits") << QVariant(3.14159265) << QVariant(3.14159);
    QTest::newRow("integral double becomes int") << QVariant(2.0) << QVariant(2);
    QTest::newRow("uint above int") << QVariant(4000000000u) << QVariant(qint64(4000000000LL));
    QTest::newRow("hash") << QVariant(QVariantHash { { "b", 1 }, { "a", 2 } })
                          << QVariant(QVariantMap { { "a", 2 }, { "b", 1 } });
}

void tst_Json::roundTrip()
{
    QFETCH(QVariant, input);
    QFETCH(QVariant, expected);
    QCOMPARE(describe(Velmor::Json::parse(Velmor::Json::stringify(input))), describe(expected));
}

QTEST_GUILESS_MAIN(tst_Json)
#include "tst_json.moc"
