#ifndef VELMOR_TESTS_FILTERTEST_H
#define VELMOR_TESTS_FILTERTEST_H

#include "consoletest.h"
#include "fakeservice.h"

#include <QPointer>

#include <memory>

class Cabinet;
class EasyListEdit;
class FilterDlg;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QMessageBox;
class QMovie;
class QTabWidget;
class QTimer;
class ScheduleWidget;

// Shared by the filter editor's suites and screenshots.
namespace FilterTest {

// Fusion, the C locale's texts and the time zone UTC+3, set before the application object exists.
void prepareProcess();

// The account of tests/fixtures/console_service/filter.json: Home (1, the default), Kids (2, in use, scheduled)
// and Work (3, white list only); a white-list plan with 20 entries per list and 5 profiles; two category groups
// (ids 2, 5, 6 and 7, 9, 12, 258); the blocked categories 2 and 7; a working-week schedule; and, added here, 20
// entries in each list, answered in the order the editor asks (white, black, aliases) for several loads.
QVariantMap script();
QVariantList domainList(int type, int entries = 20);
QVariantList domainAnswers(int loads = 8);
// The fixture's profile maps, as pushed.
QVariantList profiles();
// The script with these profiles pushed and this one in use (identified by its token when not 0).
QVariantMap withProfiles(QVariantMap script, const QVariantList &profiles, quint32 selected);
// The script with one method answered so.
QVariantMap withAnswer(QVariantMap script, const QString &method, const QVariant &answer);
QVariantMap failure(int code, const QString &message);
// The script with one feature of the plan changed.
QVariantMap withFeature(QVariantMap script, const QString &name, const QVariant &value);

// A desktop program on the fake service with the account, connected and holding the account's profiles.
class Account
{
public:
    explicit Account(const QVariantMap &script = FilterTest::script());
    Q_DISABLE_COPY(Account)

    // Until the desktop holds the pushed account; clears the service's log of the connection's messages.
    bool ready();

    Cabinet *cabinet() const;
    FakeService *service() const { return desktop.service.get(); }
    // The service's messages of these methods, in order.
    QList<FakeService::Message> messages(const QStringList &methods) const;

    ConsoleTest::Desktop desktop;
};

// The account and the dialog of one test. A suite derives from it and calls finish() in its cleanup().
class Suite : public QObject
{
protected:
    // The account on the script and the dialog opened on it; when loaded, after its loading, with the service's
    // log cleared.
    bool start(const QVariantMap &script = FilterTest::script(), bool loaded = true);
    // The dialog, every message box and the account go.
    void finish();
    // The service's messages since, as "method params".
    QStringList sent() const;
    QTabWidget *tabs() const;

    std::unique_ptr<Account> m_account;
    QPointer<FilterDlg> m_dialog;
};

// A shown dialog on the model, as the main window opens it. Deletes itself on close.
FilterDlg *open(Cabinet *cabinet);
// Until every answer of its loading is in.
bool waitLoaded(FilterDlg *dialog);
QMovie *reloadAnimation(FilterDlg *dialog);
QTimer *saveTimer(FilterDlg *dialog);
// 0 white, 1 black, 2 aliases.
EasyListEdit *listEditor(FilterDlg *dialog, int type);
QListWidget *listOf(EasyListEdit *editor);
QStringList rowTexts(EasyListEdit *editor);
// The widgets of a schedule day, 1 = Monday.
ScheduleWidget *dayBar(FilterDlg *dialog, int day);
QCheckBox *dayBox(FilterDlg *dialog, int day);
QLineEdit *fromField(FilterDlg *dialog, int day);
QLineEdit *toField(FilterDlg *dialog, int day);
QStringList tabTexts(FilterDlg *dialog);
// Every message box open now, wherever its parent.
QList<QMessageBox *> messageBoxes();

template<class T>
T *child(QObject *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

} // namespace FilterTest

// A suite on the desktop program with the filter editor's settings.
#define FILTER_TEST_MAIN(TestObject)                                                                                   \
    int main(int argc, char **argv)                                                                                    \
    {                                                                                                                  \
        ConsoleTest::prepareProcess();                                                                                 \
        FilterTest::prepareProcess();                                                                                  \
        QtSingleApplication app(instanceId(), argc, argv);                                                             \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                       \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }

#endif // VELMOR_TESTS_FILTERTEST_H
