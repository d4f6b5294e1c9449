// The Schedule page: a day row per weekday, the edits held until they are saved, and the time-zone check.
#include "filterdlg.h"

#include "refusalhint.h"
#include "scheduletime.h"
#include "schedulewidget.h"
#include "time24validator.h"
#include "timeruler.h"
#include "ui_filterdlg.h"

#include "model/cabinet.h"

#include "platform/timezone.h"

#include "velmorwire/jsonrpccall.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

namespace {

const char dayProperty[] = "day";

QLineEdit *newTimeField(int day, int width, const QString &text)
{
    auto *field = new QLineEdit;
    field->setProperty(dayProperty, day);
    field->setInputMask(QStringLiteral("99:99"));
    field->setValidator(new Time24Validator(field));
    field->setMaximumWidth(width + 10);
    field->setText(text);
    return field;
}

} // namespace

void FilterDlg::scheduleRequestFinished()
{
    auto *call = qobject_cast<Velmor::JsonRPCCall *>(sender());
    if (!call)
        return;
    // The answer for a profile chosen before the current one is no longer wanted.
    const quint32 profileId = call->params().value(0).toUInt();
    if (profileId != m_profileId)
        return;
    m_scheduleLoaded = true;
    checkAllLoaded();
    if (!call->error().isSuccess())
        return;

    Velmor::CabinetSchedule schedule;
    schedule.fromVariant(call->result());
    if (schedule.isEmpty())
        schedule.resize(7);
    // The service may write "7:30"; the fields and every comparison use two-digit hours.
    for (Velmor::CabinetScheduleDay &day : schedule) {
        day.timeFrom = ScheduleTime::normalized(day.timeFrom);
        day.timeTo = ScheduleTime::normalized(day.timeTo);
    }
    m_schedule = schedule;
    m_scheduleProfileId = profileId;
    buildScheduleGrid();
}

void FilterDlg::buildScheduleGrid()
{
    const QList<QWidget *> old = ui->schedWidget->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    qDeleteAll(old);
    delete ui->schedWidget->layout();

    auto *grid = new QGridLayout;
    grid->setSpacing(0);
    const QStringList languages = QLocale::system().uiLanguages();
    const QLocale locale = languages.isEmpty() ? QLocale::system() : QLocale(languages.first());
    const QFontMetrics metrics(ui->schedWidget->font());
    const int fieldWidth = metrics.horizontalAdvance(QStringLiteral("88:88"));
    const int labelWidth = metrics.horizontalAdvance(locale.dayName(1, QLocale::ShortFormat));

    m_scheduleRows.clear();
    grid->addWidget(new TimeRuler, 0, 1);
    for (int i = 1; i <= 7; ++i) {
        const Velmor::CabinetScheduleDay &day = m_schedule.at(i - 1);

        auto *name = new QLabel(locale.dayName(i, QLocale::ShortFormat));
        name->setMinimumWidth(labelWidth + 16);
        name->setMaximumWidth(labelWidth + 16);
        name->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        name->setStyleSheet(QStringLiteral("border:1px solid #888; background-color:%1; border-top-left-radius:10px; "
                                           "border-bottom-left-radius:10px;")
                                .arg(i % 2 == 1 ? QStringLiteral("#eef") : QStringLiteral("#fff")));
        grid->addWidget(name, i, 0);

        auto *bar = new ScheduleWidget;
        bar->setProperty(dayProperty, i);
        bar->setPeriod(day.timeFrom, day.timeTo, day.isProfileOn);
        bar->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Preferred);
        connect(bar, &ScheduleWidget::changed, this, &FilterDlg::scheduleDayChanged);
        grid->addWidget(bar, i, 1);

        auto *on = new QCheckBox;
        on->setProperty(dayProperty, i);
        on->setChecked(day.isProfileOn);
        connect(on, &QCheckBox::toggled, this, &FilterDlg::scheduleDayToggled);
        grid->addWidget(on, i, 2);

        QLineEdit *from = newTimeField(i, fieldWidth, day.timeFrom);
        connect(from, &QLineEdit::editingFinished, this, &FilterDlg::scheduleTimeFromEdited);
        from->installEventFilter(this);
        grid->addWidget(from, i, 3);

        QLineEdit *to = newTimeField(i, fieldWidth, day.timeTo);
        connect(to, &QLineEdit::editingFinished, this, &FilterDlg::scheduleTimeToEdited);
        to->installEventFilter(this);
        grid->addWidget(to, i, 4);

        m_scheduleRows.append(ScheduleRow { bar, from, to, on });
    }
    m_scheduleRefusal = newRefusalHint(QStringLiteral("scheduleRefusal"));
    grid->addWidget(m_scheduleRefusal, 8, 0, 1, 5);
    ui->schedWidget->setLayout(grid);
}

bool FilterDlg::eventFilter(QObject *watched, QEvent *event)
{
    // A field whose text is no time ends its edit without editingFinished(): the end is caught here.
    auto *field = qobject_cast<QLineEdit *>(watched);
    const bool ends = event->type() == QEvent::FocusOut
        || (event->type() == QEvent::KeyPress
            && (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Return
                || static_cast<QKeyEvent *>(event)->key() == Qt::Key_Enter));
    if (field && ends && scheduleDayOf(field) >= 0 && !field->hasAcceptableInput()) {
        refuseScheduleTime(field, field->text());
        // Return would now finish the edit of the time put back, as if it had been typed.
        return event->type() == QEvent::KeyPress;
    }
    return QDialog::eventFilter(watched, event);
}

void FilterDlg::refuseScheduleTime(QLineEdit *field, const QString &typed)
{
    const int i = scheduleDayOf(field);
    if (i < 0)
        return;
    const ScheduleRow &row = m_scheduleRows.at(i);
    const Velmor::CabinetScheduleDay &day = m_schedule.at(i);
    field->setText(field == row.from ? day.timeFrom : day.timeTo);
    if (m_scheduleRefusal) {
        m_scheduleRefusal->setText(
            tr("\"%1\" is not a time of the schedule, which counts from 00:00 to 24:00 in quarter hours; a period "
               "starts at 23:45 at the latest. The time stays as it was.")
                .arg(typed.trimmed()));
        m_scheduleRefusal->show();
    }
}

int FilterDlg::scheduleDayOf(QObject *widget) const
{
    const int index = widget ? widget->property(dayProperty).toInt() - 1 : -1;
    if (index < 0 || index >= m_scheduleRows.size() || index >= m_schedule.size())
        return -1;
    return index;
}

void FilterDlg::scheduleDayToggled()
{
    const int i = scheduleDayOf(sender());
    if (i < 0)
        return;
    const ScheduleRow &row = m_scheduleRows.at(i);
    m_schedule[i].isProfileOn = row.on->isChecked();
    row.bar->on = row.on->isChecked();
    row.bar->update();
    m_saveTimer->start();
}

void FilterDlg::scheduleDayChanged()
{
    const int i = scheduleDayOf(sender());
    if (i < 0)
        return;
    const ScheduleRow &row = m_scheduleRows.at(i);
    // The service cannot start a period at 24:00.
    if (row.bar->from > ScheduleTime::LastStart) {
        row.bar->from = ScheduleTime::LastStart;
        row.bar->update();
    }
    {
        const QSignalBlocker blocker(row.on);
        row.on->setChecked(row.bar->on);
    }
    Velmor::CabinetScheduleDay &day = m_schedule[i];
    day.isProfileOn = row.bar->on;
    day.timeFrom = ScheduleTime::textOf(row.bar->from);
    day.timeTo = ScheduleTime::textOf(row.bar->to);
    row.from->setText(day.timeFrom);
    row.to->setText(day.timeTo);
    m_saveTimer->start();
}

void FilterDlg::scheduleTimeFromEdited()
{
    const int i = scheduleDayOf(sender());
    if (i < 0)
        return;
    const ScheduleRow &row = m_scheduleRows.at(i);
    Velmor::CabinetScheduleDay &day = m_schedule[i];
    const QString text = row.from->text();
    // The time put back after a refusal ends its edit too: nothing changed, and the hint stays.
    if (text == day.timeFrom)
        return;
    const int from = ScheduleTime::quarterOf(text);
    // The service reads a start of 24:00 as 00:00, which would turn an empty day into a full one.
    if (from > ScheduleTime::LastStart) {
        refuseScheduleTime(row.from, text);
        return;
    }
    if (m_scheduleRefusal)
        m_scheduleRefusal->hide();
    day.timeFrom = text;
    row.bar->from = from;
    // Quarters, not texts: "09:00" < "7:30" as text.
    if (ScheduleTime::quarterOf(row.to->text()) < from) {
        row.to->setText(text);
        day.timeTo = text;
        row.bar->to = from;
    }
    row.bar->update();
    m_saveTimer->start();
}

void FilterDlg::scheduleTimeToEdited()
{
    const int i = scheduleDayOf(sender());
    if (i < 0)
        return;
    const ScheduleRow &row = m_scheduleRows.at(i);
    Velmor::CabinetScheduleDay &day = m_schedule[i];
    const QString text = row.to->text();
    if (text == day.timeTo)
        return;
    const int to = ScheduleTime::quarterOf(text);
    if (m_scheduleRefusal)
        m_scheduleRefusal->hide();
    day.timeTo = text;
    row.bar->to = to;
    if (to < ScheduleTime::quarterOf(row.from->text())) {
        row.from->setText(text);
        day.timeFrom = text;
        row.bar->from = to;
    }
    row.bar->update();
    m_saveTimer->start();
}

void FilterDlg::saveSchedule()
{
    m_saveTimer->stop();
    // Held edits go to the profile they were made on, and nowhere when it has left the account.
    if (m_scheduleProfileId == 0 || !m_cabinet->profiles().contains(m_scheduleProfileId))
        return;
    m_cabinet->setSchedule(m_scheduleProfileId, m_schedule);
}

void FilterDlg::currentTabChanged()
{
    QWidget *page = ui->tabWidget->currentWidget();
    // Pages inserted or removed before the current one move its index, not the page the user sees.
    if (page == m_lastTab)
        return;
    if (m_lastTab == ui->tabSchedule && m_saveTimer->isActive())
        saveSchedule();
    m_lastTab = page;
    if (page == ui->tabSchedule)
        checkTimeZone();
}

void FilterDlg::checkTimeZone()
{
    const int bias = Velmor::Platform::timeZoneBias();
    if (qint64(bias) + qint64(m_cabinet->userInfo().timeZone) * 60 == 0)
        return;
    auto *box = new QMessageBox(QMessageBox::Information, tr("Timezone mismatch"),
        tr("Your local timezone does not match with the timezone in schedule settings. In order to make schedule "
           "work properly log in into your personal Velmor cabinet and set matching timezone in account settings."),
        QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Not exec(): tab changes come from inside other steps of this dialog, which may be closed while a nested
    // loop ran.
    box->open();
}
