#include "mainwindow/ipvalidator.h"

#include <QTest>

// The DNS address dialog's fields: a whole address is four groups of up to three digits, each at most 255
// and written without a leading zero; the keystroke that would break that is refused.
class tst_IpValidator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void validate_data();
    void validate();
};

void tst_IpValidator::validate_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("pos");

    const int invalid = QValidator::Invalid;
    const int intermediate = QValidator::Intermediate;
    const int acceptable = QValidator::Acceptable;
    QTest::newRow("empty") << "" << intermediate << 0;
    QTest::newRow("one group") << "192" << intermediate << 3;
    QTest::newRow("ends in a dot") << "1.2." << intermediate << 4;
    QTest::newRow("whole address") << "192.168.1.25" << acceptable << 12;
    QTest::newRow("largest group") << "192.168.1.255" << acceptable << 13;
    QTest::newRow("zeros") << "0.0.0.0" << acceptable << 7;
    QTest::newRow("underscores after digits") << "10_.0.0.1__" << acceptable << 11;
    QTest::newRow("256 in the last group") << "192.168.1.256" << invalid << 13;
    QTest::newRow("256 in the first group") << "256.1.1.1" << invalid << 3;
    QTest::newRow("999") << "1.999.1.1" << invalid << 5;
    QTest::newRow("fifth group") << "1.2.3.4.5" << invalid << 9;
    QTest::newRow("four digits") << "1234.1.1.1" << invalid << 10;
    QTest::newRow("doubled dot") << "1..2" << invalid << 4;
    QTest::newRow("letter") << "1.a" << invalid << 3;
    QTest::newRow("leading zero") << "010.0.0.1" << invalid << 9;
    QTest::newRow("leading zero, typed so far") << "10.01" << invalid << 5;
    QTest::newRow("double zero") << "00" << invalid << 2;
    QTest::newRow("leading zero behind underscores") << "0_1" << invalid << 3;
}

void tst_IpValidator::validate()
{
    QFETCH(QString, input);
    QFETCH(int, state);
    QFETCH(int, pos);
    IpValidator validator;
    int cursor = int(input.size());
    QCOMPARE(int(validator.validate(input, cursor)), state);
    QCOMPARE(cursor, pos);
}

QTEST_GUILESS_MAIN(tst_IpValidator)
#include "tst_ipvalidator.moc"
