#include "filtertest.h"

#include "filter/easylistedit.h"
#include "filter/filterdlg.h"
#include "model/cabinet.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QToolButton>

using namespace FilterTest;

class tst_FilterDlgProfiles : public Suite
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void editor();
    void builtOnce();
    void order_data();
    void order();
    void followsTheModel();
    void adding();
    void blankNameIsDropped();
    void refusedAddition();
    void removing();
    void limitFromTheAccount_data();
    void limitFromTheAccount();
    void longNameKeepsTheInUseMark();

private:
    QDialog *openEditor();
    EasyListEdit *list(QDialog *editor) const { return editor->findChild<EasyListEdit *>(); }
};

void tst_FilterDlgProfiles::cleanup()
{
    finish();
}

QDialog *tst_FilterDlgProfiles::openEditor()
{
    QTest::mouseClick(child<QToolButton>(m_dialog, "btnProfilesSettings"), Qt::LeftButton);
    return child<QDialog>(m_dialog, "dlgProfileEdit");
}

void tst_FilterDlgProfiles::editor()
{
    QVERIFY(start());
    QDialog *editor = openEditor();
    QVERIFY(editor);
    QVERIFY(editor->isVisible());
    QVERIFY(!editor->isModal());
    QCOMPARE(editor->parent(), m_dialog.data());
    QCOMPARE(editor->windowTitle(), QStringLiteral("Profiles Editor"));
    QVERIFY(!editor->windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
    QVERIFY(editor->styleSheet().contains(QStringLiteral("dlgProfileEdit")));
    QCOMPARE(child<QLabel>(editor, "lblTitle")->text(), QStringLiteral("Profiles"));
    QList<QPushButton *> buttons;
    for (QPushButton *button : editor->findChildren<QPushButton *>()) {
        if (button->text() == QLatin1String("Ok"))
            buttons.append(button);
    }
    QCOMPARE(buttons.size(), 1);
    QCOMPARE(buttons.at(0)->maximumWidth(), 150);
    QCOMPARE(buttons.at(0)->property("vyrbutton"), QVariant(true));
    // Ok only hides the editor.
    QTest::mouseClick(buttons.at(0), Qt::LeftButton);
    QVERIFY(!editor->isVisible());
    QCOMPARE(child<QDialog>(m_dialog, "dlgProfileEdit"), editor);
}

void tst_FilterDlgProfiles::builtOnce()
{
    QVERIFY(start());
    QPointer<QDialog> editor = openEditor();
    QVERIFY(editor);
    QPointer<EasyListEdit> rows = list(editor);
    QVERIFY(openEditor() == editor.data());
    editor->close();
    QVERIFY(!editor->isVisible());
    QVERIFY(openEditor() == editor.data());
    QVERIFY(editor->isVisible());
    QCOMPARE(m_dialog->findChildren<QDialog *>(QStringLiteral("dlgProfileEdit")).size(), 1);
    QCOMPARE(list(editor), rows.data());
    QCOMPARE(listOf(rows)->count(), 3);
    delete m_dialog;
    QVERIFY(editor.isNull());
}

void tst_FilterDlgProfiles::order_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("defaultIndex");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("default first, then by name")
        << QStringList { "Work", "Kids", "Home" } << 0 << QStringList { "Work", "Home", "Kids" };
    // Plain character codes: upper case before lower case.
    QTest::newRow("case") << QStringList { "b", "B", "a" } << -1 << QStringList { "B", "a", "b" };
}

void tst_FilterDlgProfiles::order()
{
    QFETCH(QStringList, names);
    QFETCH(int, defaultIndex);
    QFETCH(QStringList, rows);

    QVariantList profiles;
    for (int i = 0; i < names.size(); ++i) {
        profiles.append(QVariantMap { { QStringLiteral("id"), 10 + i }, { QStringLiteral("token"), 100 + i },
            { QStringLiteral("name"), names.at(i) }, { QStringLiteral("default"), i == defaultIndex },
            { QStringLiteral("is_schedule_enabled"), false }, { QStringLiteral("safe_search_enabled"), false },
            { QStringLiteral("white_list_only"), false } });
    }
    QVERIFY(start(withProfiles(FilterTest::script(), profiles, 11)));
    QDialog *editor = openEditor();
    QCOMPARE(rowTexts(list(editor)), rows);
    QListWidget *view = listOf(list(editor));
    for (int i = 0; i < view->count(); ++i)
        QCOMPARE(view->item(i)->data(Qt::UserRole).toBool(), !(defaultIndex >= 0 && i == 0));
}

void tst_FilterDlgProfiles::followsTheModel()
{
    QVERIFY(start());
    QDialog *editor = openEditor();
    editor->hide();
    QVariantList profiles = FilterTest::profiles();
    profiles.append(QVariantMap { { QStringLiteral("id"), 4 }, { QStringLiteral("token"), 104 },
        { QStringLiteral("name"), QStringLiteral("Guests") }, { QStringLiteral("default"), false },
        { QStringLiteral("is_schedule_enabled"), false }, { QStringLiteral("safe_search_enabled"), false },
        { QStringLiteral("white_list_only"), false } });
    m_account->service()->push(QStringLiteral("setProfiles"), { profiles, 2 });
    QTRY_COMPARE(rowTexts(list(editor)), (QStringList { "Home", "Guests", "Kids", "Work" }));
    QCOMPARE(child<QLabel>(list(editor), "lblCounter")->text(), QStringLiteral("4/5"));
}

void tst_FilterDlgProfiles::adding()
{
    QVERIFY(start());
    m_account->service()->setAnswer(QStringLiteral("addProfile"),
        QVariantMap { { QStringLiteral("result"),
            QVariantMap { { QStringLiteral("id"), 4 }, { QStringLiteral("token"), 104 },
                { QStringLiteral("name"), QStringLiteral("Guests") }, { QStringLiteral("default"), false },
                { QStringLiteral("is_schedule_enabled"), false }, { QStringLiteral("safe_search_enabled"), false },
                { QStringLiteral("white_list_only"), false } } } });
    QDialog *editor = openEditor();
    editor->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(editor));
    QTest::mouseClick(child<QPushButton>(list(editor), "btnAdd"), Qt::LeftButton);
    auto *name = listOf(list(editor))->viewport()->findChild<QLineEdit *>();
    QVERIFY(name);
    QTest::keyClicks(name, QStringLiteral("Guests"));
    QTest::keyClick(name, Qt::Key_Return);
    QTRY_COMPARE(sent(), QStringList { "addProfile [\"Guests\"]" });
    // The model takes the new profile; the list and the profile box follow it.
    QTRY_COMPARE(rowTexts(list(editor)), (QStringList { "Home", "Guests", "Kids", "Work" }));
    QVERIFY(editor->isVisible());
}

void tst_FilterDlgProfiles::blankNameIsDropped()
{
    QVERIFY(start());
    QDialog *editor = openEditor();
    editor->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(editor));
    const auto type = [&](const QString &typed) {
        QTest::mouseClick(child<QPushButton>(list(editor), "btnAdd"), Qt::LeftButton);
        QTRY_VERIFY(listOf(list(editor))->viewport()->findChild<QLineEdit *>());
        QTRY_COMPARE(QApplication::focusWidget(), listOf(list(editor))->viewport()->findChild<QLineEdit *>());
        QTest::keyClicks(QApplication::focusWidget(), typed);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    };
    type(QStringLiteral("   "));
    QTRY_VERIFY(child<QPushButton>(list(editor), "btnAdd")->isEnabled());
    type(QStringLiteral("Guests"));
    // The service keeps the order: the second name in means the first one was never sent.
    QTRY_VERIFY(!sent().isEmpty());
    QCOMPARE(sent(), QStringList { "addProfile [\"Guests\"]" });
}

void tst_FilterDlgProfiles::refusedAddition()
{
    QVERIFY(start());
    m_account->service()->setAnswer(
        QStringLiteral("addProfile"), failure(1042, QStringLiteral("Too many profiles for this plan")));
    QDialog *editor = openEditor();
    QMetaObject::invokeMethod(list(editor), "newItem", Q_ARG(QString, QStringLiteral("Teens")));
    QTRY_COMPARE(messageBoxes().size(), 1);
    QMessageBox *box = messageBoxes().constFirst();
    QCOMPARE(box->parent(), editor);
    QCOMPARE(box->windowTitle(), QStringLiteral("Error"));
    QCOMPARE(box->text(), QStringLiteral("Too many profiles for this plan"));
    QCOMPARE(rowTexts(list(editor)), (QStringList { "Home", "Kids", "Work" }));
    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    QTRY_COMPARE(messageBoxes().size(), 0);
    QVERIFY(editor->isVisible());
}

void tst_FilterDlgProfiles::removing()
{
    QVERIFY(start());
    QDialog *editor = openEditor();
    QListWidget *view = listOf(list(editor));
    QTRY_VERIFY(!view->visualItemRect(view->item(2)).isEmpty());
    const QRect row = view->visualItemRect(view->item(2));
    const QPoint icon(row.right() - 6 - 8, row.top() + 5 + 8);
    QCursor::setPos(view->viewport()->mapToGlobal(icon));
    QTRY_COMPARE(view->viewport()->mapFromGlobal(QCursor::pos()), icon);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, icon);
    QTRY_COMPARE(sent(), QStringList { "removeProfile [3]" });
    QCOMPARE(rowTexts(list(editor)), (QStringList { "Home", "Kids" }));
    // The model keeps it until the service's next list.
    QVERIFY(m_account->cabinet()->profiles().contains(3));
}

void tst_FilterDlgProfiles::limitFromTheAccount_data()
{
    QTest::addColumn<QVariant>("maxProfiles");
    QTest::addColumn<QString>("counter");
    QTest::addColumn<bool>("canAdd");

    QTest::newRow("5") << QVariant(5) << "3/5" << true;
    QTest::newRow("3") << QVariant(3) << "3/3" << false;
    // No limit given: the bare count, and Add stays.
    QTest::newRow("absent") << QVariant() << "3" << true;
}

void tst_FilterDlgProfiles::limitFromTheAccount()
{
    QFETCH(QVariant, maxProfiles);
    QFETCH(QString, counter);
    QFETCH(bool, canAdd);

    QVERIFY(start());
    Velmor::CabinetUserInfo info = m_account->cabinet()->userInfo();
    if (maxProfiles.isValid())
        info.features.insert(QStringLiteral("max_profiles"), maxProfiles);
    else
        info.features.remove(QStringLiteral("max_profiles"));
    m_account->cabinet()->setUserInfo(info);
    QDialog *editor = openEditor();
    QCOMPARE(child<QLabel>(list(editor), "lblCounter")->text(), counter);
    QCOMPARE(child<QPushButton>(list(editor), "btnAdd")->isEnabled(), canAdd);
}

// A long name of the profile in use: the box keeps the mark, gives up the name's end, and tells it whole in a tooltip.
void tst_FilterDlgProfiles::longNameKeepsTheInUseMark()
{
    QVERIFY(start());
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog));
    const QString name = QStringLiteral("The children's profile for school days and the holidays at granny");
    Velmor::CabinetProfiles profiles = m_account->cabinet()->profiles();
    profiles.value(2)->name = name;
    m_account->cabinet()->setProfiles(profiles, 2);
    auto box = child<QComboBox>(m_dialog, "cmbProfile");
    const int kids = box->findData(2u);
    QVERIFY(kids >= 0);
    const QString shown = box->itemText(kids);
    QVERIFY2(shown.endsWith(QChar(0x2026) + QStringLiteral(" (used)")), qPrintable(shown));
    QCOMPARE(box->itemData(kids, Qt::ToolTipRole).toString(), name);
    box->setCurrentIndex(kids);
    QStyleOptionComboBox option;
    option.initFrom(box);
    const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box);
    QVERIFY2(box->fontMetrics().horizontalAdvance(shown) <= field.width(),
        qPrintable(QStringLiteral("%1 pixels of text in a field of %2")
                       .arg(box->fontMetrics().horizontalAdvance(shown))
                       .arg(field.width())));
}

FILTER_TEST_MAIN(tst_FilterDlgProfiles)
#include "tst_filterdlgprofiles.moc"
