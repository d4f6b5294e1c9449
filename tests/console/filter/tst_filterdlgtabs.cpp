#include "filtertest.h"

#include "filter/adddialog.h"
#include "filter/catswitcher.h"
#include "filter/easylistedit.h"
#include "filter/filterdlg.h"
#include "model/cabinet.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QToolTip>

using namespace FilterTest;

class tst_FilterDlgTabs : public Suite
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void updateTabs_data();
    void updateTabs();
    void whiteOnlyBringsCategoriesBack();
    void categoryGrid_data();
    void categoryGrid();
    void gridWaitsForTheFilter();
    void widensOnce();
    void blockedCategories();
    void idsBeyondEightBits();
    void programmaticUpdatesSendNothing();
    void optionsSend_data();
    void optionsSend();
    void listMessages_data();
    void listMessages();
    void listOfAnotherProfile();
    void listRefill();
    void inPlaceRowKeyboard_data();
    void inPlaceRowKeyboard();
    void counterWithoutLimit();
    void addingUpToThePlansLimit_data();
    void addingUpToThePlansLimit();
    void categoryRowsStayTogether();
    void aliasTypedTopToBottom_data();
    void aliasTypedTopToBottom();

private:
    // Each widget of the grid as "row,column,span:text".
    QStringList gridCells() const;
};

void tst_FilterDlgTabs::cleanup()
{
    finish();
}

QStringList tst_FilterDlgTabs::gridCells() const
{
    QStringList cells;
    auto *grid = qobject_cast<QGridLayout *>(child<QScrollArea>(m_dialog, "saCats")->widget()->layout());
    if (!grid)
        return cells;
    for (int i = 0; i < grid->count(); ++i) {
        int row = 0;
        int column = 0;
        int rows = 0;
        int columns = 0;
        grid->getItemPosition(i, &row, &column, &rows, &columns);
        QWidget *widget = grid->itemAt(i)->widget();
        QString text;
        if (auto *label = qobject_cast<QLabel *>(widget))
            text = label->text();
        else if (auto *switcher = qobject_cast<CatSwitcher *>(widget))
            text = QString::number(switcher->id()) + (switcher->isBlocked() ? QStringLiteral("x") : QString());
        cells.append(QStringLiteral("%1,%2,%3:%4").arg(row).arg(column).arg(columns).arg(text));
    }
    return cells;
}

void tst_FilterDlgTabs::updateTabs_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("whiteOnly");
    QTest::addColumn<bool>("isDefault");
    QTest::addColumn<QStringList>("pages");
    // The page current before: the one that goes becomes its neighbour's.
    QTest::addColumn<QString>("currentBefore");
    QTest::addColumn<QString>("currentAfter");

    const QStringList all { "Categories", "Black/White Lists", "Schedule", "Advanced" };
    QTest::newRow("mode, white only, scheduled")
        << 1 << true << false << QStringList { "Black/White Lists", "Schedule", "Advanced" } << "tabCats"
        << "tabDomains";
    QTest::newRow("mode, white only, default")
        << 1 << true << true << QStringList { "Black/White Lists", "Advanced" } << "tabCats"
        << "tabDomains";
    QTest::newRow("mode, all sites, scheduled") << 1 << false << false << all << "tabCats"
                                                << "tabCats";
    QTest::newRow("mode, all sites, default")
        << 1 << false << true << QStringList { "Categories", "Black/White Lists", "Advanced" } << "tabSchedule"
        << "tabCats";
    QTest::newRow("no mode, white only, scheduled") << 0 << true << false << all << "tabCats"
                                                    << "tabCats";
    QTest::newRow("no mode, white only, default")
        << 0 << true << true << QStringList { "Categories", "Black/White Lists", "Advanced" } << "tabSchedule"
        << "tabCats";
    QTest::newRow("no mode, all sites, scheduled") << 0 << false << false << all << "tabAdvanced"
                                                   << "tabAdvanced";
    QTest::newRow("no mode, all sites, default")
        << 0 << false << true << QStringList { "Categories", "Black/White Lists", "Advanced" } << "tabAdvanced"
        << "tabAdvanced";
}

void tst_FilterDlgTabs::updateTabs()
{
    QFETCH(int, mode);
    QFETCH(bool, whiteOnly);
    QFETCH(bool, isDefault);
    QFETCH(QStringList, pages);
    QFETCH(QString, currentBefore);
    QFETCH(QString, currentAfter);

    // Two profiles: Kids, in use and edited, and Other, which the test shapes and then chooses.
    QVariantList profiles = FilterTest::profiles().mid(0, 2);
    QVariantMap other { { QStringLiteral("id"), 9 }, { QStringLiteral("token"), 109 },
        { QStringLiteral("name"), QStringLiteral("Other") }, { QStringLiteral("default"), isDefault },
        { QStringLiteral("is_schedule_enabled"), false }, { QStringLiteral("safe_search_enabled"), false },
        { QStringLiteral("white_list_only"), whiteOnly } };
    if (isDefault) {
        QVariantMap home = profiles.at(0).toMap();
        home.insert(QStringLiteral("default"), false);
        profiles[0] = home;
    }
    profiles.append(other);
    const QVariantMap script
        = withFeature(withProfiles(FilterTest::script(), profiles, 2), QStringLiteral("white_list_mode"), mode);
    QVERIFY(start(script));

    tabs()->setCurrentWidget(child<QWidget>(m_dialog, qPrintable(currentBefore)));
    auto *box = child<QComboBox>(m_dialog, "cmbProfile");
    box->setCurrentIndex(box->findData(9u));
    QVERIFY(waitLoaded(m_dialog));
    QCOMPARE(tabTexts(m_dialog), pages);
    QCOMPARE(tabs()->currentWidget()->objectName(), currentAfter);

    // Back to Kids: every page is there again, Schedule at index 2 or after Advanced when Categories is absent.
    box->setCurrentIndex(box->findData(2u));
    QVERIFY(waitLoaded(m_dialog));
    QCOMPARE(tabTexts(m_dialog).size(), 4);
}

void tst_FilterDlgTabs::whiteOnlyBringsCategoriesBack()
{
    QVERIFY(start());
    auto *box = child<QComboBox>(m_dialog, "cmbProfile");
    box->setCurrentIndex(box->findData(3u));
    QVERIFY(waitLoaded(m_dialog));
    QCOMPARE(tabTexts(m_dialog), (QStringList { "Black/White Lists", "Schedule", "Advanced" }));
    m_account->service()->clearMessages();

    tabs()->setCurrentWidget(child<QWidget>(m_dialog, "tabAdvanced"));
    child<QCheckBox>(m_dialog, "ckWhiteOnly")->click();
    QCOMPARE(tabTexts(m_dialog), (QStringList { "Categories", "Black/White Lists", "Schedule", "Advanced" }));
    QTRY_COMPARE(sent(), QStringList { "setWhiteListOnly [3,false]" });
    QVERIFY(!m_account->cabinet()->profiles().value(3)->whiteListOnly);

    child<QCheckBox>(m_dialog, "ckWhiteOnly")->click();
    QCOMPARE(tabTexts(m_dialog), (QStringList { "Black/White Lists", "Schedule", "Advanced" }));
    QCOMPARE(tabs()->currentWidget(), child<QWidget>(m_dialog, "tabAdvanced"));
}

void tst_FilterDlgTabs::categoryGrid_data()
{
    QTest::addColumn<QVariant>("categories");
    QTest::addColumn<QStringList>("cells");

    const auto category = [](int id) {
        return QVariantMap { { QStringLiteral("id"), id }, { QStringLiteral("title"), QStringLiteral("C%1").arg(id) } };
    };
    const auto group = [](const QString &title, const QVariantList &items) {
        return QVariantMap { { QStringLiteral("title"), title }, { QStringLiteral("items"), items } };
    };
    // A group of three: heading; two switches; the third alone; the next heading on the following row.
    QTest::newRow("three, then one") << QVariant(
        QVariantList { group("A", { category(2), category(3), category(4) }), group("B", { category(7) }) })
                                     << QStringList { "0,0,2:A", "1,0,1:2x", "1,1,1:3", "2,0,1:4", "3,0,2:B",
                                            "4,0,1:7x" };
    // A group without categories shows its heading alone.
    QTest::newRow("empty group") << QVariant(QVariantList { group("A", {}), group("B", { category(5), category(6) }) })
                                 << QStringList { "0,0,2:A", "1,0,2:B", "2,0,1:5", "2,1,1:6" };
}

void tst_FilterDlgTabs::categoryGrid()
{
    QFETCH(QVariant, categories);
    QFETCH(QStringList, cells);

    QVERIFY(start(withAnswer(
        FilterTest::script(), QStringLiteral("categories"), QVariantMap { { QStringLiteral("result"), categories } })));
    QCOMPARE(gridCells(), cells);
    auto *grid = qobject_cast<QGridLayout *>(child<QScrollArea>(m_dialog, "saCats")->widget()->layout());
    QCOMPARE(grid->spacing(), 0);
    auto *heading = qobject_cast<QLabel *>(grid->itemAt(0)->widget());
    QCOMPARE(heading->font().pointSize(), 13);
    QVERIFY(heading->font().bold());
}

void tst_FilterDlgTabs::gridWaitsForTheFilter()
{
    QVariantMap answer { { QStringLiteral("result"), QVariantList { 2, 7 } }, { QStringLiteral("delay"), 300 } };
    m_account = std::make_unique<Account>(withAnswer(FilterTest::script(), QStringLiteral("userFilter"), answer));
    QVERIFY(m_account->ready());
    m_dialog = open(m_account->cabinet());
    QTRY_COMPARE(m_account->service()->messages(QStringLiteral("categories")).size(), 1);
    QTRY_COMPARE(listOf(listEditor(m_dialog, 0))->count(), 20);
    // The catalogue is in, the filter is not: the placeholder stays.
    QVERIFY(gridCells().isEmpty());
    QVERIFY(waitLoaded(m_dialog));
    QCOMPARE(gridCells().size(), 9);
}

void tst_FilterDlgTabs::widensOnce()
{
    // Names too long for two columns in the form's width.
    QVariantList items;
    for (int id = 20; id < 24; ++id) {
        items.append(QVariantMap { { QStringLiteral("id"), id },
            { QStringLiteral("title"), QStringLiteral("A category with a rather long name, number %1").arg(id) } });
    }
    const QVariantList groups { QVariantMap {
        { QStringLiteral("title"), QStringLiteral("Long") }, { QStringLiteral("items"), items } } };
    QVERIFY(start(withAnswer(
        FilterTest::script(), QStringLiteral("categories"), QVariantMap { { QStringLiteral("result"), groups } })));
    auto *area = child<QScrollArea>(m_dialog, "saCats");
    QVERIFY(area->widget()->minimumSizeHint().width() > 639);
    // Widened so both columns fit: the horizontal scroll bar is off.
    QTRY_VERIFY(area->viewport()->width() >= area->widget()->minimumSizeHint().width());
    QVERIFY(m_dialog->width() > 639);
    QCOMPARE(m_dialog->height(), 467);

    // Once: a rebuild, or the user's narrower choice, is left alone.
    m_dialog->resize(700, 467);
    QTRY_COMPARE(m_dialog->width(), 700);
    m_account->cabinet()->setCategories(m_account->cabinet()->cachedCategories());
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(m_dialog->width(), 700);
}

void tst_FilterDlgTabs::blockedCategories()
{
    QVERIFY(start());
    QCOMPARE(gridCells(),
        (QStringList { "0,0,2:Security", "1,0,1:2x", "1,1,1:5", "2,0,1:6", "3,0,2:Content", "4,0,1:7x", "4,1,1:9",
            "5,0,1:12", "5,1,1:258" }));
    QVERIFY(child<QCheckBox>(m_dialog, "ckBlockUnknown")->isChecked());

    // A click on a switch sends its category; the grid stands.
    auto *games = child<QScrollArea>(m_dialog, "saCats")->widget()->findChildren<CatSwitcher *>().at(3);
    QCOMPARE(games->id(), 7u);
    auto *box = games->findChild<QCheckBox *>(QStringLiteral("ckState"));
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    QTRY_COMPARE(sent(), QStringList { "setFilterCat [2,7,false]" });

    // By hand, Block unknown sites is category 2.
    m_account->service()->clearMessages();
    tabs()->setCurrentWidget(child<QWidget>(m_dialog, "tabAdvanced"));
    child<QCheckBox>(m_dialog, "ckBlockUnknown")->click();
    QTRY_COMPARE(sent(), QStringList { "setFilterCat [2,2,false]" });
}

void tst_FilterDlgTabs::idsBeyondEightBits()
{
    QVERIFY(start());
    // 258 would read as 2 in the 8-bit filter, which is blocked.
    const QList<CatSwitcher *> switches
        = child<QScrollArea>(m_dialog, "saCats")->widget()->findChildren<CatSwitcher *>();
    CatSwitcher *video = switches.last();
    QCOMPARE(video->id(), 258u);
    QVERIFY(!video->isBlocked());
    auto *box = video->findChild<QCheckBox *>(QStringLiteral("ckState"));
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    QTRY_COMPARE(sent(), QStringList { "setFilterCat [2,258,true]" });
}

void tst_FilterDlgTabs::programmaticUpdatesSendNothing()
{
    QVERIFY(start());
    // Every check box set from the account, none of it sent back.
    Velmor::CabinetUserFilter filter;
    filter.insert(5);
    m_account->cabinet()->setUserFilter(2, filter);
    QVERIFY(!child<QCheckBox>(m_dialog, "ckBlockUnknown")->isChecked());
    Velmor::CabinetProfiles profiles = m_account->cabinet()->profiles();
    profiles.value(2)->safeSearchEnabled = false;
    profiles.value(2)->scheduleEnabled = false;
    m_account->cabinet()->setProfiles(profiles, 2);
    QVERIFY(!child<QCheckBox>(m_dialog, "ckSafeSearch")->isChecked());
    QVERIFY(!child<QCheckBox>(m_dialog, "ckAllowSchedule")->isChecked());
    m_account->cabinet()->setDomains(2, 1, Velmor::CabinetDomains());
    m_account->cabinet()->setCategories(m_account->cabinet()->cachedCategories());
    QCoreApplication::processEvents();
    QCOMPARE(sent(), QStringList());
}

void tst_FilterDlgTabs::optionsSend_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("message");

    QTest::newRow("safe search") << "ckSafeSearch"
                                 << "tabAdvanced"
                                 << "setSafeSearchEnabled [2,false]";
    QTest::newRow("white only") << "ckWhiteOnly"
                                << "tabAdvanced"
                                << "setWhiteListOnly [2,true]";
    QTest::newRow("schedule") << "ckAllowSchedule"
                              << "tabSchedule"
                              << "setScheduleEnabled [2,false]";
}

void tst_FilterDlgTabs::optionsSend()
{
    QFETCH(QString, box);
    QFETCH(QString, page);
    QFETCH(QString, message);

    QVERIFY(start());
    tabs()->setCurrentWidget(child<QWidget>(m_dialog, qPrintable(page)));
    child<QCheckBox>(m_dialog, qPrintable(box))->click();
    QTRY_COMPARE(sent(), QStringList { message });
}

void tst_FilterDlgTabs::listMessages_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("typeText");

    QTest::newRow("white") << 0 << "white";
    QTest::newRow("black") << 1 << "black";
    QTest::newRow("aliases") << 2 << "alias";
}

void tst_FilterDlgTabs::listMessages()
{
    QFETCH(int, type);
    QFETCH(QString, typeText);

    QVERIFY(start());
    tabs()->setCurrentWidget(child<QWidget>(m_dialog, "tabDomains"));
    EasyListEdit *editor = listEditor(m_dialog, type);

    // Adding: the row comes back with the service's id when the model's list grows.
    m_account->service()->setAnswer(QStringLiteral("addDomain"), QVariantMap { { QStringLiteral("result"), 999 } });
    if (type == 2)
        QMetaObject::invokeMethod(editor, "newAlias", Q_ARG(QString, QStringLiteral("new.example")),
            Q_ARG(QHostAddress, QHostAddress(QStringLiteral("10.0.0.9"))));
    else
        QMetaObject::invokeMethod(editor, "newItem", Q_ARG(QString, QStringLiteral("new.example")));
    QTRY_COMPARE(listOf(editor)->count(), 21);
    QCOMPARE(rowTexts(editor).last(), QStringLiteral("new.example"));
    const QString address = type == 2 ? QStringLiteral("10.0.0.9") : QString();
    QCOMPARE(
        sent(), QStringList { QStringLiteral("addDomain [2,\"%1\",\"new.example\",\"%2\"]").arg(typeText, address) });

    // Removing by the icon: the row goes at once, the model's list too.
    m_account->service()->clearMessages();
    QListWidget *list = listOf(editor);
    const QRect row = list->visualItemRect(list->item(0));
    const QPoint icon(row.right() - 6 - 8, row.top() + 5 + 8);
    QCursor::setPos(list->viewport()->mapToGlobal(icon));
    QTRY_COMPARE(list->viewport()->mapFromGlobal(QCursor::pos()), icon);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, icon);
    QCOMPARE(list->count(), 20);
    const uint firstId = 100 * (type + 1) + 1;
    QTRY_COMPARE(sent(), QStringList { QStringLiteral("removeDomain [2,\"%1\",%2]").arg(typeText).arg(firstId) });
    QCOMPARE(m_account->cabinet()->cachedDomains(2, type).size(), 20);

    // Clearing.
    m_account->service()->clearMessages();
    list->actions().constFirst()->trigger();
    QCOMPARE(list->count(), 0);
    QTRY_COMPARE(sent(), QStringList { QStringLiteral("clearDomains [2,\"%1\"]").arg(typeText) });
}

void tst_FilterDlgTabs::listOfAnotherProfile()
{
    QVERIFY(start());
    Velmor::CabinetDomains other;
    other.append(Velmor::CabinetDomain());
    other.last().id = 5;
    other.last().domain = QStringLiteral("other.example");
    m_account->cabinet()->setDomains(3, 0, other);
    QCOMPARE(listOf(listEditor(m_dialog, 0))->count(), 20);
}

void tst_FilterDlgTabs::listRefill()
{
    QVERIFY(start());
    Velmor::CabinetDomains domains;
    for (quint32 id : { 30u, 10u, 20u }) {
        Velmor::CabinetDomain entry;
        entry.id = id;
        entry.domain = QStringLiteral("d%1.example").arg(id);
        entry.ip = QHostAddress(QStringLiteral("192.0.2.%1").arg(id));
        domains.append(entry);
    }
    m_account->cabinet()->setDomains(2, 2, domains);
    EasyListEdit *aliases = listEditor(m_dialog, 2);
    // In the model's order, every row removable.
    QCOMPARE(rowTexts(aliases), (QStringList { "d30.example", "d10.example", "d20.example" }));
    QListWidget *list = listOf(aliases);
    for (int i = 0; i < list->count(); ++i) {
        QCOMPARE(list->item(i)->data(Qt::UserRole), QVariant(true));
        QCOMPARE(list->item(i)->data(Qt::UserRole + 1).toString(), domains.at(i).ip.toString());
    }
    QCOMPARE(child<QLabel>(aliases, "lblCounter")->text(), QStringLiteral("3/20"));
}

void tst_FilterDlgTabs::inPlaceRowKeyboard_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("Return commits") << int(Qt::Key_Return)
                                    << QStringList { "addDomain [2,\"black\",\"typed.example\",\"\"]" };
    QTest::newRow("Escape abandons") << int(Qt::Key_Escape) << QStringList();
}

void tst_FilterDlgTabs::inPlaceRowKeyboard()
{
    QFETCH(int, key);
    QFETCH(QStringList, messages);

    // Room for one more entry.
    QVERIFY(start(withFeature(FilterTest::script(), QStringLiteral("black_list_size"), 21)));
    tabs()->setCurrentWidget(child<QWidget>(m_dialog, "tabDomains"));
    m_dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_dialog));
    EasyListEdit *black = listEditor(m_dialog, 1);
    auto *add = child<QPushButton>(black, "btnAdd");
    // Taking no focus, the button leaves it with the row being typed.
    QCOMPARE(add->focusPolicy(), Qt::NoFocus);
    QTest::mouseClick(add, Qt::LeftButton);
    auto *editor = listOf(black)->viewport()->findChild<QLineEdit *>();
    QVERIFY(editor);
    QTRY_VERIFY(editor->hasFocus());
    QTest::keyClicks(editor, QStringLiteral("typed.example"));
    QTest::keyClick(editor, Qt::Key(key));
    QTRY_COMPARE(listOf(black)->count(), 20);
    QTRY_VERIFY(add->isEnabled());
    // A later message marks where the key's effect would have arrived.
    listOf(listEditor(m_dialog, 0))->actions().constFirst()->trigger();
    QTRY_COMPARE(sent(), messages + QStringList { "clearDomains [2,\"white\"]" });
    // Neither key reaches the dialog: it stays open.
    QVERIFY(m_dialog && m_dialog->isVisible());
}

// A page taller than the grid: the rows stay together at the top, the spare room below them.
void tst_FilterDlgTabs::categoryRowsStayTogether()
{
    QVERIFY(start());
    tabs()->setCurrentWidget(child<QWidget>(m_dialog, "tabCats"));
    m_dialog->resize(m_dialog->width(), 900);
    QTRY_COMPARE(m_dialog->height(), 900);
    QList<CatSwitcher *> switchers = m_dialog->findChildren<CatSwitcher *>();
    QVERIFY(switchers.size() >= 3);
    QWidget *grid = switchers.first()->parentWidget();
    QTRY_VERIFY(grid->height() >= 600);
    // The first group's first column: one switcher right under the other.
    const CatSwitcher *first = switchers.at(0);
    const CatSwitcher *third = switchers.at(2);
    QCOMPARE(first->x(), third->x());
    const int apart = third->geometry().center().y() - first->geometry().center().y();
    QVERIFY2(apart <= first->sizeHint().height() + 2,
        qPrintable(QStringLiteral("rows %1 pixels apart, each %2 high").arg(apart).arg(first->sizeHint().height())));
}

// The account gives no size for the aliases: the counter shows how many there are, with no limit to reach.
void tst_FilterDlgTabs::counterWithoutLimit()
{
    QVERIFY(start(withFeature(FilterTest::script(), QStringLiteral("aliases_list_size"), QVariant())));
    tabs()->setCurrentWidget(child<QWidget>(m_dialog, "tabDomains"));
    QCOMPARE(child<QLabel>(listEditor(m_dialog, 2), "lblCounter")->text(), QStringLiteral("20"));
    QCOMPARE(child<QLabel>(listEditor(m_dialog, 1), "lblCounter")->text(), QStringLiteral("20/20"));
}

void tst_FilterDlgTabs::addingUpToThePlansLimit_data()
{
    QTest::addColumn<QVariant>("limit"); // the plan's "black_list_size"; invalid: the plan names none
    QTest::addColumn<QString>("counter");
    QTest::addColumn<QString>("why"); // Add's tooltip, empty while Add is offered

    QTest::newRow("no limit named") << QVariant() << "20" << QString();
    QTest::newRow("room left") << QVariant(30) << "20/30" << QString();
    QTest::newRow("full") << QVariant(20) << "20/20"
                          << "The plan allows 20 entries in this list.";
}

// The counter and Add say the same: a plan that names no limit sets none, and a full list says why Add is grey.
void tst_FilterDlgTabs::addingUpToThePlansLimit()
{
    QFETCH(QVariant, limit);
    QFETCH(QString, counter);
    QFETCH(QString, why);

    QVERIFY(start(withFeature(FilterTest::script(), QStringLiteral("black_list_size"), limit)));
    tabs()->setCurrentWidget(child<QWidget>(m_dialog, "tabDomains"));
    m_dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_dialog));
    EasyListEdit *black = listEditor(m_dialog, 1);
    auto *add = child<QPushButton>(black, "btnAdd");
    QCOMPARE(child<QLabel>(black, "lblCounter")->text(), counter);
    QCOMPARE(add->isEnabled(), why.isEmpty());
    QCOMPARE(add->toolTip(), why);
    if (!why.isEmpty()) {
        QHelpEvent hover(QEvent::ToolTip, add->rect().center(), add->mapToGlobal(add->rect().center()));
        QCoreApplication::sendEvent(add, &hover);
        QTRY_COMPARE(QToolTip::text(), why);
        return;
    }
    // Two entries in a row: the first one's row leaves room for the second.
    for (const QString &typed : { QStringLiteral("one.example"), QStringLiteral("two.example") }) {
        QTRY_VERIFY(add->isEnabled());
        QTest::mouseClick(add, Qt::LeftButton);
        auto *editor = listOf(black)->viewport()->findChild<QLineEdit *>();
        QVERIFY(editor);
        QTRY_VERIFY(editor->hasFocus());
        QTest::keyClicks(editor, typed);
        QTest::keyClick(editor, Qt::Key_Return);
    }
    QTRY_COMPARE(sent(),
        (QStringList {
            "addDomain [2,\"black\",\"one.example\",\"\"]", "addDomain [2,\"black\",\"two.example\",\"\"]" }));
    QTRY_VERIFY(add->isEnabled());
}

void tst_FilterDlgTabs::aliasTypedTopToBottom_data()
{
    // Typed in the order the form shows them, each into the field that has the focus; Tab between the two.
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("address, then domain")
        << "10.0.0.5"
        << "alias.example" << QStringList { "addDomain [2,\"alias\",\"alias.example\",\"10.0.0.5\"]" };
    QTest::newRow("an address as the domain") << "10.0.0.5"
                                              << "10.0.0.6" << QStringList();
    QTest::newRow("part of an address as the domain") << "10.0.0.5"
                                                      << "10.0.0" << QStringList();
    QTest::newRow("a number as the domain") << "10.0.0.5"
                                            << "10" << QStringList();
    QTest::newRow("digits in a real domain")
        << "10.0.0.5"
        << "123.example" << QStringList { "addDomain [2,\"alias\",\"123.example\",\"10.0.0.5\"]" };
}

void tst_FilterDlgTabs::aliasTypedTopToBottom()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QStringList, messages);

    QVERIFY(start(withFeature(FilterTest::script(), QStringLiteral("aliases_list_size"), 21)));
    tabs()->setCurrentWidget(child<QWidget>(m_dialog, "tabDomains"));
    m_dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_dialog));
    m_account->service()->setAnswer(QStringLiteral("addDomain"), QVariantMap { { QStringLiteral("result"), 999 } });
    QTest::mouseClick(child<QPushButton>(listEditor(m_dialog, 2), "btnAdd"), Qt::LeftButton);
    QPointer<AddDialog> dialog = m_dialog->findChild<AddDialog *>();
    QVERIFY(dialog);
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    QTRY_VERIFY(QApplication::focusWidget() && QApplication::focusWidget()->window() == dialog);
    QWidget *top = QApplication::focusWidget();
    QTest::keyClicks(top, first);
    QTest::keyClick(top, Qt::Key_Tab);
    QTRY_VERIFY(QApplication::focusWidget() != top);
    QWidget *below = QApplication::focusWidget();
    QTest::keyClicks(below, second);
    QTest::keyClick(below, Qt::Key_Return);
    // The fields were typed top to bottom: what shows above is the address.
    auto *form = qobject_cast<QFormLayout *>(dialog ? dialog->layout() : nullptr);
    if (!messages.isEmpty()) {
        QTRY_COMPARE(sent(), messages);
        QTRY_VERIFY(dialog.isNull());
        return;
    }
    // Refused: the dialog stays with the focus on the domain, and nothing goes out.
    QVERIFY(dialog && dialog->isVisible());
    QVERIFY(form);
    QCOMPARE(qobject_cast<QLineEdit *>(form->itemAt(0, QFormLayout::FieldRole)->widget())->text(), first);
    QCOMPARE(QApplication::focusWidget(), form->itemAt(1, QFormLayout::FieldRole)->widget());
    listOf(listEditor(m_dialog, 0))->actions().constFirst()->trigger();
    QTRY_COMPARE(sent(), QStringList { "clearDomains [2,\"white\"]" });
    dialog->reject();
}

FILTER_TEST_MAIN(tst_FilterDlgTabs)
#include "tst_filterdlgtabs.moc"
