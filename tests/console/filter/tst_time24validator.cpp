#include "filter/time24validator.h"

#include <QLineEdit>
#include <QtTest>

class tst_Time24Validator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void validate_data();
    void validate();
    void typedThroughMask_data();
    void typedThroughMask();
};

void tst_Time24Validator::validate_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("pos");
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("newPos");
    QTest::addColumn<int>("state");

    const int acceptable = QValidator::Acceptable;
    QTest::newRow("quarter") << "12:30" << 5 << "12:30" << 5 << acceptable;
    // Rounded minutes are written as a plain number.
    QTest::newRow("rounds down to 0") << "12:07" << 5 << "12:0" << 4 << acceptable;
    QTest::newRow("rounds up to 15") << "12:08" << 5 << "12:15" << 5 << acceptable;
    QTest::newRow("rounds to 30") << "12:37" << 5 << "12:30" << 5 << acceptable;
    QTest::newRow("rounds to 45") << "12:38" << 5 << "12:45" << 5 << acceptable;
    QTest::newRow("above 45") << "12:50" << 5 << "12:45" << 5 << acceptable;
    QTest::newRow("blank minutes") << "12:  " << 3 << "12:00" << 3 << acceptable;
    QTest::newRow("zero minutes") << "12:0" << 4 << "12:00" << 4 << acceptable;
    // The cursor stays behind a half-typed minute, so the next digit follows it.
    QTest::newRow("half-typed minutes") << "09:1 " << 4 << "09:0" << 4 << acceptable;
    QTest::newRow("half-typed, second digit") << "09:15" << 5 << "09:15" << 5 << acceptable;
    QTest::newRow("past 24") << "25:30" << 2 << "24:00" << 3 << acceptable;
    QTest::newRow("24 with minutes") << "24:15" << 5 << "24:00" << 3 << acceptable;
    QTest::newRow("24:00") << "24:00" << 5 << "24:00" << 5 << acceptable;
    QTest::newRow("blank hours") << "  :30" << 3 << "00:30" << 0 << acceptable;
    QTest::newRow("one-digit hour") << "7:30" << 4 << "7:30" << 4 << acceptable;
    QTest::newRow("no colon") << "1234" << 4 << "1234" << 4 << int(QValidator::Invalid);
    QTest::newRow("two colons") << "1:2:3" << 5 << "1:2:3" << 5 << int(QValidator::Invalid);
}

void tst_Time24Validator::validate()
{
    QFETCH(QString, input);
    QFETCH(int, pos);
    QFETCH(QString, output);
    QFETCH(int, newPos);
    QFETCH(int, state);

    Time24Validator validator(nullptr);
    QCOMPARE(int(validator.validate(input, pos)), state);
    QCOMPARE(input, output);
    QCOMPARE(pos, newPos);
}

void tst_Time24Validator::typedThroughMask_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");

    QTest::newRow("0915") << "0915"
                          << "09:15";
    QTest::newRow("1750") << "1750"
                          << "17:45";
    QTest::newRow("0730") << "0730"
                          << "07:30";
    QTest::newRow("1207") << "1207"
                          << "12:00";
    QTest::newRow("2400") << "2400"
                          << "24:00";
    QTest::newRow("2530") << "2530"
                          << "24:00";
    QTest::newRow("2415") << "2415"
                          << "24:00";
}

void tst_Time24Validator::typedThroughMask()
{
    QFETCH(QString, keys);
    QFETCH(QString, text);

    // As the schedule's fields are made.
    QLineEdit field;
    field.setInputMask(QStringLiteral("99:99"));
    field.setValidator(new Time24Validator(&field));
    field.setText(QStringLiteral("00:00"));
    field.show();
    field.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&field));
    field.setCursorPosition(0);
    QTest::keyClicks(&field, keys);
    QCOMPARE(field.text(), text);
    QVERIFY(field.hasAcceptableInput());
}

QTEST_MAIN(tst_Time24Validator)
#include "tst_time24validator.moc"
