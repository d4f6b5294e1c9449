#include "mainwindow/ipdlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

// The DNS address dialog: Ok is enabled exactly while every filled field gives an address and enough fields are
// filled, and what Ok hands back is one address per filled field.
class tst_IpDlg : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void form();
    void okButton_data();
    void okButton();
    void timerCorrectsOk();
    void overwritingKeepsOkRight();

private:
    static QPushButton *ok(IpDlg *dialog)
    {
        return dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok);
    }
    static QList<QLineEdit *> fields(IpDlg *dialog) { return dialog->findChildren<QLineEdit *>(); }
};

void tst_IpDlg::form()
{
    IpDlg dialog(QStringLiteral("Set DNS"), QStringLiteral("Enter the addresses."), 3, nullptr);
    QCOMPARE(dialog.objectName(), QStringLiteral("IpDlg"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Set DNS"));
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("lbl_text"))->text(), QStringLiteral("Enter the addresses."));
    QVERIFY(dialog.findChild<QLabel *>(QStringLiteral("lbl_text"))->wordWrap());
    QCOMPARE(fields(&dialog).size(), 3);
    QCOMPARE(dialog.maximumWidth(), 220);
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QVERIFY(!ok(&dialog)->isEnabled());
    QCOMPARE(IpDlg(QString(), QString(), 0, nullptr).findChildren<QLineEdit *>().size(), 0);
    QCOMPARE(IpDlg(QString(), QString(), -2, nullptr).findChildren<QLineEdit *>().size(), 0);
}

void tst_IpDlg::okButton_data()
{
    QTest::addColumn<int>("minimum");
    QTest::addColumn<QStringList>("typed"); // one text per field, typed key by key
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QStringList>("addresses");

    QTest::newRow("both empty, one needed") << 1 << QStringList { "", "" } << false << QStringList {};
    QTest::newRow("first filled") << 1 << QStringList { "10.0.0.1", "" } << true << QStringList { "10.0.0.1" };
    QTest::newRow("second incomplete") << 1 << QStringList { "10.0.0.1", "10.0.0." } << false
                                       << QStringList { "10.0.0.1" };
    QTest::newRow("both complete") << 1 << QStringList { "10.0.0.1", "10.0.0.2" } << true
                                   << QStringList { "10.0.0.1", "10.0.0.2" };
    QTest::newRow("only the second") << 1 << QStringList { "", "192.0.2.53" } << true << QStringList { "192.0.2.53" };
    QTest::newRow("two needed, one given")
        << 2 << QStringList { "10.0.0.1", "" } << false << QStringList { "10.0.0.1" };
    QTest::newRow("none needed, none given") << 0 << QStringList { "", "" } << true << QStringList {};
    // Underscores mean nothing in an address: the field shows 10, and 10 is what goes out.
    QTest::newRow("underscore after a group")
        << 1 << QStringList { "10_.0.0.1", "" } << true << QStringList { "10.0.0.1" };
    QTest::newRow("the 6 of 256 refused")
        << 1 << QStringList { "192.168.1.256", "" } << true << QStringList { "192.168.1.25" };
}

void tst_IpDlg::okButton()
{
    QFETCH(int, minimum);
    QFETCH(QStringList, typed);
    QFETCH(bool, enabled);
    QFETCH(QStringList, addresses);
    IpDlg dialog(QStringLiteral("Set DNS"), QString(), int(typed.size()), nullptr);
    dialog.minimumFilled = minimum;
    dialog.checkAcceptance();
    const QList<QLineEdit *> list = fields(&dialog);
    for (qsizetype i = 0; i < typed.size(); ++i)
        QTest::keyClicks(list.at(i), typed.at(i));
    QCOMPARE(ok(&dialog)->isEnabled(), enabled);
    QStringList got;
    for (const QHostAddress &address : dialog.addresses())
        got.append(address.toString());
    QCOMPARE(got, addresses);
}

// Ok is disabled at construction; with no minimum and no field filled, the timer's first tick enables it.
void tst_IpDlg::timerCorrectsOk()
{
    IpDlg dialog(QString(), QString(), 2, nullptr);
    QVERIFY(!ok(&dialog)->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(ok(&dialog)->isEnabled(), 3000);
}

// A text put into a field by other means than typing (pasted, set) is judged the same way: a leading zero makes
// no address, so Ok stays off.
void tst_IpDlg::overwritingKeepsOkRight()
{
    IpDlg dialog(QString(), QString(), 2, nullptr);
    dialog.minimumFilled = 1;
    const QList<QLineEdit *> list = fields(&dialog);
    list.at(0)->setText(QStringLiteral("010.0.0.1"));
    dialog.checkAcceptance();
    QVERIFY(!ok(&dialog)->isEnabled());
    QVERIFY(dialog.addresses().isEmpty());
    list.at(0)->setText(QStringLiteral("10.0.0.1"));
    dialog.checkAcceptance();
    QVERIFY(ok(&dialog)->isEnabled());
    QCOMPARE(dialog.addresses(), QList<QHostAddress> { QHostAddress(QStringLiteral("10.0.0.1")) });
}

QTEST_MAIN(tst_IpDlg)
#include "tst_ipdlg.moc"
