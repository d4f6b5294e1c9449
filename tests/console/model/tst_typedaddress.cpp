#include "model/typedaddress.h"

#include <QtTest>

class tst_TypedAddress : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void read_data();
    void read();
};

void tst_TypedAddress::read_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("address");
    QTest::newRow("plain") << "192.168.1.20"
                           << "192.168.1.20";
    QTest::newRow("mask underscores") << "10_.0__.0__.1__"
                                      << "10.0.0.1";
    QTest::newRow("blanks") << " 8. 8.8 .8 "
                            << "8.8.8.8";
    QTest::newRow("leading zero") << "010.0.0.1" << QString();
    QTest::newRow("padded by the mask") << "010.000.000.001" << QString();
    QTest::newRow("out of range") << "256.0.0.1" << QString();
    QTest::newRow("three groups") << "10.0.1" << QString();
    QTest::newRow("empty mask") << "___.___.___.___" << QString();
    QTest::newRow("IPv6") << "::1" << QString();
}

void tst_TypedAddress::read()
{
    QFETCH(QString, typed);
    QFETCH(QString, address);
    const QHostAddress read = typedIPv4Address(typed);
    QCOMPARE(read.isNull() ? QString() : read.toString(), address);
}

QTEST_GUILESS_MAIN(tst_TypedAddress)
#include "tst_typedaddress.moc"
