#include "filterscreenshots.h"

#include "filtertest.h"
#include "widgetpictures.h"

#include "app/agent.h"
#include "filter/adddialog.h"
#include "filter/easylistedit.h"
#include "filter/filterdlg.h"
#include "model/cabinet.h"
#include "platform/timezone.h"

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

#include <cstdio>
#include <functional>

using namespace FilterTest;

namespace {

const QStringList shots = { "filter-categories", "filter-lists", "filter-schedule", "filter-advanced",
    "filter-profiles-editor", "filter-alias-dialog", "filter-error-box", "filter-timezone-box", "filter-aliases-long",
    "filter-alias-refused" };

bool waitFor(const std::function<bool()> &condition)
{
    QDeadlineTimer deadline(10000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QWidget *page(FilterDlg *dialog, const char *name)
{
    return dialog->findChild<QWidget *>(QLatin1String(name));
}

// The working week with a shorter Friday, an evening on Wednesday and an off Saturday morning.
void editSchedule(FilterDlg *dialog)
{
    const auto type = [](QLineEdit *field, const QString &text) {
        field->setText(text);
        Q_EMIT field->editingFinished();
    };
    type(toField(dialog, 5), QStringLiteral("13:30"));
    type(fromField(dialog, 3), QStringLiteral("18:00"));
    type(toField(dialog, 3), QStringLiteral("21:45"));
    dayBox(dialog, 2)->click();
}

} // namespace

QStringList filterPictures(int scale)
{
    QStringList names;
    for (const QString &shot : shots)
        names.append(shot + QStringLiteral("@%1x.png").arg(scale));
    return names;
}

QStringList filterPictures()
{
    return filterPictures(1) + filterPictures(2);
}

int saveFilterPictures(const QString &folder)
{
    // The fixture account's zone, UTC+3: the Schedule page opens without the time-zone box until it is wanted.
    qputenv("TZ", "Etc/GMT-3");
    int saved = 0;
    {
        // Room in the alias list, so its Add button opens the dialog.
        Account account(withFeature(FilterTest::script(), QStringLiteral("aliases_list_size"), 30));
        if (!account.ready())
            return saved;
        QPointer<FilterDlg> dialog = open(account.cabinet());
        if (!waitLoaded(dialog))
            return saved;
        auto *tabs = dialog->findChild<QTabWidget *>(QStringLiteral("tabWidget"));
        tabs->setCurrentWidget(page(dialog, "tabCats"));
        saved += saveAtOwnScale(dialog, folder, QStringLiteral("filter-categories"));
        tabs->setCurrentWidget(page(dialog, "tabDomains"));
        saved += saveAtOwnScale(dialog, folder, QStringLiteral("filter-lists"));
        tabs->setCurrentWidget(page(dialog, "tabSchedule"));
        editSchedule(dialog);
        saved += saveAtOwnScale(dialog, folder, QStringLiteral("filter-schedule"));
        tabs->setCurrentWidget(page(dialog, "tabAdvanced"));
        saved += saveAtOwnScale(dialog, folder, QStringLiteral("filter-advanced"));

        dialog->findChild<QToolButton *>(QStringLiteral("btnProfilesSettings"))->click();
        auto *editor = dialog->findChild<QDialog *>(QStringLiteral("dlgProfileEdit"));
        if (editor && waitFor([editor] { return editor->isVisible(); })) {
            saved += saveAtOwnScale(editor, folder, QStringLiteral("filter-profiles-editor"));
            editor->hide();
        }

        tabs->setCurrentWidget(page(dialog, "tabDomains"));
        listEditor(dialog, 2)->findChild<QPushButton *>(QStringLiteral("btnAdd"))->click();
        auto *alias = dialog->findChild<AddDialog *>();
        if (alias && waitFor([alias] { return alias->isVisible(); })) {
            auto *form = qobject_cast<QFormLayout *>(alias->layout());
            qobject_cast<QLineEdit *>(form->itemAt(0, QFormLayout::FieldRole)->widget())->setText("192.0.2.80");
            qobject_cast<QLineEdit *>(form->itemAt(1, QFormLayout::FieldRole)->widget())->setText("intranet.example");
            saved += saveAtOwnScale(alias, folder, QStringLiteral("filter-alias-dialog"));
            // An address no network has: Ok refuses it and says why.
            qobject_cast<QLineEdit *>(form->itemAt(0, QFormLayout::FieldRole)->widget())->setText("999.1.1.1");
            alias->accept();
            saved += saveAtOwnScale(alias, folder, QStringLiteral("filter-alias-refused"));
            alias->reject();
        }

        // Aliases whose names are longer than the list is wide.
        Velmor::CabinetDomains aliases;
        for (quint32 id = 1; id <= 3; ++id) {
            Velmor::CabinetDomain entry;
            entry.id = id;
            entry.domain = QStringLiteral("alias-0%1.printers-and-cameras.household.example").arg(id);
            entry.ip = QHostAddress(QStringLiteral("192.168.100.%1").arg(200 + id));
            aliases.append(entry);
        }
        account.cabinet()->setDomains(account.cabinet()->selectedProfileId(), 2, aliases);
        saved += saveAtOwnScale(dialog, folder, QStringLiteral("filter-aliases-long"));

        // An account whose zone is an hour off this machine's.
        Velmor::CabinetUserInfo info = account.cabinet()->userInfo();
        info.timeZone = -Velmor::Platform::timeZoneBias() / 60 + 1;
        account.cabinet()->setUserInfo(info);
        tabs->setCurrentWidget(page(dialog, "tabAdvanced"));
        tabs->setCurrentWidget(page(dialog, "tabSchedule"));
        if (waitFor([] { return messageBoxes().size() == 1; })) {
            QMessageBox *box = messageBoxes().constFirst();
            saved += saveAtOwnScale(box, folder, QStringLiteral("filter-timezone-box"));
            box->accept();
        }
        delete dialog;
    }
    {
        Account account(withAnswer(
            FilterTest::script(), QStringLiteral("userFilter"), failure(2, QStringLiteral("account service is slow"))));
        if (!account.ready())
            return saved;
        QPointer<FilterDlg> dialog = open(account.cabinet());
        if (waitFor([] { return messageBoxes().size() == 1; })) {
            QMessageBox *box = messageBoxes().constFirst();
            saved += saveAtOwnScale(box, folder, QStringLiteral("filter-error-box"));
        }
        delete dialog;
    }
    return saved;
}
