#include "velmorwire/error.h"
#include "velmorwire/json.h"
#include "velmorwire/jsonrpcerror.h"

#include <QTest>

using Velmor::Error;
using Velmor::JsonRPCError;

class tst_Error : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void success();
    void toVariant();
    void fromVariant_data();
    void fromVariant();
    void metaType();
    void codesKeepTheirNumbers_data();
    void codesKeepTheirNumbers();

    void rpcFromError_data();
    void rpcFromError();
    void rpcToVariant_data();
    void rpcToVariant();
    void rpcFromVariant_data();
    void rpcFromVariant();
};

void tst_Error::success()
{
    QVERIFY(Error().isSuccess());
    QVERIFY(Error(0, "x").isSuccess());
    QVERIFY(!Error(1, QString()).isSuccess());
    QVERIFY(!Error(4294967295u, "x").isSuccess());
    QVERIFY(Error().message().isNull());
}

void tst_Error::toVariant()
{
    const QVariant v = Error(31, "request timeout").toVariant();
    QCOMPARE(v.typeId(), int(QMetaType::QVariantMap));
    const QVariantMap map = v.toMap();
    QCOMPARE(map.keys(), (QStringList { "code", "message" }));
    QCOMPARE(map.value("code").typeId(), int(QMetaType::UInt));
    QCOMPARE(map.value("code").toUInt(), 31u);
    QCOMPARE(map.value("message").toString(), QString("request timeout"));

    // A null message stays a null string, which the writer turns into null.
    const QVariantMap empty = Error().toVariant().toMap();
    QCOMPARE(empty.value("message").typeId(), int(QMetaType::QString));
    QVERIFY(empty.value("message").toString().isNull());

    QCOMPARE(Velmor::Json::stringify(Error(31, "request timeout").toVariant()),
        QString(R"({"code":31,"message":"request timeout"})"));
    QCOMPARE(Velmor::Json::stringify(Error().toVariant()), QString(R"({"code":0,"message":null})"));
    QCOMPARE(Velmor::Json::stringify(Error(2, "").toVariant()), QString(R"({"code":2,"message":""})"));
}

void tst_Error::fromVariant_data()
{
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<uint>("code");
    QTest::addColumn<QString>("message");

    const QString old = "old";
    QTest::newRow("list") << QVariant(QVariantList { 1 }) << false << 7u << old;
    QTest::newRow("string") << QVariant("x") << false << 7u << old;
    QTest::newRow("invalid") << QVariant() << false << 7u << old;
    QTest::newRow("message only: code zeroed, message kept")
        << QVariant(QVariantMap { { "message", "x" } }) << false << 0u << old;
    QTest::newRow("code as text") << QVariant(QVariantMap { { "code", "12" } }) << true << 12u << QString();
    QTest::newRow("null message") << QVariant(QVariantMap { { "code", 5 }, { "message", QVariant() } }) << true << 5u
                                  << QString();
    QTest::newRow("extra keys ignored") << QVariant(QVariantMap { { "code", 5 }, { "message", "m" }, { "other", 1 } })
                                        << true << 5u << QString("m");
    QTest::newRow("carried JSON-RPC code")
        << QVariant(QVariantMap { { "code", qint64(4294934696) } }) << true << 4294934696u << QString();
    QTest::newRow("beyond 32 bits is refused")
        << QVariant(QVariantMap { { "code", qint64(5000000000) } }) << false << 0u << old;
    QTest::newRow("negative wide number is refused")
        << QVariant(QVariantMap { { "code", qint64(-5000000000) } }) << false << 0u << old;
    QTest::newRow("null code") << QVariant(QVariantMap { { "code", QVariant() } }) << false << 0u << old;
    QTest::newRow("text not a number") << QVariant(QVariantMap { { "code", "x1" } }) << false << 0u << old;
}

void tst_Error::fromVariant()
{
    QFETCH(QVariant, input);
    QFETCH(bool, ok);
    QFETCH(uint, code);
    QFETCH(QString, message);

    Error error(7, "old");
    QCOMPARE(error.fromVariant(input), ok);
    QCOMPARE(error.code(), code);
    QCOMPARE(error.message(), message);
    QCOMPARE(error.message().isNull(), message.isNull());
}

void tst_Error::metaType()
{
    const int id = Velmor::registerErrorMetaType();
    QCOMPARE(Velmor::registerErrorMetaType(), id);
    QCOMPARE(QMetaType::fromName("Error").id(), id);
    QCOMPARE(QMetaType::fromName("Velmor::Error").id(), id);

    const QVariant carried = QVariant::fromValue(Error(30, "auth"));
    QCOMPARE(carried.value<Error>().code(), 30u);
}

// The named codes travel as numbers between programs of different versions: a name may change, its number not.
void tst_Error::codesKeepTheirNumbers_data()
{
    QTest::addColumn<quint32>("code");
    QTest::addColumn<quint32>("number");
    QTest::newRow("success") << quint32(Error::Success) << 0u;
    QTest::newRow("general failure") << quint32(Error::GeneralFailure) << 1u;
    QTest::newRow("timeout") << quint32(Error::Timeout) << 2u;
    QTest::newRow("not connected") << quint32(Error::NotConnected) << 3u;
    QTest::newRow("no DHCP servers") << quint32(Error::NoDhcpServers) << 4u;
    QTest::newRow("access denied") << quint32(Error::AccessDenied) << 5u;
    QTest::newRow("adapter list unavailable") << quint32(Error::AdapterListUnavailable) << 6u;
    QTest::newRow("not supported") << quint32(Error::NotSupported) << 8u;
    QTest::newRow("invalid response") << quint32(Error::InvalidResponse) << 9u;
    QTest::newRow("authentication failed") << quint32(Error::AuthenticationFailed) << 30u;
    QTest::newRow("network failure") << quint32(Error::NetworkFailure) << 31u;
    QTest::newRow("registration refused") << quint32(Error::RegistrationRefused) << 33u;
    QTest::newRow("address refused") << quint32(Error::AddressRefused) << 1051u;
}

void tst_Error::codesKeepTheirNumbers()
{
    QFETCH(quint32, code);
    QFETCH(quint32, number);
    QCOMPARE(code, number);
}

void tst_Error::rpcFromError_data()
{
    QTest::addColumn<uint>("code");
    QTest::addColumn<int>("rpcCode");

    QTest::newRow("parse error") << 4294934596u << -32700;
    QTest::newRow("invalid request") << 4294934696u << -32600;
    QTest::newRow("method not found") << 4294934695u << -32601;
    QTest::newRow("invalid params") << 4294934694u << -32602;
    QTest::newRow("high bits lost") << 70000u << 4464;
    QTest::newRow("plain") << 4u << 4;
}

void tst_Error::rpcFromError()
{
    QFETCH(uint, code);
    QFETCH(int, rpcCode);
    const JsonRPCError rpc(Error(code, "m"));
    QCOMPARE(int(rpc.code), rpcCode);
    QCOMPARE(rpc.message, QString("m"));
    QVERIFY(!rpc.data.isValid());
}

void tst_Error::rpcToVariant_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QVariant>("data");
    QTest::addColumn<QVariantMap>("expected");

    QTest::newRow("standard text replaces empty message")
        << -32600 << QString() << QVariant() << QVariantMap { { "code", -32600 }, { "message", "Invalid Request" } };
    QTest::newRow("standard text replaces own message")
        << -32700 << QString("mine") << QVariant() << QVariantMap { { "code", -32700 }, { "message", "Parse error" } };
    QTest::newRow("reserved code without text: null message")
        << -32000 << QString("mine") << QVariant() << QVariantMap { { "code", -32000 }, { "message", QString() } };
    QTest::newRow("-32768 keeps its own message")
        << -32768 << QString("mine") << QVariant() << QVariantMap { { "code", -32768 }, { "message", "mine" } };
    QTest::newRow("code only") << 4 << QString() << QVariant() << QVariantMap { { "code", 4 } };
    QTest::newRow("message and data") << 4 << QString("m") << QVariant(12)
                                      << QVariantMap { { "code", 4 }, { "message", "m" }, { "data", 12 } };
}

void tst_Error::rpcToVariant()
{
    QFETCH(int, code);
    QFETCH(QString, message);
    QFETCH(QVariant, data);
    QFETCH(QVariantMap, expected);

    JsonRPCError rpc;
    rpc.code = qint16(code);
    rpc.message = message;
    rpc.data = data;
    const QVariantMap written = rpc.toVariant().toMap();
    if (code == -32600)
        QCOMPARE(Velmor::Json::stringify(written), QString(R"({"code":-32600,"message":"Invalid Request"})"));
    QCOMPARE(written, expected);
    QCOMPARE(written.value("code").typeId(), int(QMetaType::Int));
    if (code == -32000)
        QVERIFY(written.value("message").toString().isNull());
}

void tst_Error::rpcFromVariant_data()
{
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QVariant>("data");

    QTest::newRow("code only") << QVariant(QVariantMap { { "code", 3 } }) << true << 3 << QString() << QVariant();
    QTest::newRow("all members") << QVariant(QVariantMap { { "code", -32601 }, { "message", "x" }, { "data", "d" } })
                                 << true << -32601 << QString("x") << QVariant("d");
    QTest::newRow("low 16 bits") << QVariant(QVariantMap { { "code", 70000 } }) << true << 4464 << QString()
                                 << QVariant();
    QTest::newRow("not a map") << QVariant(QVariantList()) << false << 9 << QString("old") << QVariant("olddata");
    QTest::newRow("code as string: data taken anyway")
        << QVariant(QVariantMap { { "code", "3" }, { "data", 1 } }) << false << 9 << QString("old") << QVariant(1);
    QTest::newRow("code fraction") << QVariant(QVariantMap { { "code", 3.5 } }) << false << 9 << QString("old")
                                   << QVariant();
    QTest::newRow("code beyond 32 bits") << QVariant(QVariantMap { { "code", qint64(1) << 40 } }) << false << 9
                                         << QString("old") << QVariant();
    QTest::newRow("code missing") << QVariant(QVariantMap { { "message", "m" } }) << false << 9 << QString("old")
                                  << QVariant();
    QTest::newRow("message a number: code taken, message kept")
        << QVariant(QVariantMap { { "code", 5 }, { "message", 5 } }) << false << 5 << QString("old") << QVariant();
}

void tst_Error::rpcFromVariant()
{
    QFETCH(QVariant, input);
    QFETCH(bool, ok);
    QFETCH(int, code);
    QFETCH(QString, message);
    QFETCH(QVariant, data);

    JsonRPCError rpc;
    rpc.code = 9;
    rpc.message = "old";
    rpc.data = "olddata";
    QCOMPARE(rpc.fromVariant(input), ok);
    QCOMPARE(int(rpc.code), code);
    QCOMPARE(rpc.message, message);
    QCOMPARE(rpc.message.isNull(), message.isNull());
    QCOMPARE(rpc.data, data);
}

QTEST_GUILESS_MAIN(tst_Error)
#include "tst_error.moc"
