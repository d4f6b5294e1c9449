#include "velmorwire/ipaddress.h"

#include <QTest>

using namespace Velmor;

class tst_IPAddress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parseIPv4_data();
    void parseIPv4();
    void refusedTextLeavesAddressUntouched();
    void parseIPAddress_data();
    void parseIPAddress();
};

void tst_IPAddress::parseIPv4_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("address");

    QTest::newRow("loopback") << "127.0.0.1" << true << "127.0.0.1";
    QTest::newRow("zeros") << "0.0.0.0" << true << "0.0.0.0";
    QTest::newRow("broadcast") << "255.255.255.255" << true << "255.255.255.255";
    QTest::newRow("three-digit parts") << "192.168.100.254" << true << "192.168.100.254";

    QTest::newRow("short form 127.1") << "127.1" << false << QString();
    QTest::newRow("single number") << "10" << false << QString();
    QTest::newRow("three parts") << "10.0.1" << false << QString();
    QTest::newRow("five parts") << "1.2.3.4.5" << false << QString();
    QTest::newRow("part above 255") << "1.2.3.256" << false << QString();
    QTest::newRow("four-digit part") << "1.2.3.0255" << false << QString();
    QTest::newRow("leading zero") << "010.0.0.1" << false << QString();
    QTest::newRow("double zero") << "1.00.0.1" << false << QString();
    QTest::newRow("octal form") << "0177.0.0.1" << false << QString();
    QTest::newRow("hex part") << "0x7f.0.0.1" << false << QString();
    QTest::newRow("hex digits") << "a.b.c.d" << false << QString();
    QTest::newRow("leading blank") << " 1.2.3.4" << false << QString();
    QTest::newRow("trailing blank") << "1.2.3.4 " << false << QString();
    QTest::newRow("trailing newline") << "1.2.3.4\n" << false << QString();
    QTest::newRow("empty part") << "1..3.4" << false << QString();
    QTest::newRow("trailing dot") << "1.2.3.4." << false << QString();
    QTest::newRow("leading dot") << ".1.2.3.4" << false << QString();
    QTest::newRow("plus sign") << "+1.2.3.4" << false << QString();
    QTest::newRow("minus sign") << "1.-2.3.4" << false << QString();
    QTest::newRow("port") << "1.2.3.4:53" << false << QString();
    QTest::newRow("empty") << "" << false << QString();
    QTest::newRow("null") << QString() << false << QString();
    QTest::newRow("host name") << "dns.example" << false << QString();
    QTest::newRow("non-ASCII digits") << QString::fromUtf8("1.2.3.\u0664") << false << QString();
    QTest::newRow("IPv6") << "::1" << false << QString();
}

void tst_IPAddress::parseIPv4()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, address);

    QHostAddress parsed;
    QCOMPARE(Velmor::parseIPv4(text, &parsed), valid);
    QCOMPARE(Velmor::parseIPv4(text), valid);
    if (valid) {
        QCOMPARE(parsed.protocol(), QAbstractSocket::IPv4Protocol);
        QCOMPARE(parsed.toString(), address);
    } else {
        QVERIFY(parsed.isNull());
    }
}

void tst_IPAddress::refusedTextLeavesAddressUntouched()
{
    QHostAddress address(QStringLiteral("9.9.9.9"));
    QVERIFY(!Velmor::parseIPv4(QStringLiteral("127.1"), &address));
    QCOMPARE(address, QHostAddress(QStringLiteral("9.9.9.9")));
}

void tst_IPAddress::parseIPAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("address"); // empty: refused

    QTest::newRow("IPv4") << "8.8.4.4"
                          << "8.8.4.4";
    QTest::newRow("loose IPv4") << "8.8.1028"
                                << "";
    QTest::newRow("IPv4 with blank") << " 8.8.4.4"
                                     << "";
    QTest::newRow("IPv6 loopback") << "::1"
                                   << "::1";
    QTest::newRow("IPv6 full") << "2001:0DB8:0:0:0:0:0:1"
                               << "2001:db8::1";
    QTest::newRow("IPv6 with IPv4 tail") << "::ffff:1.2.3.4"
                                         << "::ffff:1.2.3.4";
    QTest::newRow("IPv6 with scope") << "fe80::1%eth0"
                                     << "";
    QTest::newRow("IPv6 in brackets") << "[::1]"
                                      << "";
    QTest::newRow("IPv6 with blank") << " ::1"
                                     << "";
    QTest::newRow("IPv6 two gaps") << "1::2::3"
                                   << "";
    QTest::newRow("host name") << "localhost"
                               << "";
    QTest::newRow("empty") << ""
                           << "";
}

void tst_IPAddress::parseIPAddress()
{
    QFETCH(QString, text);
    QFETCH(QString, address);

    const QHostAddress parsed = Velmor::parseIPAddress(text);
    if (address.isEmpty())
        QVERIFY2(parsed.isNull(), qPrintable(parsed.toString()));
    else
        QCOMPARE(parsed.toString(), address);
}

QTEST_APPLESS_MAIN(tst_IPAddress)
#include "tst_ipaddress.moc"
