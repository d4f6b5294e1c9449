#include "filtertest.h"

#include "filter/filterdlg.h"
#include "filter/scheduletime.h"
#include "filter/schedulewidget.h"
#include "model/cabinet.h"

#include "velmorwire/cabinetschedule.h"
#include "velmorwire/requestmanager.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTimer>

using namespace FilterTest;

namespace {

// Pressed at one x of the bar, moved to another and released there.
void drag(ScheduleWidget *bar, Qt::MouseButton button, int from, int to)
{
    const auto send = [bar, button](QEvent::Type type, int x) {
        QMouseEvent event(type, QPointF(x, 5), bar->mapToGlobal(QPointF(x, 5)),
            type == QEvent::MouseMove ? Qt::NoButton : button,
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button), Qt::NoModifier);
        QCoreApplication::sendEvent(bar, &event);
    };
    send(QEvent::MouseButtonPress, from);
    send(QEvent::MouseMove, to);
    send(QEvent::MouseButtonRelease, to);
}

} // namespace

class tst_FilterDlgSchedule : public Suite
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void fixtureWeek();
    void emptyAnswerIsAWholeWeekOn();
    void dayLabels();
    void oneSavePerBurst();
    void savedOnLeavingThePage();
    void savedOnClosing_data();
    void savedOnClosing();
    void pendingScheduleStaysWithItsProfile_data();
    void pendingScheduleStaysWithItsProfile();
    void lateAnswerOfAnEarlierChoice();
    void noStartAt24_data();
    void noStartAt24();
    void typedMinutesStayAsTyped_data();
    void typedMinutesStayAsTyped();
    void refusedTimeKeepsTheDay_data();
    void refusedTimeKeepsTheDay();
    void serviceTimesTwoDigitHours();
    void periodNeverEndsBeforeItStarts_data();
    void periodNeverEndsBeforeItStarts();
    void dayBoxRepaintsTheBar();
    void barMarksTheRow();
    void timeZone_data();
    void timeZone();
    void keyboard();

private:
    void showSchedule() { tabs()->setCurrentWidget(child<QWidget>(m_dialog, "tabSchedule")); }
    void fireSaveTimer();
    // Types into a time field from its start, then Return.
    void type(QLineEdit *field, const QString &digits);
    QList<FakeService::Message> saves() const { return m_account->service()->messages(QStringLiteral("setSchedule")); }
    // The week of a setSchedule message, day by day as "on from-to".
    static QStringList week(const FakeService::Message &message);
    static QVariantMap dayAnswer(bool on, const QString &from, const QString &to);
};

void tst_FilterDlgSchedule::cleanup()
{
    finish();
}

void tst_FilterDlgSchedule::fireSaveTimer()
{
    // The minute is not waited for: the timer is told its time has come.
    QTimer *timer = saveTimer(m_dialog);
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 60000);
    QVERIFY(timer->isSingleShot());
    QTimerEvent event(timer->timerId());
    QCoreApplication::sendEvent(timer, &event);
}

void tst_FilterDlgSchedule::type(QLineEdit *field, const QString &digits)
{
    field->setFocus();
    field->setCursorPosition(0);
    QTest::keyClicks(field, digits);
    QTest::keyClick(field, Qt::Key_Return);
}

QStringList tst_FilterDlgSchedule::week(const FakeService::Message &message)
{
    QStringList days;
    const QVariantList list = message.params.value(1).toList();
    for (const QVariant &day : list) {
        const QVariantMap map = day.toMap();
        days.append(
            QStringLiteral("%1 %2-%3")
                .arg(map.value(QStringLiteral("is_profile_on")).toBool() ? QStringLiteral("on") : QStringLiteral("off"),
                    map.value(QStringLiteral("time_from")).toString(),
                    map.value(QStringLiteral("time_to")).toString()));
    }
    return days;
}

QVariantMap tst_FilterDlgSchedule::dayAnswer(bool on, const QString &from, const QString &to)
{
    return QVariantMap { { QStringLiteral("is_profile_on"), on }, { QStringLiteral("time_from"), from },
        { QStringLiteral("time_to"), to } };
}

void tst_FilterDlgSchedule::fixtureWeek()
{
    QVERIFY(start());
    QCOMPARE(fromField(m_dialog, 1)->text(), QStringLiteral("08:00"));
    QCOMPARE(toField(m_dialog, 1)->text(), QStringLiteral("17:00"));
    QVERIFY(dayBox(m_dialog, 1)->isChecked());
    QCOMPARE(dayBar(m_dialog, 1)->from, 32);
    QCOMPARE(dayBar(m_dialog, 1)->to, 68);
    QVERIFY(!dayBox(m_dialog, 6)->isChecked());
    QVERIFY(!dayBar(m_dialog, 6)->on);
    QCOMPARE(dayBar(m_dialog, 6)->to, 50);
    QCOMPARE(fromField(m_dialog, 1)->inputMask(), QStringLiteral("99:99"));
    QVERIFY(fromField(m_dialog, 1)->validator());
}

void tst_FilterDlgSchedule::emptyAnswerIsAWholeWeekOn()
{
    QVERIFY(start(withAnswer(FilterTest::script(), QStringLiteral("schedule"),
        QVariantMap { { QStringLiteral("result"), QVariantList() } })));
    for (int day = 1; day <= 7; ++day) {
        QVERIFY(dayBox(m_dialog, day)->isChecked());
        QCOMPARE(fromField(m_dialog, day)->text(), QStringLiteral("00:00"));
        QCOMPARE(toField(m_dialog, day)->text(), QStringLiteral("24:00"));
        QVERIFY(dayBar(m_dialog, day)->on);
        QCOMPARE(dayBar(m_dialog, day)->from, 0);
        QCOMPARE(dayBar(m_dialog, day)->to, 96);
    }
}

void tst_FilterDlgSchedule::dayLabels()
{
    QVERIFY(start());
    auto *grid = qobject_cast<QGridLayout *>(child<QWidget>(m_dialog, "schedWidget")->layout());
    QCOMPARE(grid->spacing(), 0);
    QVERIFY(grid->itemAtPosition(0, 1));
    const QStringList languages = QLocale::system().uiLanguages();
    const QLocale locale = languages.isEmpty() ? QLocale::system() : QLocale(languages.first());
    const int width = QFontMetrics(child<QWidget>(m_dialog, "schedWidget")->font())
                          .horizontalAdvance(locale.dayName(1, QLocale::ShortFormat))
        + 16;
    for (int day = 1; day <= 7; ++day) {
        auto *label = qobject_cast<QLabel *>(grid->itemAtPosition(day, 0)->widget());
        QCOMPARE(label->text(), locale.dayName(day, QLocale::ShortFormat));
        QVERIFY(label->styleSheet().contains(day % 2 ? QStringLiteral("#eef") : QStringLiteral("#fff")));
        QCOMPARE(label->minimumWidth(), width);
        QCOMPARE(label->maximumWidth(), width);
        QCOMPARE(label->alignment(), Qt::AlignRight | Qt::AlignVCenter);
        QCOMPARE(dayBar(m_dialog, day)->property("day").toInt(), day);
        QCOMPARE(fromField(m_dialog, day)->property("day").toInt(), day);
    }
    QCOMPARE(grid->itemAtPosition(1, 0)->widget()->property("text").toString(), QStringLiteral("Mon"));
}

void tst_FilterDlgSchedule::oneSavePerBurst()
{
    QVERIFY(start());
    showSchedule();
    dayBox(m_dialog, 1)->click();
    type(fromField(m_dialog, 2), QStringLiteral("0900"));
    type(toField(m_dialog, 3), QStringLiteral("1800"));
    QCoreApplication::processEvents();
    QCOMPARE(saves().size(), 0);
    fireSaveTimer();
    QTRY_COMPARE(saves().size(), 1);
    QCOMPARE(saves().at(0).params.value(0).toUInt(), 2u);
    QCOMPARE(week(saves().at(0)),
        (QStringList { "off 08:00-17:00", "on 09:00-17:00", "on 08:00-18:00", "on 08:00-17:00", "on 08:00-17:00",
            "off 10:00-12:30", "on 00:00-24:00" }));
    QVERIFY(!saveTimer(m_dialog)->isActive());
    // Nothing more until the next edit.
    tabs()->setCurrentIndex(0);
    QCoreApplication::processEvents();
    QCOMPARE(saves().size(), 1);
}

void tst_FilterDlgSchedule::savedOnLeavingThePage()
{
    QVERIFY(start());
    showSchedule();
    dayBox(m_dialog, 7)->click();
    tabs()->setCurrentWidget(child<QWidget>(m_dialog, "tabAdvanced"));
    QTRY_COMPARE(saves().size(), 1);
    QCOMPARE(week(saves().at(0)).at(6), QStringLiteral("off 00:00-24:00"));
    QVERIFY(!saveTimer(m_dialog)->isActive());
}

void tst_FilterDlgSchedule::savedOnClosing_data()
{
    QTest::addColumn<bool>("byClose");

    QTest::newRow("closed") << true;
    QTest::newRow("deleted") << false;
}

void tst_FilterDlgSchedule::savedOnClosing()
{
    QFETCH(bool, byClose);

    QVERIFY(start());
    showSchedule();
    dayBox(m_dialog, 3)->click();
    if (byClose)
        m_dialog->close();
    else
        delete m_dialog;
    QTRY_VERIFY(m_dialog.isNull());
    QTRY_COMPARE(saves().size(), 1);
    QCOMPARE(week(saves().at(0)).at(2), QStringLiteral("off 08:00-17:00"));
}

void tst_FilterDlgSchedule::pendingScheduleStaysWithItsProfile_data()
{
    QTest::addColumn<bool>("profileLeaves");

    QTest::newRow("another profile chosen") << false;
    QTest::newRow("edited profile leaves") << true;
}

void tst_FilterDlgSchedule::pendingScheduleStaysWithItsProfile()
{
    QFETCH(bool, profileLeaves);

    QVERIFY(start());
    showSchedule();
    dayBox(m_dialog, 5)->click();
    QVERIFY(saveTimer(m_dialog)->isActive());

    if (profileLeaves) {
        QVariantList profiles = FilterTest::profiles();
        profiles.removeAt(1);
        m_account->service()->push(QStringLiteral("setProfiles"), { profiles, 1 });
        QTRY_COMPARE(child<QComboBox>(m_dialog, "cmbProfile")->count(), 2);
    } else {
        auto *box = child<QComboBox>(m_dialog, "cmbProfile");
        box->setCurrentIndex(box->findData(3u));
    }
    QVERIFY(waitLoaded(m_dialog));
    QVERIFY(!saveTimer(m_dialog)->isActive());

    const QList<FakeService::Message> messages = m_account->service()->messages();
    QStringList order;
    for (const FakeService::Message &message : messages)
        order.append(message.method);
    if (profileLeaves) {
        // Kids is gone: its edits go nowhere, and never to Home.
        QCOMPARE(saves().size(), 0);
    } else {
        // Sent under Kids before anything is asked for Work.
        QCOMPARE(saves().size(), 1);
        QCOMPARE(saves().at(0).params.value(0).toUInt(), 2u);
        QCOMPARE(week(saves().at(0)).at(4), QStringLiteral("off 08:00-17:00"));
        QCOMPARE(order.indexOf(QStringLiteral("setSchedule")), 0);
        QVERIFY(order.indexOf(QStringLiteral("userFilter")) > 0);
    }

    // Later page changes and the closing send nothing for the new profile.
    tabs()->setCurrentIndex(0);
    showSchedule();
    tabs()->setCurrentIndex(0);
    delete m_dialog;
    QCoreApplication::processEvents();
    QCOMPARE(saves().size(), profileLeaves ? 0 : 1);
}

void tst_FilterDlgSchedule::lateAnswerOfAnEarlierChoice()
{
    // Kids' week comes late, after Work's: the page keeps Work's.
    const QVariantList late { dayAnswer(false, "01:00", "02:00"), dayAnswer(false, "01:00", "02:00"),
        dayAnswer(false, "01:00", "02:00"), dayAnswer(false, "01:00", "02:00"), dayAnswer(false, "01:00", "02:00"),
        dayAnswer(false, "01:00", "02:00"), dayAnswer(false, "01:00", "02:00") };
    QVariantMap first { { QStringLiteral("result"), late }, { QStringLiteral("delay"), 500 } };
    QVariantMap second = FilterTest::script().value(QStringLiteral("answers")).toMap().value("schedule").toMap();
    m_account = std::make_unique<Account>(
        withAnswer(FilterTest::script(), QStringLiteral("schedule"), QVariantList { first, second }));
    QVERIFY(m_account->ready());
    m_dialog = open(m_account->cabinet());
    auto *box = child<QComboBox>(m_dialog, "cmbProfile");
    box->setCurrentIndex(box->findData(3u));
    QTRY_VERIFY(dayBar(m_dialog, 1));
    QTRY_COMPARE(m_account->service()->messages(QStringLiteral("schedule")).size(), 2);
    QVERIFY(waitLoaded(m_dialog));
    // Every call answered, the late one too.
    QTRY_VERIFY(Velmor::RequestManager::instance()->requests().isEmpty());
    QCoreApplication::processEvents();
    QCOMPARE(fromField(m_dialog, 1)->text(), QStringLiteral("08:00"));
    QVERIFY(dayBox(m_dialog, 1)->isChecked());
}

void tst_FilterDlgSchedule::noStartAt24_data()
{
    QTest::addColumn<bool>("byDrag");

    QTest::newRow("typed") << false;
    QTest::newRow("dragged past the edge") << true;
}

void tst_FilterDlgSchedule::noStartAt24()
{
    QFETCH(bool, byDrag);

    QVERIFY(start());
    showSchedule();
    ScheduleWidget *bar = dayBar(m_dialog, 6);
    if (!byDrag) {
        // Typed, 24:00 is refused: the field keeps the day's start, and nothing is saved.
        const QString before = fromField(m_dialog, 6)->text();
        type(fromField(m_dialog, 6), QStringLiteral("2400"));
        QCOMPARE(fromField(m_dialog, 6)->text(), before);
        QVERIFY(m_dialog->findChild<QLabel *>(QStringLiteral("scheduleRefusal"))->isVisible());
        QVERIFY(!saveTimer(m_dialog)->isActive());
        return;
    }
    // A press on the bar's very edge, dragged further right.
    drag(bar, Qt::LeftButton, bar->width(), bar->width() + 20);
    QCOMPARE(fromField(m_dialog, 6)->text(), QStringLiteral("23:45"));
    QCOMPARE(bar->from, 95);
    fireSaveTimer();
    QTRY_COMPARE(saves().size(), 1);
    const QString day = week(saves().at(0)).at(5);
    QVERIFY2(
        day.endsWith(QStringLiteral(" 23:45-24:00")) || day.endsWith(QStringLiteral(" 23:45-23:45")), qPrintable(day));
    // The service reads every day back as it was sent.
    Velmor::CabinetSchedule read;
    QVERIFY(read.fromVariant(saves().at(0).params.value(1)));
    QCOMPARE(read.toVariant(), saves().at(0).params.value(1));
}

void tst_FilterDlgSchedule::typedMinutesStayAsTyped_data()
{
    QTest::addColumn<bool>("fromSide");
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("sentDay");

    QTest::newRow("from 0915") << true << "0915"
                               << "09:15"
                               << "on 09:15-17:00";
    QTest::newRow("to 2400") << false << "2400"
                             << "24:00"
                             << "on 08:00-24:00";
}

void tst_FilterDlgSchedule::typedMinutesStayAsTyped()
{
    QFETCH(bool, fromSide);
    QFETCH(QString, digits);
    QFETCH(QString, shown);
    QFETCH(QString, sentDay);

    QVERIFY(start());
    showSchedule();
    QLineEdit *field = fromSide ? fromField(m_dialog, 2) : toField(m_dialog, 2);
    type(field, digits);
    QCOMPARE(field->text(), shown);
    fireSaveTimer();
    QTRY_COMPARE(saves().size(), 1);
    QCOMPARE(week(saves().at(0)).at(1), sentDay);
}

void tst_FilterDlgSchedule::refusedTimeKeepsTheDay_data()
{
    QTest::addColumn<bool>("fromSide");
    QTest::addColumn<QString>("digits");
    QTest::addColumn<int>("leaveBy"); // the key that ends the edit
    QTest::addColumn<QString>("shown"); // the field's text afterwards

    QTest::newRow("from 2500, Return") << true << "2500" << int(Qt::Key_Return) << "08:00";
    QTest::newRow("from 2500, Tab") << true << "2500" << int(Qt::Key_Tab) << "08:00";
    QTest::newRow("to 1750") << false << "1750" << int(Qt::Key_Return) << "17:00";
    QTest::newRow("to 2415, Tab") << false << "2415" << int(Qt::Key_Tab) << "17:00";
}

// A time the schedule cannot take is refused where it was typed, with a hint, and the day keeps its time: no other
// time is made of it and saved.
void tst_FilterDlgSchedule::refusedTimeKeepsTheDay()
{
    QFETCH(bool, fromSide);
    QFETCH(QString, digits);
    QFETCH(int, leaveBy);
    QFETCH(QString, shown);

    QVERIFY(start());
    showSchedule();
    m_dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_dialog));
    QLineEdit *field = fromSide ? fromField(m_dialog, 2) : toField(m_dialog, 2);
    field->setFocus();
    QTRY_VERIFY(field->hasFocus());
    field->setCursorPosition(0);
    QTest::keyClicks(field, digits);
    QTest::keyClick(field, Qt::Key(leaveBy));
    QTRY_COMPARE(field->text(), shown);
    auto *hint = m_dialog->findChild<QLabel *>(QStringLiteral("scheduleRefusal"));
    QVERIFY(hint && hint->isVisible());
    QVERIFY2(hint->text().contains(digits.left(2) + QLatin1Char(':') + digits.mid(2)), qPrintable(hint->text()));
    QVERIFY(!saveTimer(m_dialog)->isActive());

    // The next time that fits is taken, and the day goes out with its other end as it was.
    type(fromField(m_dialog, 2), QStringLiteral("0915"));
    QVERIFY(hint->isHidden());
    fireSaveTimer();
    QTRY_COMPARE(saves().size(), 1);
    QCOMPARE(week(saves().at(0)).at(1), QStringLiteral("on 09:15-17:00"));
}

void tst_FilterDlgSchedule::serviceTimesTwoDigitHours()
{
    QVariantList days { dayAnswer(true, "7:30", "9:00") };
    for (int i = 1; i < 7; ++i)
        days.append(dayAnswer(true, "08:00", "17:00"));
    QVERIFY(start(withAnswer(
        FilterTest::script(), QStringLiteral("schedule"), QVariantMap { { QStringLiteral("result"), days } })));
    showSchedule();
    QCOMPARE(fromField(m_dialog, 1)->text(), QStringLiteral("07:30"));
    QCOMPARE(toField(m_dialog, 1)->text(), QStringLiteral("09:00"));
    QCOMPARE(dayBar(m_dialog, 1)->from, 30);
    QCOMPARE(dayBar(m_dialog, 1)->to, 36);

    // "9:00" < "10:00" by quarters, not as text: the end follows the later start.
    type(fromField(m_dialog, 1), QStringLiteral("1000"));
    QCOMPARE(toField(m_dialog, 1)->text(), QStringLiteral("10:00"));
    QCOMPARE(dayBar(m_dialog, 1)->to, 40);
    type(fromField(m_dialog, 2), QStringLiteral("0930"));
    QCOMPARE(toField(m_dialog, 2)->text(), QStringLiteral("17:00"));
    fireSaveTimer();
    QTRY_COMPARE(saves().size(), 1);
    QCOMPARE(week(saves().at(0)).mid(0, 2), (QStringList { "on 10:00-10:00", "on 09:30-17:00" }));
}

void tst_FilterDlgSchedule::periodNeverEndsBeforeItStarts_data()
{
    QTest::addColumn<bool>("fromSide");
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");

    QTest::newRow("from after the end") << true << "1800"
                                        << "18:00"
                                        << "18:00";
    QTest::newRow("to before the start") << false << "0600"
                                         << "06:00"
                                         << "06:00";
    QTest::newRow("from within") << true << "1200"
                                 << "12:00"
                                 << "17:00";
}

void tst_FilterDlgSchedule::periodNeverEndsBeforeItStarts()
{
    QFETCH(bool, fromSide);
    QFETCH(QString, digits);
    QFETCH(QString, from);
    QFETCH(QString, to);

    QVERIFY(start());
    showSchedule();
    type(fromSide ? fromField(m_dialog, 4) : toField(m_dialog, 4), digits);
    QCOMPARE(fromField(m_dialog, 4)->text(), from);
    QCOMPARE(toField(m_dialog, 4)->text(), to);
    QCOMPARE(dayBar(m_dialog, 4)->from, from.left(2).toInt() * 4);
    QCOMPARE(dayBar(m_dialog, 4)->to, to.left(2).toInt() * 4);
}

void tst_FilterDlgSchedule::dayBoxRepaintsTheBar()
{
    QVERIFY(start());
    showSchedule();
    ScheduleWidget *bar = dayBar(m_dialog, 2);
    QTRY_VERIFY(bar->height() > 10);
    QSignalSpy changed(bar, &ScheduleWidget::changed);
    const QColor before = bar->grab().toImage().pixelColor(2, bar->height() / 2);
    dayBox(m_dialog, 2)->click();
    QVERIFY(!bar->on);
    QCOMPARE(changed.count(), 0);
    // Outside the period the off colouring is the gradient now.
    const QColor after = bar->grab().toImage().pixelColor(2, bar->height() / 2);
    QVERIFY(before != after);
    QVERIFY(after.blue() > after.red() + 40);
}

void tst_FilterDlgSchedule::barMarksTheRow()
{
    QVERIFY(start());
    showSchedule();
    ScheduleWidget *bar = dayBar(m_dialog, 1);
    QTRY_VERIFY(bar->width() > 96);
    QSignalSpy toggled(dayBox(m_dialog, 1), &QCheckBox::toggled);
    const int w = bar->width();
    // A right drag over the first half: the profile is off from 00:00 to 12:00.
    drag(bar, Qt::RightButton, 0, w / 2);
    QVERIFY(!dayBox(m_dialog, 1)->isChecked());
    QCOMPARE(toggled.count(), 0);
    QCOMPARE(fromField(m_dialog, 1)->text(), QStringLiteral("00:00"));
    QCOMPARE(toField(m_dialog, 1)->text(), ScheduleTime::textOf(w / 2 * 96 / w));
    fireSaveTimer();
    QTRY_COMPARE(saves().size(), 1);
    QCOMPARE(week(saves().at(0)).at(0), QStringLiteral("off 00:00-%1").arg(ScheduleTime::textOf(w / 2 * 96 / w)));
}

void tst_FilterDlgSchedule::timeZone_data()
{
    QTest::addColumn<int>("tz");
    QTest::addColumn<int>("boxes");

    // The test process is at UTC+3: a Bias of -180.
    QTest::newRow("same zone") << 3 << 0;
    QTest::newRow("other zone") << 2 << 2;
}

void tst_FilterDlgSchedule::timeZone()
{
    QFETCH(int, tz);
    QFETCH(int, boxes);

    QVERIFY(start());
    Velmor::CabinetUserInfo info = m_account->cabinet()->userInfo();
    info.timeZone = tz;
    m_account->cabinet()->setUserInfo(info);
    int shown = 0;
    for (int entry = 0; entry < 2; ++entry) {
        showSchedule();
        if (boxes == 0) {
            QCoreApplication::processEvents();
            QCOMPARE(messageBoxes().size(), 0);
        } else {
            QTRY_COMPARE(messageBoxes().size(), 1);
            QMessageBox *box = messageBoxes().constFirst();
            QCOMPARE(box->windowTitle(), QStringLiteral("Timezone mismatch"));
            QCOMPARE(box->icon(), QMessageBox::Information);
            QVERIFY(box->text().startsWith(QStringLiteral("Your local timezone does not match")));
            QCOMPARE(box->parent(), m_dialog.data());
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
            QTRY_COMPARE(messageBoxes().size(), 0);
            ++shown;
        }
        tabs()->setCurrentIndex(0);
    }
    QCOMPARE(shown, boxes);
}

void tst_FilterDlgSchedule::keyboard()
{
    QVERIFY(start());
    showSchedule();
    m_dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_dialog));
    QLineEdit *from = fromField(m_dialog, 3);
    from->setFocus();
    QTRY_VERIFY(from->hasFocus());
    from->setCursorPosition(0);
    QTest::keyClicks(from, QStringLiteral("1015"));
    QTest::keyClick(from, Qt::Key_Return);
    // Applied at once: the bar follows.
    QCOMPARE(dayBar(m_dialog, 3)->from, 41);
    QVERIFY(saveTimer(m_dialog)->isActive());
    QTest::keyClick(from, Qt::Key_Tab);
    QTRY_VERIFY(toField(m_dialog, 3)->hasFocus());
    // The dialog is still open: Return in a field does not press Ok.
    QVERIFY(m_dialog->isVisible());
}

FILTER_TEST_MAIN(tst_FilterDlgSchedule)
#include "tst_filterdlgschedule.moc"
