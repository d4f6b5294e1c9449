#include "mainwindow/iplineedit.h"

#include <QApplication>
#include <QTest>
#include <QValidator>

// The main window's address fields take a dotted-quad address and nothing else: each keystroke that would
// break it is refused.
class tst_IPLineEdit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void typing_data();
    void typing();
    void wholeText_data();
    void wholeText();
};

void tst_IPLineEdit::typing_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("acceptable");
    QTest::newRow("broadcast") << "255.255.255.255"
                               << "255.255.255.255" << true;
    QTest::newRow("any") << "0.0.0.0"
                         << "0.0.0.0" << true;
    QTest::newRow("256 refused") << "10.0.0.256"
                                 << "10.0.0.25" << true;
    QTest::newRow("300 refused") << "10.300.0.1"
                                 << "10.30.0.1" << true;
    QTest::newRow("fifth group refused") << "10.0.0.1.5"
                                         << "10.0.0.15" << true;
    QTest::newRow("leading zero refused") << "10.010.0.1"
                                          << "10.0.0.1" << true;
    QTest::newRow("incomplete") << "10.0.0."
                                << "10.0.0." << false;
    QTest::newRow("letters refused") << "1x0.0.0.1"
                                     << "10.0.0.1" << true;
}

void tst_IPLineEdit::typing()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(bool, acceptable);
    IPLineEdit field;
    QTest::keyClicks(&field, typed);
    QCOMPARE(field.text(), shown);
    QCOMPARE(field.hasAcceptableInput(), acceptable);
}

void tst_IPLineEdit::wholeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("state");
    QTest::newRow("address") << "192.168.1.255" << int(QValidator::Acceptable);
    QTest::newRow("256") << "192.168.1.256" << int(QValidator::Invalid);
    QTest::newRow("fifth group") << "1.2.3.4.5" << int(QValidator::Invalid);
    QTest::newRow("leading zero") << "010.0.0.1" << int(QValidator::Invalid);
    QTest::newRow("blank") << " 10.0.0.1" << int(QValidator::Invalid);
    QTest::newRow("three groups") << "10.0.1" << int(QValidator::Intermediate);
}

void tst_IPLineEdit::wholeText()
{
    QFETCH(QString, text);
    QFETCH(int, state);
    IPLineEdit field;
    int pos = 0;
    QCOMPARE(int(field.validator()->validate(text, pos)), state);
}

QTEST_MAIN(tst_IPLineEdit)
#include "tst_iplineedit.moc"
