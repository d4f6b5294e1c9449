#include "filter/adddialog.h"

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
    void addressFieldRefusesKeystrokes();
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

    QTest::newRow("complete") << "10.0.0.1"
                              << "router.example" << true << -1 << "10.0.0.1";
    QTest::newRow("other script") << "192.0.2.200"
                                  << "пример.рф" << true << -1 << "192.0.2.200";
    QTest::newRow("incomplete address") << "192.168.1"
                                        << "router.example" << false << 0 << QString();
    // Qt would read "010.0.0.1" as 8.0.0.1: what the field shows is refused instead.
    QTest::newRow("leading zero") << "010.0.0.1"
                                  << "router.example" << false << 0 << QString();
    QTest::newRow("empty address") << QString() << "router.example" << false << 0 << QString();
    QTest::newRow("incomplete domain") << "10.0.0.1"
                                       << "router." << false << 1 << "10.0.0.1";
    QTest::newRow("empty domain") << "10.0.0.1" << QString() << false << 1 << "10.0.0.1";
}

void tst_AddDialog::accept()
{
    QFETCH(QString, address);
    QFETCH(QString, domain);
    QFETCH(bool, accepted);
    QFETCH(int, focused);
    QFETCH(QString, readAddress);

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
    QCOMPARE(dialog.domain(), domain);
}

void tst_AddDialog::addressFieldRefusesKeystrokes()
{
    QWidget owner;
    AddDialog dialog(&owner, 2);
    QLineEdit *address = field(&dialog, QStringLiteral("IP Address"));
    QTest::keyClicks(address, QStringLiteral("300.1a.2.3"));
    QCOMPARE(address->text(), QStringLiteral("30.1.2.3"));
}

QTEST_MAIN(tst_AddDialog)
#include "tst_adddialog.moc"
