#include "filtertest.h"

#include "app/agent.h"
#include "filter/easylistedit.h"
#include "filter/filterdlg.h"
#include "filter/schedulewidget.h"
#include "model/cabinet.h"

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QGridLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMovie>
#include <QTabWidget>
#include <QTimer>

namespace FilterTest {

void prepareProcess()
{
    qputenv("QT_STYLE_OVERRIDE", "Fusion");
    qputenv("LANG", "C");
    qputenv("LC_ALL", "C");
    qputenv("TZ", "Etc/GMT-3");
}

QVariantList domainList(int type, int entries)
{
    static const char *const prefixes[] = { "allowed", "blocked", "alias" };
    QVariantList list;
    for (int i = 1; i <= entries; ++i) {
        QVariantMap entry { { QStringLiteral("id"), uint(100 * (type + 1) + i) },
            { QStringLiteral("domain"),
                QStringLiteral("%1-%2.example").arg(QLatin1String(prefixes[type])).arg(i, 2, 10, QLatin1Char('0')) } };
        if (type == 2)
            entry.insert(QStringLiteral("ip"), QStringLiteral("192.0.2.%1").arg(i));
        list.append(entry);
    }
    return list;
}

QVariantList domainAnswers(int loads)
{
    QVariantList answers;
    for (int load = 0; load < loads; ++load) {
        for (int type = 0; type < 3; ++type)
            answers.append(QVariantMap { { QStringLiteral("result"), domainList(type) } });
    }
    return answers;
}

QVariantMap script()
{
    QVariantMap script = ConsoleTest::script(QStringLiteral("filter"));
    QVariantMap answers = script.value(QStringLiteral("answers")).toMap();
    answers.insert(QStringLiteral("domains"), domainAnswers());
    script.insert(QStringLiteral("answers"), answers);
    return script;
}

QVariantList profiles()
{
    const QVariantList push = ConsoleTest::script(QStringLiteral("filter")).value(QStringLiteral("push")).toList();
    for (const QVariant &notification : push) {
        if (notification.toList().value(0).toString() == QLatin1String("setProfiles"))
            return notification.toList().value(1).toList().value(0).toList();
    }
    return QVariantList();
}

QVariantMap withProfiles(QVariantMap script, const QVariantList &profiles, quint32 selected)
{
    script = ConsoleTest::withPush(script, QStringLiteral("setProfiles"), QVariantList { profiles, selected });
    if (selected == 0) {
        script = ConsoleTest::withPush(script, QStringLiteral("setProfileScheduleActivity"), QVariant());
        return ConsoleTest::withPush(
            script, QStringLiteral("setIdentification"), QVariantList { 0, QStringLiteral("192.0.2.10") });
    }
    script
        = ConsoleTest::withPush(script, QStringLiteral("setProfileScheduleActivity"), QVariantList { selected, true });
    return ConsoleTest::withPush(script, QStringLiteral("setIdentification"), QVariantList { 1, selected });
}

QVariantMap withAnswer(QVariantMap script, const QString &method, const QVariant &answer)
{
    QVariantMap answers = script.value(QStringLiteral("answers")).toMap();
    answers.insert(method, answer);
    script.insert(QStringLiteral("answers"), answers);
    return script;
}

QVariantMap failure(int code, const QString &message)
{
    return QVariantMap { { QStringLiteral("error"),
        QVariantMap { { QStringLiteral("code"), code }, { QStringLiteral("message"), message } } } };
}

QVariantMap withFeature(QVariantMap script, const QString &name, const QVariant &value)
{
    QVariantList push = script.value(QStringLiteral("push")).toList();
    for (QVariant &notification : push) {
        const QVariantList parts = notification.toList();
        if (parts.value(0).toString() != QLatin1String("setUserInfo"))
            continue;
        QVariantMap info = parts.at(1).toList().value(0).toMap();
        QVariantMap features = info.value(QStringLiteral("features")).toMap();
        features.insert(name, value);
        info.insert(QStringLiteral("features"), features);
        notification = QVariantList { parts.at(0), QVariantList { info } };
    }
    script.insert(QStringLiteral("push"), push);
    return script;
}

Account::Account(const QVariantMap &script)
    : desktop(script, true)
{ }

bool Account::ready()
{
    QDeadlineTimer deadline(10000);
    while (!cabinet()->isIdentified() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    service()->clearMessages();
    return cabinet()->isIdentified();
}

Cabinet *Account::cabinet() const
{
    return desktop.agent->cabinet();
}

QList<FakeService::Message> Account::messages(const QStringList &methods) const
{
    QList<FakeService::Message> found;
    const QList<FakeService::Message> all = service()->messages();
    for (const FakeService::Message &message : all) {
        if (methods.contains(message.method))
            found.append(message);
    }
    return found;
}

bool Suite::start(const QVariantMap &script, bool loaded)
{
    m_account = std::make_unique<Account>(script);
    if (!m_account->ready())
        return false;
    m_dialog = open(m_account->cabinet());
    if (!loaded)
        return true;
    if (!waitLoaded(m_dialog))
        return false;
    m_account->service()->clearMessages();
    return true;
}

void Suite::finish()
{
    delete m_dialog;
    qDeleteAll(messageBoxes());
    m_account.reset();
}

QStringList Suite::sent() const
{
    QStringList messages;
    const QList<FakeService::Message> all = m_account->service()->messages();
    for (const FakeService::Message &message : all)
        messages.append(message.method + QLatin1Char(' ') + message.paramsText);
    return messages;
}

QTabWidget *Suite::tabs() const
{
    return child<QTabWidget>(m_dialog, "tabWidget");
}

FilterDlg *open(Cabinet *cabinet)
{
    auto *dialog = new FilterDlg(cabinet, nullptr);
    dialog->show();
    return dialog;
}

QMovie *reloadAnimation(FilterDlg *dialog)
{
    return child<QMovie>(dialog, "reloadAnimation");
}

bool waitLoaded(FilterDlg *dialog)
{
    QPointer<FilterDlg> guard(dialog);
    QDeadlineTimer deadline(10000);
    while (guard && reloadAnimation(dialog)->state() != QMovie::NotRunning && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    // Let the answers' own follow-ups (a grid's first resize) run too.
    QCoreApplication::processEvents();
    return guard && reloadAnimation(dialog)->state() == QMovie::NotRunning;
}

QTimer *saveTimer(FilterDlg *dialog)
{
    return child<QTimer>(dialog, "scheduleSaveTimer");
}

EasyListEdit *listEditor(FilterDlg *dialog, int type)
{
    QWidget *lists = child<QWidget>(dialog, "domainsWidget");
    return qobject_cast<EasyListEdit *>(lists->layout()->itemAt(type)->widget());
}

QListWidget *listOf(EasyListEdit *editor)
{
    return child<QListWidget>(editor, "lstDomains");
}

QStringList rowTexts(EasyListEdit *editor)
{
    QStringList texts;
    QListWidget *list = listOf(editor);
    for (int i = 0; i < list->count(); ++i)
        texts.append(list->item(i)->text());
    return texts;
}

namespace {

QWidget *scheduleCell(FilterDlg *dialog, int day, int column)
{
    auto *grid = qobject_cast<QGridLayout *>(child<QWidget>(dialog, "schedWidget")->layout());
    QLayoutItem *item = grid ? grid->itemAtPosition(day, column) : nullptr;
    return item ? item->widget() : nullptr;
}

} // namespace

ScheduleWidget *dayBar(FilterDlg *dialog, int day)
{
    return qobject_cast<ScheduleWidget *>(scheduleCell(dialog, day, 1));
}

QCheckBox *dayBox(FilterDlg *dialog, int day)
{
    return qobject_cast<QCheckBox *>(scheduleCell(dialog, day, 2));
}

QLineEdit *fromField(FilterDlg *dialog, int day)
{
    return qobject_cast<QLineEdit *>(scheduleCell(dialog, day, 3));
}

QLineEdit *toField(FilterDlg *dialog, int day)
{
    return qobject_cast<QLineEdit *>(scheduleCell(dialog, day, 4));
}

QStringList tabTexts(FilterDlg *dialog)
{
    auto *tabs = child<QTabWidget>(dialog, "tabWidget");
    QStringList texts;
    for (int i = 0; i < tabs->count(); ++i)
        texts.append(tabs->tabText(i));
    return texts;
}

QList<QMessageBox *> messageBoxes()
{
    QList<QMessageBox *> boxes;
    const QWidgetList widgets = QApplication::allWidgets();
    for (QWidget *widget : widgets) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (box && box->isVisible())
            boxes.append(box);
    }
    return boxes;
}

} // namespace FilterTest
