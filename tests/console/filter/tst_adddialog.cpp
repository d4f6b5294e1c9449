#include "filter/adddialog.h"

#include <QApplication>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

class tst_AddDialog : public QObject
{
    Q_OBJECT

    // The field of a form row by its label.
    static QLineEdit *field(AddDialog *dialog, const QString &label);

private Q_SLOTS:
    void layout();
    void accept_data();
    void accept();
    void typedTextStaysAndIsRefused_data();
    void typedTextStaysAndIsRefused();
};

QLineEdit *tst_AddDialog::field(AddDialog *dialog, const QString &label)
{
    auto *form = qobject_cast<QFormLayout *>(dialog->layout());
    for (int row = 0; form && row < form->rowCount(); ++row) {
        QLayoutItem *name = form->itemAt(row, QFormLayout::LabelRole);
        auto *text = name ? qobject_cast<QLabel *>(name->widget()) : nullptr;
        if (text && text->text() == label)
            return qobject_cast<QLineEdit *>(form->itemAt(row, QFormLayout::FieldRole)->widget());
    }
    return nullptr;
}

void tst_AddDialog::layout()
{
    QWidget owner;
    AddDialog alias(&owner, 2);
    QCOMPARE(alias.windowTitle(), QStringLiteral("New domain"));
    QVERIFY(!alias.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
    QVERIFY(field(&alias, QStringLiteral("IP Address")));
    QVERIFY(field(&alias, QStringLiteral("Domain")));
    QCOMPARE(alias.findChildren<QLineEdit *>().size(), 2);
    AddDialog domain(&owner, 1);
    QVERIFY(field(&domain, QStringLiteral("Domain")));
    QCOMPARE(domain.findChildren<QLineEdit *>().size(), 1);
}

void tst_AddDialog::accept_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("domain");
    QTest::addColumn<bool>("accepted");
    // 0 the address field, 1 the domain field.
    QTest::addColumn<int>("focused");
    QTest::addColumn<QString>("readAddress");
    QTest::addColumn<QString>("readDomain");

    QTest::newRow("complete") << "10.0.0.1"
                              << "router.example" << true << -1 << "10.0.0.1"
                              << "router.example";
    // Sent in its ASCII form.
    QTest::newRow("other script") << "192.0.2.200"
                                  << "пример.рф" << true << -1 << "192.0.2.200"
                                  << "xn--e1afmkfd.xn--p1ai";
    QTest::newRow("incomplete address") << "192.168.1"
                                        << "router.example" << false << 0 << QString() << "router.example";
    // Qt would read "010.0.0.1" as 8.0.0.1: what the field shows is refused instead.
    QTest::newRow("leading zero") << "010.0.0.1"
                                  << "router.example" << false << 0 << QString() << "router.example";
    QTest::newRow("empty address") << QString() << "router.example" << false << 0 << QString() << "router.example";
    QTest::newRow("incomplete domain") << "10.0.0.1"
                                       << "router." << false << 1 << "10.0.0.1" << QString();
    QTest::newRow("empty domain") << "10.0.0.1" << QString() << false << 1 << "10.0.0.1" << QString();
}

void tst_AddDialog::accept()
{
    QFETCH(QString, address);
    QFETCH(QString, domain);
    QFETCH(bool, accepted);
    QFETCH(int, focused);
    QFETCH(QString, readAddress);
    QFETCH(QString, readDomain);

    QWidget owner;
    owner.show();
    AddDialog dialog(&owner, 2);
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    const QList<QLineEdit *> fields { field(&dialog, QStringLiteral("IP Address")),
        field(&dialog, QStringLiteral("Domain")) };
    fields.at(0)->setText(address);
    fields.at(1)->setText(domain);
    fields.at(focused == 0 ? 1 : 0)->setFocus();

    dialog.accept();
    QCOMPARE(dialog.result(), accepted ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QCOMPARE(dialog.isVisible(), !accepted);
    if (focused >= 0)
        QTRY_VERIFY(fields.at(focused)->hasFocus());
    QCOMPARE(dialog.address(), readAddress.isEmpty() ? QHostAddress() : QHostAddress(readAddress));
    QCOMPARE(dialog.domain(), readDomain);
    const QLabel *hint = dialog.findChild<QLabel *>(QStringLiteral("hint"));
    QVERIFY(hint);
    QCOMPARE(hint->isVisible(), !accepted);
}

void tst_AddDialog::typedTextStaysAndIsRefused_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("domain");
    QTest::addColumn<int>("focused"); // the field to mend: 0 the address, 1 the domain
    QTest::addColumn<QString>("hint"); // a part of what the dialog says

    QTest::newRow("999.1.1.1") << "999.1.1.1"
                               << "router.example" << 0 << "\"999.1.1.1\" is not an IPv4 address";
    QTest::newRow("letters in the address") << "300.1a.2.3"
                                            << "router.example" << 0 << "\"300.1a.2.3\" is not an IPv4 address";
    QTest::newRow("blank and slash in the name")
        << "10.0.0.1"
        << "bad domain/ünï.example" << 1 << "\"bad domain/ünï.example\" is not a domain name";
    QTest::newRow("label over 63") << "10.0.0.1" << QString(64, QLatin1Char('a')) + QLatin1String(".example") << 1
                                   << "at most 63 characters";
    const QString tooLong
        = QStringList(5, QString(50, QLatin1Char('b'))).join(QLatin1Char('.')) + QLatin1String(".example");
    QTest::newRow("name over 253") << "10.0.0.1" << tooLong << 1
                                   << QStringLiteral("at most 253 characters; this one has %1").arg(tooLong.size());
    QTest::newRow("an address as the name") << "10.0.0.1"
                                            << "10.0.0.6" << 1 << "\"10.0.0.6\" is an address";
}

// Every key typed stays in its field; Ok refuses what cannot be sent, says why, and the field to mend has the focus
// with its text selected.
void tst_AddDialog::typedTextStaysAndIsRefused()
{
    QFETCH(QString, address);
    QFETCH(QString, domain);
    QFETCH(int, focused);
    QFETCH(QString, hint);

    QWidget owner;
    owner.show();
    AddDialog dialog(&owner, 2);
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    const QList<QLineEdit *> fields { field(&dialog, QStringLiteral("IP Address")),
        field(&dialog, QStringLiteral("Domain")) };
    QTRY_COMPARE(QApplication::focusWidget(), fields.at(0));
    QTest::keyClicks(fields.at(0), address);
    QTest::keyClick(fields.at(0), Qt::Key_Tab);
    QTRY_COMPARE(QApplication::focusWidget(), fields.at(1));
    // Key by key, letters of other scripts too.
    for (const QChar c : domain)
        QTest::sendKeyEvent(QTest::Click, fields.at(1), Qt::Key_unknown, QString(c), Qt::NoModifier);
    QCOMPARE(fields.at(0)->text(), address);
    QCOMPARE(fields.at(1)->text(), domain);
    QTest::keyClick(fields.at(1), Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(dialog.isVisible());
    auto *said = dialog.findChild<QLabel *>(QStringLiteral("hint"));
    QVERIFY(said && said->isVisible());
    QVERIFY2(said->text().contains(hint), qPrintable(said->text()));
    QTRY_COMPARE(QApplication::focusWidget(), fields.at(focused));
    QCOMPARE(fields.at(focused)->selectedText(), fields.at(focused)->text());
}

QTEST_MAIN(tst_AddDialog)
#include "tst_adddialog.moc"
