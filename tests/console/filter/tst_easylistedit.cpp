#include "filter/actionitemdelegeate.h"
#include "filter/easylistedit.h"

#include <QAction>
#include <QDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMovie>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

class tst_EasyListEdit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void titleAndCounter_data();
    void titleAndCounter();
    void addButtonRule_data();
    void addButtonRule();
    void removeIcon_data();
    void removeIcon();
    void clearList();
    void clearListWithoutDeletableRows();
    void typedRowCommits();
    void typedRowCommitsInOtherScripts();
    void nameDnsCannotHoldIsRefused();
    void domainRowRefusesCharacters_data();
    void domainRowRefusesCharacters();
    void emptyCommitDropsRow();
    void escapeAbandonsRow();
    void focusLossAbandonsIncompleteRow();
    void refillWhileTypingEndsTheEdit();
    void aliasAsksInDialog();
    void doubleClickReportsId();
    void loading();
    void addButtonTakesNoFocus();

private:
    EasyListEdit *make(int kind, int limit, int rows = 0, bool deletable = true);
    QLineEdit *startTyping();
    QListWidget *list() const { return m_editor->findChild<QListWidget *>(QStringLiteral("lstDomains")); }
    QPushButton *addButton() const { return m_editor->findChild<QPushButton *>(QStringLiteral("btnAdd")); }
    QString counter() const { return m_editor->findChild<QLabel *>(QStringLiteral("lblCounter"))->text(); }
    // Clicks at a point of a row with the pointer really there, as the editor reads the pointer's position.
    void clickRow(int row, const QPoint &offsetFromIcon);

    std::unique_ptr<EasyListEdit> m_editor;
};

void tst_EasyListEdit::cleanup()
{
    m_editor.reset();
}

EasyListEdit *tst_EasyListEdit::make(int kind, int limit, int rows, bool deletable)
{
    m_editor = std::make_unique<EasyListEdit>(QStringLiteral("Black List"), kind, QColor(0xFF, 0xA1, 0xA1), limit);
    for (int i = 1; i <= rows; ++i)
        m_editor->addItem(quint32(10 + i), QStringLiteral("site-%1.example").arg(i), deletable);
    m_editor->resize(220, 300);
    m_editor->show();
    m_editor->activateWindow();
    if (!QTest::qWaitForWindowActive(m_editor.get()))
        qWarning("the editor's window is not active");
    return m_editor.get();
}

QLineEdit *tst_EasyListEdit::startTyping()
{
    QTest::mouseClick(addButton(), Qt::LeftButton);
    return list()->viewport()->findChild<QLineEdit *>();
}

void tst_EasyListEdit::clickRow(int row, const QPoint &offsetFromIcon)
{
    auto *delegate = static_cast<ActionItemDelegeate *>(list()->itemDelegate());
    const QRect icon = delegate->iconRect(list()->visualItemRect(list()->item(row)));
    const QPoint at = icon.topLeft() + offsetFromIcon;
    QCursor::setPos(list()->viewport()->mapToGlobal(at));
    QTRY_COMPARE(list()->viewport()->mapFromGlobal(QCursor::pos()), at);
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, at);
}

void tst_EasyListEdit::titleAndCounter_data()
{
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("gradientTop");
    QTest::addColumn<QString>("counter");

    QTest::newRow("coloured, limited") << QColor(QStringLiteral("#EEE")) << 20 << "#eeeeee"
                                       << "2/20";
    QTest::newRow("no colour, no limit") << QColor() << -1 << "#A1A1FF"
                                         << "2";
    // A plan that allows no entries: the counter shows that limit.
    QTest::newRow("limit 0") << QColor(QStringLiteral("#FFA1A1")) << 0 << "#ffa1a1"
                             << "2/0";
}

void tst_EasyListEdit::titleAndCounter()
{
    QFETCH(QColor, colour);
    QFETCH(int, limit);
    QFETCH(QString, gradientTop);
    QFETCH(QString, counter);

    m_editor = std::make_unique<EasyListEdit>(QStringLiteral("White List"), 1, colour, limit);
    auto *title = m_editor->findChild<QLabel *>(QStringLiteral("lblTitle"));
    QCOMPARE(title->text(), QStringLiteral("White List"));
    QVERIFY2(
        title->styleSheet().contains(QStringLiteral("stop: 0 %1,").arg(gradientTop)), qPrintable(title->styleSheet()));
    QCOMPARE(this->counter(), limit < 0 ? QStringLiteral("0") : QStringLiteral("0/%1").arg(limit));
    m_editor->addItem(1, QStringLiteral("a.example"), true);
    m_editor->addItem(2, QStringLiteral("b.example"), true);
    QCOMPARE(this->counter(), counter);
}

enum Operation { Append, RemoveByIcon, ClearList, TypeAndCommit };
Q_DECLARE_METATYPE(Operation)

void tst_EasyListEdit::addButtonRule_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("enabledBefore");
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<bool>("enabledAfter");
    QTest::addColumn<QString>("counter");

    // Limit 3.
    QTest::newRow("3: append below the limit") << 1 << 3 << true << Append << true << "2/3";
    QTest::newRow("3: append reaching it") << 2 << 3 << true << Append << false << "3/3";
    QTest::newRow("3: removal from the limit") << 3 << 3 << false << RemoveByIcon << true << "2/3";
    QTest::newRow("3: clear from the limit") << 3 << 3 << false << ClearList << true << "0/3";
    QTest::newRow("3: typing") << 2 << 3 << true << TypeAndCommit << true << "2/3";
    // Limit 0 (a plan that allows no entries): full from the start, whatever happens.
    QTest::newRow("0: append") << 0 << 0 << false << Append << false << "1/0";
    QTest::newRow("0: removal") << 1 << 0 << false << RemoveByIcon << false << "0/0";
    QTest::newRow("0: clear") << 1 << 0 << false << ClearList << false << "0/0";
    // No limit.
    QTest::newRow("-1: append") << 5 << -1 << true << Append << true << "6";
    QTest::newRow("-1: removal") << 5 << -1 << true << RemoveByIcon << true << "4";
    QTest::newRow("-1: clear") << 5 << -1 << true << ClearList << true << "0";
    QTest::newRow("-1: typing") << 5 << -1 << true << TypeAndCommit << true << "5";
}

void tst_EasyListEdit::addButtonRule()
{
    QFETCH(int, rows);
    QFETCH(int, limit);
    QFETCH(bool, enabledBefore);
    QFETCH(Operation, operation);
    QFETCH(bool, enabledAfter);
    QFETCH(QString, counter);

    // Rows given before the limit rule applies would not show it: the limit is given first.
    make(1, limit);
    for (int i = 1; i <= rows; ++i)
        m_editor->addItem(quint32(10 + i), QStringLiteral("site-%1.example").arg(i), true);
    QCOMPARE(addButton()->isEnabled(), enabledBefore);

    QSignalSpy removed(m_editor.get(), &EasyListEdit::itemRemoved);
    QSignalSpy added(m_editor.get(), &EasyListEdit::newItem);
    switch (operation) {
    case Append:
        m_editor->addItem(99, QStringLiteral("new.example"), true);
        break;
    case RemoveByIcon:
        clickRow(0, QPoint(2, 2));
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(0).toUInt(), 11u);
        break;
    case ClearList:
        m_editor->clear(true);
        break;
    case TypeAndCommit: {
        QLineEdit *editor = startTyping();
        QVERIFY(editor);
        QVERIFY(!addButton()->isEnabled());
        QTest::keyClicks(editor, QStringLiteral("typed.example"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(added.count(), 1);
        break;
    }
    }
    QTRY_COMPARE(addButton()->isEnabled(), enabledAfter);
    QCOMPARE(this->counter(), counter);
}

void tst_EasyListEdit::removeIcon_data()
{
    QTest::addColumn<bool>("deletable");
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<bool>("removed");

    QTest::newRow("on the icon") << true << QPoint(8, 8) << true;
    QTest::newRow("icon's last pixel") << true << QPoint(15, 15) << true;
    QTest::newRow("left of the icon") << true << QPoint(-3, 8) << false;
    QTest::newRow("on the text") << true << QPoint(-60, 8) << false;
    QTest::newRow("below the icon") << true << QPoint(8, 16) << false;
    QTest::newRow("kept row") << false << QPoint(8, 8) << false;
}

void tst_EasyListEdit::removeIcon()
{
    QFETCH(bool, deletable);
    QFETCH(QPoint, offset);
    QFETCH(bool, removed);

    make(1, 3, 2, deletable);
    QSignalSpy spy(m_editor.get(), &EasyListEdit::itemRemoved);
    clickRow(1, offset);
    QCOMPARE(spy.count(), removed ? 1 : 0);
    QCOMPARE(list()->count(), removed ? 1 : 2);
    if (removed)
        QCOMPARE(spy.at(0).at(0).toUInt(), 12u);
    else if (deletable)
        QCOMPARE(list()->currentRow(), 1);
}

void tst_EasyListEdit::clearList()
{
    make(1, -1);
    m_editor->addItem(1, QStringLiteral("kept.example"), false);
    m_editor->addItem(2, QStringLiteral("gone.example"), true);
    m_editor->addItem(3, QStringLiteral("also-gone.example"), true);
    QSignalSpy cleared(m_editor.get(), &EasyListEdit::cleared);
    QSignalSpy removed(m_editor.get(), &EasyListEdit::itemRemoved);

    QCOMPARE(list()->contextMenuPolicy(), Qt::ActionsContextMenu);
    QCOMPARE(list()->actions().size(), 1);
    QAction *clear = list()->actions().constFirst();
    QCOMPARE(clear->text(), QStringLiteral("Clear list"));
    clear->trigger();
    QCOMPARE(cleared.count(), 1);
    QCOMPARE(removed.count(), 0);
    QCOMPARE(list()->count(), 1);
    QCOMPARE(list()->item(0)->text(), QStringLiteral("kept.example"));
    QCOMPARE(counter(), QStringLiteral("1"));

    m_editor->clear(false);
    QCOMPARE(list()->count(), 0);
    QCOMPARE(cleared.count(), 1);
}

void tst_EasyListEdit::clearListWithoutDeletableRows()
{
    make(0, 5, 2, false);
    QSignalSpy cleared(m_editor.get(), &EasyListEdit::cleared);
    list()->actions().constFirst()->trigger();
    QCOMPARE(cleared.count(), 1);
    QCOMPARE(list()->count(), 2);
}

void tst_EasyListEdit::typedRowCommits()
{
    make(1, -1, 2);
    QSignalSpy added(m_editor.get(), &EasyListEdit::newItem);
    QLineEdit *editor = startTyping();
    QVERIFY(editor);
    // The row to type is there at once, uncounted.
    QCOMPARE(list()->count(), 3);
    QCOMPARE(counter(), QStringLiteral("2"));
    QTest::keyClicks(editor, QStringLiteral("new-site.example"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(added.count(), 1);
    QCOMPARE(added.at(0).at(0).toString(), QStringLiteral("new-site.example"));
    // The row comes back when the owner refills the list from the account.
    QTRY_COMPARE(list()->count(), 2);
    QTRY_VERIFY(addButton()->isEnabled());
}

void tst_EasyListEdit::typedRowCommitsInOtherScripts()
{
    make(1, -1);
    QSignalSpy added(m_editor.get(), &EasyListEdit::newItem);
    QLineEdit *editor = startTyping();
    QVERIFY(editor);
    editor->insert(QStringLiteral("пример.рф"));
    QCOMPARE(editor->text(), QStringLiteral("пример.рф"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(added.count(), 1);
    // Sent in the ASCII form DNS asks for.
    QCOMPARE(added.at(0).at(0).toString(), QStringLiteral("xn--e1afmkfd.xn--p1ai"));
}

void tst_EasyListEdit::nameDnsCannotHoldIsRefused()
{
    make(1, -1);
    QSignalSpy added(m_editor.get(), &EasyListEdit::newItem);
    QLineEdit *editor = startTyping();
    QVERIFY(editor);
    // Five labels of about 50 letters and a top-level domain: every label fits, the whole does not.
    const QString name = QString(51, QLatin1Char('c')) + QLatin1Char('.')
        + QStringList(4, QString(50, QLatin1Char('c'))).join(QLatin1Char('.')) + QLatin1String(".example");
    QCOMPARE(name.size(), 263);
    QTest::keyClicks(editor, name);
    QCOMPARE(editor->text(), name);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(addButton()->isEnabled());
    QCOMPARE(added.count(), 0);
    auto *hint = m_editor->findChild<QLabel *>(QStringLiteral("lblHint"));
    QVERIFY(hint && hint->isVisible());
    QCOMPARE(hint->text(), QStringLiteral("A domain name has at most 253 characters; this one has 263."));
    // The next Add starts afresh.
    QVERIFY(startTyping());
    QVERIFY(hint->isHidden());
}

void tst_EasyListEdit::domainRowRefusesCharacters_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("sent"); // empty: refused, with the reason shown

    QTest::newRow("domain: space and slash") << 1 << "a b/c.example" << QString();
    QTest::newRow("domain: double dot") << 1 << "a..b" << QString();
    QTest::newRow("domain: hyphen and digits") << 1 << "my-site2.example"
                                               << "my-site2.example";
    QTest::newRow("profile name: anything") << 0 << "My kids / 2"
                                            << "My kids / 2";
}

// Every key typed stays in the row; a domain that is none is not sent and the list says why, rather than a name
// made of what was left.
void tst_EasyListEdit::domainRowRefusesCharacters()
{
    QFETCH(int, kind);
    QFETCH(QString, typed);
    QFETCH(QString, sent);

    make(kind, -1);
    QSignalSpy added(m_editor.get(), &EasyListEdit::newItem);
    QLineEdit *editor = startTyping();
    QVERIFY(editor);
    QTest::keyClicks(editor, typed);
    QCOMPARE(editor->text(), typed);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(addButton()->isEnabled());
    auto *hint = m_editor->findChild<QLabel *>(QStringLiteral("lblHint"));
    QVERIFY(hint);
    if (sent.isEmpty()) {
        QCOMPARE(added.count(), 0);
        QVERIFY(hint->isVisible());
        QCOMPARE(hint->text(),
            QStringLiteral("\"%1\" is not a domain name: it may hold letters, digits, hyphens and dots, with something "
                           "between the dots.")
                .arg(typed));
    } else {
        QTRY_COMPARE(added.count(), 1);
        QCOMPARE(added.at(0).at(0).toString(), sent);
        QVERIFY(hint->isHidden());
    }
}

void tst_EasyListEdit::emptyCommitDropsRow()
{
    make(0, -1, 1);
    QSignalSpy added(m_editor.get(), &EasyListEdit::newItem);
    QLineEdit *editor = startTyping();
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(list()->count(), 1);
    QTRY_VERIFY(addButton()->isEnabled());
    QCOMPARE(added.count(), 0);
}

void tst_EasyListEdit::escapeAbandonsRow()
{
    make(1, -1, 1);
    QSignalSpy added(m_editor.get(), &EasyListEdit::newItem);
    QLineEdit *editor = startTyping();
    QVERIFY(editor);
    QTest::keyClicks(editor, QStringLiteral("half"));
    QTest::keyClick(editor, Qt::Key_Escape);
    QTRY_COMPARE(list()->count(), 1);
    QTRY_VERIFY(addButton()->isEnabled());
    QCOMPARE(list()->item(0)->text(), QStringLiteral("site-1.example"));
    QCOMPARE(added.count(), 0);
}

void tst_EasyListEdit::focusLossAbandonsIncompleteRow()
{
    make(1, -1, 1);
    QLineEdit outside(m_editor.get());
    outside.show();
    QSignalSpy added(m_editor.get(), &EasyListEdit::newItem);
    QLineEdit *editor = startTyping();
    QVERIFY(editor);
    QTest::keyClicks(editor, QStringLiteral("example."));
    outside.setFocus();
    QTRY_COMPARE(list()->count(), 1);
    QTRY_VERIFY(addButton()->isEnabled());
    QCOMPARE(added.count(), 0);
}

void tst_EasyListEdit::refillWhileTypingEndsTheEdit()
{
    make(1, 3, 1);
    QVERIFY(startTyping());
    QVERIFY(!addButton()->isEnabled());
    // The owner refills from the account: the typed row goes, and the limit rule decides.
    m_editor->clear(false);
    for (int i = 1; i <= 3; ++i)
        m_editor->addItem(quint32(i), QStringLiteral("refilled-%1.example").arg(i), true);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    QCOMPARE(list()->count(), 3);
    QVERIFY(!addButton()->isEnabled());
    m_editor->clear(false);
    QVERIFY(addButton()->isEnabled());
}

void tst_EasyListEdit::aliasAsksInDialog()
{
    make(2, -1);
    QSignalSpy aliases(m_editor.get(), &EasyListEdit::newAlias);
    QTest::mouseClick(addButton(), Qt::LeftButton);
    auto *dialog = m_editor->findChild<QDialog *>();
    QVERIFY(dialog);
    QTRY_VERIFY(dialog->isVisible());
    auto *form = qobject_cast<QFormLayout *>(dialog->layout());
    QVERIFY(form);
    qobject_cast<QLineEdit *>(form->itemAt(0, QFormLayout::FieldRole)->widget())->setText(QStringLiteral("10.0.0.1"));
    qobject_cast<QLineEdit *>(form->itemAt(1, QFormLayout::FieldRole)->widget())
        ->setText(QStringLiteral("router.example"));
    QPointer<QDialog> guard(dialog);
    dialog->accept();
    QCOMPARE(aliases.count(), 1);
    QCOMPARE(aliases.at(0).at(0).toString(), QStringLiteral("router.example"));
    QCOMPARE(aliases.at(0).at(1).value<QHostAddress>(), QHostAddress(QStringLiteral("10.0.0.1")));
    QCOMPARE(list()->count(), 0);
    QTRY_VERIFY(guard.isNull());

    // Cancelled: nothing reported, the dialog gone just the same.
    QTest::mouseClick(addButton(), Qt::LeftButton);
    guard = m_editor->findChild<QDialog *>();
    QVERIFY(guard);
    guard->reject();
    QTRY_VERIFY(guard.isNull());
    QCOMPARE(aliases.count(), 1);
}

void tst_EasyListEdit::doubleClickReportsId()
{
    make(1, -1, 2);
    QSignalSpy doubled(m_editor.get(), &EasyListEdit::doubleClicked);
    // On the text, with the pointer there: the click before the double click removes nothing.
    const QPoint at = list()->visualItemRect(list()->item(1)).topLeft() + QPoint(20, 8);
    QCursor::setPos(list()->viewport()->mapToGlobal(at));
    // A widget's double click in QTest is the second press alone.
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(doubled.count(), 1);
    QCOMPARE(doubled.at(0).at(0).toUInt(), 12u);
}

void tst_EasyListEdit::loading()
{
    make(1, -1, 1);
    auto *animation = m_editor->findChild<QLabel *>(QStringLiteral("lblLoading"));
    QVERIFY(!animation->isVisible());
    m_editor->startLoading();
    QVERIFY(animation->isVisible());
    QVERIFY(animation->movie());
    QCOMPARE(animation->movie()->state(), QMovie::Running);
    QVERIFY(!addButton()->isVisible());
    QVERIFY(!list()->isEnabled());
    m_editor->stopLoading();
    QVERIFY(!animation->isVisible());
    QCOMPARE(animation->movie()->state(), QMovie::NotRunning);
    QVERIFY(addButton()->isVisible());
    QVERIFY(list()->isEnabled());
}

void tst_EasyListEdit::addButtonTakesNoFocus()
{
    make(1, -1);
    QCOMPARE(addButton()->focusPolicy(), Qt::NoFocus);
}

QTEST_MAIN(tst_EasyListEdit)
#include "tst_easylistedit.moc"
