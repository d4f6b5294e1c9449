#include "writercases.h"

#include <QByteArray>
#include <QDate>
#include <QSize>
#include <QStringList>
#include <QUrl>

#include <cmath>
#include <limits>

QList<WriterCase> writerCases()
{
    const QString nul(QChar(0));
    const QString controls = QString("a") + QChar(0x01) + QChar(0x1f) + QChar(0x7f) + "b";
    const QVariantList nullsInList { QVariant(), QVariant(QString()), QVariant(QString("")), QVariant(QByteArray()) };
    QVariantHash hash;
    hash.insert("zeta", 1);
    hash.insert("alpha", 2);
    hash.insert("Mid", 3);
    hash.insert("mid", 4);
    QVariantMap unicodeKeys;
    // By UTF-16 code units U+1F600 (a surrogate pair, 0xD83D first) sorts before U+FF01.
    unicodeKeys.insert(QString::fromUtf8("\xef\xbc\x81"), 1);
    unicodeKeys.insert(QString::fromUtf8("\xf0\x9f\x98\x80"), 2);
    unicodeKeys.insert(QString::fromUtf8("\xc3\xa9"), 3);
    unicodeKeys.insert("z", 4);
    const QVariantMap call { { "jsonrpc", "2.0" }, { "method", "setProfile" }, { "id", 7u },
        { "params", QVariantList { 5 } } };

    return {
        { "invalid", QVariant(), "null", "None" },
        { "null string", QVariant(QString()), "null", "None" },
        { "empty string", QVariant(QString("")), R"("")", "''" },
        { "null byte array", QVariant(QByteArray()), "null", "None" },
        { "empty byte array", QVariant(QByteArray("")), R"("")", "''" },
        { "byte array", QVariant(QByteArray("a/b")), R"("a\/b")", "'a/b'" },
        { "typed but unset int", QVariant(QMetaType::fromType<int>()), "null", "None" },
        { "true", true, "true", "True" },
        { "false", false, "false", "False" },
        { "int zero", 0, "0", "0" },
        { "int min", std::numeric_limits<int>::min(), "-2147483648", "-2147483648" },
        { "int max", std::numeric_limits<int>::max(), "2147483647", "2147483647" },
        { "uint max", std::numeric_limits<uint>::max(), "4294967295", "4294967295" },
        { "qint64 min", std::numeric_limits<qint64>::min(), "-9223372036854775808", "-9223372036854775808" },
        { "qint64 max", std::numeric_limits<qint64>::max(), "9223372036854775807", "9223372036854775807" },
        { "quint64 max", std::numeric_limits<quint64>::max(), "18446744073709551615", "18446744073709551615" },
        { "double integral", 3.0, "3", "3" },
        { "double fraction", 0.1, "0.1", "0.1" },
        { "double negative", -2.5, "-2.5", "-2.5" },
        { "double six digits", 1234567.0, "1.23457e+06", "1.23457e+06" },
        { "double million", 1000000.0, "1e+06", "1e+06" },
        { "double small", 0.000123456789, "0.000123457", "0.000123457" },
        { "double tiny", 1e-7, "1e-07", "1e-07" },
        { "double nan", std::nan(""), "null", "None" },
        { "double infinity", std::numeric_limits<double>::infinity(), "null", "None" },
        { "double negative infinity", -std::numeric_limits<double>::infinity(), "null", "None" },
        { "plain string", QString("hello"), R"("hello")", "'hello'" },
        { "quotation mark", QString(R"(say "hi")"), R"("say \"hi\"")", R"('say "hi"')" },
        { "backslash", QString(R"(C:\dir)"), R"("C:\\dir")", R"('C:\\dir')" },
        { "solidus", QString("http://example.com/a"), R"("http:\/\/example.com\/a")", "'http://example.com/a'" },
        { "short escapes", QString("\b\f\n\r\t"), R"("\b\f\n\r\t")", R"('\b\f\n\r\t')" },
        { "NUL escaped", nul, R"("\u0000")", R"('\x00')" },
        { "NUL in a key", QVariantMap { { "a" + nul + "b", 1 } }, R"({"a\u0000b":1})", R"({'a\x00b': 1})" },
        { "other controls as is", controls, "\"" + controls + "\"", R"('a\x01\x1f\x7fb')" },
        { "non-ASCII as is", QString::fromUtf8("\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"),
            QString::fromUtf8("\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\""), R"('\u00e9\u20ac\U0001f600')" },
        { "empty map", QVariantMap(), "{}", "{}" },
        { "empty hash", QVariantHash(), "{}", "{}" },
        { "empty list", QVariantList(), "[]", "[]" },
        { "empty string list", QStringList(), "[]", "[]" },
        { "call message", call, R"({"id":7,"jsonrpc":"2.0","method":"setProfile","params":[5]})",
            "{'id': 7, 'jsonrpc': '2.0', 'method': 'setProfile', 'params': [5]}" },
        { "map keys by code unit", unicodeKeys,
            QString::fromUtf8("{\"z\":4,\"\xc3\xa9\":3,\"\xf0\x9f\x98\x80\":2,"
                              "\"\xef\xbc\x81\":1}"),
            R"({'z': 4, '\u00e9': 3, '\U0001f600': 2, '\uff01': 1})" },
        { "hash keys sorted", hash, R"({"Mid":3,"alpha":2,"mid":4,"zeta":1})",
            "{'Mid': 3, 'alpha': 2, 'mid': 4, 'zeta': 1}" },
        { "keys escaped", QVariantMap { { R"(a"b)", 1 }, { "c/d", 2 }, { "e\\f\n", 3 } },
            R"({"a\"b":1,"c\/d":2,"e\\f\n":3})", R"({'a"b': 1, 'c/d': 2, 'e\\f\n': 3})" },
        { "string list escaped", QStringList { "a", R"(b"c)", "d/e", QString(), "" }, R"(["a","b\"c","d\/e","",""])",
            R"(['a', 'b"c', 'd/e', '', ''])" },
        { "nulls in a list", nullsInList, R"([null,null,"",null])", "[None, None, '', None]" },
        { "nested", QVariantMap { { "list", QVariantList { 1, QVariantMap { { "x", 2.5 } }, QVariantList() } } },
            R"({"list":[1,{"x":2.5},[]]})", "{'list': [1, {'x': 2.5}, []]}" },
        { "date as text", QDate(2024, 1, 2), R"("2024-01-02")", "'2024-01-02'" },
        { "null date", QDate(), "null", "None" },
        { "char as text", QChar(u'x'), R"("x")", "'x'" },
        { "url as text", QUrl("http://example.com/a"), R"("http:\/\/example.com\/a")", "'http://example.com/a'" },
        { "short as text", QVariant::fromValue(qint16(-5)), R"("-5")", "'-5'" },
        { "type without text form", QSize(1, 2), R"("")", "''" },
    };
}
