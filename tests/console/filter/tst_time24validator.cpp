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
    const int notYet = QValidator::Intermediate;
    QTest::newRow("quarter") << "12:30" << 5 << "12:30" << 5 << acceptable;
    // Minutes off the quarters are not taken, and not changed into other ones either.
    QTest::newRow("07 minutes") << "12:07" << 5 << "12:07" << 5 << notYet;
    QTest::newRow("37 minutes") << "12:37" << 5 << "12:37" << 5 << notYet;
    QTest::newRow("above 45") << "12:50" << 5 << "12:50" << 5 << notYet;
    QTest::newRow("blank minutes") << "12:  " << 3 << "12:  " << 3 << notYet;
    QTest::newRow("one minute digit") << "12:0" << 4 << "12:0" << 4 << notYet;
    QTest::newRow("half-typed minutes") << "09:1 " << 4 << "09:1 " << 4 << notYet;
    QTest::newRow("half-typed, second digit") << "09:15" << 5 << "09:15" << 5 << acceptable;
    QTest::newRow("past 24") << "25:30" << 2 << "25:30" << 2 << notYet;
    QTest::newRow("25:00") << "25:00" << 5 << "25:00" << 5 << notYet;
    QTest::newRow("24 with minutes") << "24:15" << 5 << "24:15" << 5 << notYet;
    QTest::newRow("24:00") << "24:00" << 5 << "24:00" << 5 << acceptable;
    QTest::newRow("blank hours") << "  :30" << 3 << "  :30" << 3 << notYet;
    QTest::newRow("one-digit hour") << "7:30" << 4 << "7:30" << 4 << acceptable;
    QTest::newRow("a letter") << "1a:30" << 2 << "1a:30" << 2 << int(QValidator::Invalid);
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
    QTest::addColumn<bool>("taken");

    // Every digit lands where it is typed; only a time of the schedule is taken.
    QTest::newRow("0915") << "0915"
                          << "09:15" << true;
    QTest::newRow("1750") << "1750"
                          << "17:50" << false;
    QTest::newRow("0730") << "0730"
                          << "07:30" << true;
    QTest::newRow("1207") << "1207"
                          << "12:07" << false;
    QTest::newRow("2400") << "2400"
                          << "24:00" << true;
    QTest::newRow("2500") << "2500"
                          << "25:00" << false;
    QTest::newRow("2415") << "2415"
                          << "24:15" << false;
}

void tst_Time24Validator::typedThroughMask()
{
    QFETCH(QString, keys);
    QFETCH(QString, text);
    QFETCH(bool, taken);

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
    QCOMPARE(field.hasAcceptableInput(), taken);
}

QTEST_MAIN(tst_Time24Validator)
#include "tst_time24validator.moc"
