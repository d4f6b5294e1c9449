#include "filtertest.h"

#include "filter/easylistedit.h"
#include "filter/filterdlg.h"
#include "model/cabinet.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMetaMethod>
#include <QMovie>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTabWidget>
#include <QToolButton>
#include <QTranslator>

using namespace FilterTest;

class tst_FilterDlg : public Suite
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void form();
    void slotsInOrder();
    void okCloses();
    void loading_data();
    void loading();
    void displayCompleteOnLastAnswer();
    void profileBox();
    void choosingReloads();
    void refillKeepsTheEditedProfile();
    void editedProfileLeaves();
    void usingAProfile();
    void errorBox_data();
    void errorBox();
    void failedAddition_data();
    void failedAddition();
    void userInfo_data();
    void userInfo();
    void scheduleHint_data();
    void scheduleHint();
    void noProfile();
    void translationContexts();

private:
    QStringList loadingCalls() const;
};

void tst_FilterDlg::cleanup()
{
    finish();
}

QStringList tst_FilterDlg::loadingCalls() const
{
    QStringList calls;
    const QList<FakeService::Message> messages = m_account->messages({ QStringLiteral("categories"),
        QStringLiteral("userFilter"), QStringLiteral("domains"), QStringLiteral("schedule") });
    for (const FakeService::Message &message : messages)
        calls.append(message.method + QLatin1Char(' ') + message.paramsText);
    return calls;
}

void tst_FilterDlg::form()
{
    QVERIFY(start(FilterTest::script(), false));
    QVERIFY(waitLoaded(m_dialog));
    QCOMPARE(m_dialog->objectName(), QStringLiteral("FilterDlg"));
    QCOMPARE(m_dialog->windowTitle(), QStringLiteral("Filter Settings"));
    QVERIFY(!m_dialog->windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
    QVERIFY(m_dialog->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(m_dialog->palette().color(QPalette::Active, QPalette::Base), QColor(Qt::white));
    QCOMPARE(m_dialog->palette().color(QPalette::Disabled, QPalette::Window), QColor(Qt::white));
    QCOMPARE(tabTexts(m_dialog), (QStringList { "Categories", "Black/White Lists", "Schedule", "Advanced" }));
    QCOMPARE(child<QTabWidget>(m_dialog, "tabWidget")->currentIndex(), 0);
    auto *ok = child<QPushButton>(m_dialog, "pushButton");
    QCOMPARE(ok->text(), QStringLiteral("Ok"));
    QCOMPARE(ok->property("vyrbutton"), QVariant(true));
    auto *use = child<QPushButton>(m_dialog, "pbUseProfile");
    QCOMPARE(use->property("vyrbuttonsmall"), QVariant(true));
    QVERIFY(child<QLabel>(m_dialog, "label")->font().bold());
    QVERIFY(child<QComboBox>(m_dialog, "cmbProfile")->font().bold());
    QVERIFY(!child<QToolButton>(m_dialog, "btnReload")->isVisible());
    QCOMPARE(child<QToolButton>(m_dialog, "btnProfilesSettings")->toolTip(), QStringLiteral("Manage profiles"));

    // Widened, the header keeps its controls at the right and Ok stays at most 150 wide.
    m_dialog->resize(1000, 500);
    QTRY_COMPARE(m_dialog->width(), 1000);
    auto *header = child<QWidget>(m_dialog, "widget");
    auto *profiles = child<QToolButton>(m_dialog, "btnProfilesSettings");
    QTRY_VERIFY(profiles->geometry().right() >= header->width() - 2);
    QVERIFY(child<QLabel>(m_dialog, "label")->x() > header->width() / 2);
    QVERIFY(ok->width() <= 150);
}

void tst_FilterDlg::slotsInOrder()
{
    const QStringList expected { "invalidateSystemInfo()", "invalidateUserInfo()", "reload()", "currentTabChanged()",
        "cabinetRequestFinished()", "cabinet_categoriesUpdated()", "cabinet_userFilterUpdated(uint)",
        "cabinet_whiteListUpdated(uint)", "cabinet_blackListUpdated(uint)", "cabinet_aliasListUpdated(uint)",
        "cabinet_profilesChanged()", "scheduleRequestFinished()", "resizeToContents()", "catChanged(uint,bool)",
        "updateLodingFrame(int)", "domainsCleared()", "newDomain(QString)", "newAlias(QString,QHostAddress)",
        "domainRemoved(uint)", "profileRemoved(uint)", "activateProfile(uint)", "newProfile(QString)",
        "scheduleDayToggled()", "scheduleTimeFromEdited()", "scheduleTimeToEdited()", "scheduleDayChanged()",
        "saveSchedule()", "on_btnProfilesSettings_clicked()", "on_cmbProfile_currentIndexChanged(int)",
        "cabinet_identificationStateChanged()", "checkRpcError()", "on_ckAllowSchedule_clicked()",
        "on_ckWhiteOnly_toggled(bool)", "on_pbUseProfile_clicked()", "on_ckSafeSearch_toggled(bool)",
        "on_ckBlockUnknown_toggled(bool)" };
    const QMetaObject &meta = FilterDlg::staticMetaObject;
    QStringList found;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        QCOMPARE(method.methodType(), QMetaMethod::Slot);
        QCOMPARE(method.access(), QMetaMethod::Private);
        found.append(QString::fromLatin1(method.methodSignature()));
    }
    QCOMPARE(found, expected);
}

void tst_FilterDlg::okCloses()
{
    QVERIFY(start(FilterTest::script(), false));
    QVERIFY(waitLoaded(m_dialog));
    QTest::mouseClick(child<QPushButton>(m_dialog, "pushButton"), Qt::LeftButton);
    QTRY_VERIFY(m_dialog.isNull());
}

void tst_FilterDlg::loading_data()
{
    QTest::addColumn<quint32>("selected");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<bool>("scheduleShown");

    QTest::newRow("scheduled profile") << 2u
                                       << QStringList { "categories ", "userFilter [2]", "domains [2,\"white\"]",
                                              "domains [2,\"black\"]", "domains [2,\"alias\"]", "schedule [2]" }
                                       << true;
    QTest::newRow("default profile") << 1u
                                     << QStringList { "categories ", "userFilter [1]", "domains [1,\"white\"]",
                                            "domains [1,\"black\"]", "domains [1,\"alias\"]" }
                                     << false;
}

void tst_FilterDlg::loading()
{
    QFETCH(quint32, selected);
    QFETCH(QStringList, calls);
    QFETCH(bool, scheduleShown);

    const QVariantMap script = withProfiles(FilterTest::script(), FilterTest::profiles(), selected);
    QVERIFY(start(script, false));
    QVERIFY(waitLoaded(m_dialog));
    QCOMPARE(loadingCalls(), calls);

    // The display is complete: lists, grid, schedule.
    for (int type = 0; type < 3; ++type)
        QCOMPARE(listOf(listEditor(m_dialog, type))->count(), 20);
    QCOMPARE(rowTexts(listEditor(m_dialog, 2)).first(), QStringLiteral("alias-01.example"));
    QVERIFY(child<QScrollArea>(m_dialog, "saCats")->widget()->findChildren<QWidget *>().size() > 7);
    QCOMPARE(tabTexts(m_dialog).contains(QStringLiteral("Schedule")), scheduleShown);
    QCOMPARE(dayBar(m_dialog, 7) != nullptr, scheduleShown);
    QCOMPARE(child<QMovie>(m_dialog, "placeholderAnimation")->state(), QMovie::NotRunning);
}

void tst_FilterDlg::displayCompleteOnLastAnswer()
{
    QVariantMap schedule
        = FilterTest::script().value(QStringLiteral("answers")).toMap().value(QStringLiteral("schedule")).toMap();
    schedule.insert(QStringLiteral("delay"), 400);
    const QVariantMap script = withAnswer(FilterTest::script(), QStringLiteral("schedule"), schedule);
    QVERIFY(start(script, false));

    QTRY_COMPARE(listOf(listEditor(m_dialog, 2))->count(), 20);
    QVERIFY(listOf(listEditor(m_dialog, 2))->isEnabled());
    QVERIFY(!dayBar(m_dialog, 1));
    QCOMPARE(reloadAnimation(m_dialog)->state(), QMovie::Running);
    QTRY_VERIFY(dayBar(m_dialog, 1));
    QCOMPARE(reloadAnimation(m_dialog)->state(), QMovie::NotRunning);
}

void tst_FilterDlg::profileBox()
{
    QVERIFY(start(FilterTest::script(), false));
    QVERIFY(waitLoaded(m_dialog));
    auto *box = child<QComboBox>(m_dialog, "cmbProfile");
    QStringList rows;
    for (int i = 0; i < box->count(); ++i)
        rows.append(box->itemText(i) + QLatin1Char('=') + box->itemData(i).toString());
    // Display order: the default first, then by name.
    QCOMPARE(rows, (QStringList { " Home=1", " Kids (used)=2", " Work=3" }));
    QCOMPARE(box->currentIndex(), 1);
    auto *use = child<QPushButton>(m_dialog, "pbUseProfile");
    QVERIFY(!use->isVisible());
    box->setCurrentIndex(2);
    QVERIFY(use->isVisible());
}

void tst_FilterDlg::choosingReloads()
{
    QVERIFY(start(FilterTest::script(), false));
    QVERIFY(waitLoaded(m_dialog));
    m_account->service()->clearMessages();
    child<QComboBox>(m_dialog, "cmbProfile")->setCurrentIndex(2);
    QVERIFY(waitLoaded(m_dialog));
    QCOMPARE(loadingCalls(),
        (QStringList { "categories ", "userFilter [3]", "domains [3,\"white\"]", "domains [3,\"black\"]",
            "domains [3,\"alias\"]", "schedule [3]" }));
    // Work uses its white list only: in white-list mode the categories go.
    QCOMPARE(tabTexts(m_dialog), (QStringList { "Black/White Lists", "Schedule", "Advanced" }));
    QVERIFY(child<QCheckBox>(m_dialog, "ckWhiteOnly")->isChecked());
}

void tst_FilterDlg::refillKeepsTheEditedProfile()
{
    QVERIFY(start(FilterTest::script(), false));
    QVERIFY(waitLoaded(m_dialog));
    m_account->service()->clearMessages();
    m_account->service()->push(QStringLiteral("setProfiles"), { FilterTest::profiles(), 2 });
    QSignalSpy changed(m_account->cabinet(), &Cabinet::profilesChanged);
    QTRY_COMPARE(changed.count(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(loadingCalls(), QStringList());
    QCOMPARE(child<QComboBox>(m_dialog, "cmbProfile")->currentIndex(), 1);
}

void tst_FilterDlg::editedProfileLeaves()
{
    QVERIFY(start(FilterTest::script(), false));
    QVERIFY(waitLoaded(m_dialog));
    auto *tabs = child<QTabWidget>(m_dialog, "tabWidget");
    tabs->setCurrentWidget(child<QWidget>(m_dialog, "tabSchedule"));
    m_account->service()->clearMessages();

    // Kids leaves the account; Home, the first row, is edited now, and it has no schedule.
    QVariantList list = FilterTest::profiles();
    list.removeAt(1);
    m_account->service()->push(QStringLiteral("setProfiles"), { list, 1 });
    QTRY_COMPARE(child<QComboBox>(m_dialog, "cmbProfile")->count(), 2);
    QVERIFY(waitLoaded(m_dialog));
    QCOMPARE(child<QComboBox>(m_dialog, "cmbProfile")->currentIndex(), 0);
    QCOMPARE(loadingCalls(),
        (QStringList { "categories ", "userFilter [1]", "domains [1,\"white\"]", "domains [1,\"black\"]",
            "domains [1,\"alias\"]" }));
    QCOMPARE(tabTexts(m_dialog), (QStringList { "Categories", "Black/White Lists", "Advanced" }));
    // The Schedule page was current: the categories come first.
    QCOMPARE(tabs->currentWidget(), child<QWidget>(m_dialog, "tabCats"));
}

void tst_FilterDlg::usingAProfile()
{
    QVERIFY(start(FilterTest::script(), false));
    QVERIFY(waitLoaded(m_dialog));
    child<QComboBox>(m_dialog, "cmbProfile")->setCurrentIndex(2);
    QVERIFY(waitLoaded(m_dialog));
    m_account->service()->clearMessages();
    QTest::mouseClick(child<QPushButton>(m_dialog, "pbUseProfile"), Qt::LeftButton);
    QTRY_COMPARE(m_account->service()->messages(QStringLiteral("setProfile")).size(), 1);
    QCOMPARE(m_account->service()->messages(QStringLiteral("setProfile")).at(0).paramsText, QStringLiteral("[3]"));

    // The service reports the new selection: the row reads "used" and the button goes.
    m_account->service()->push(QStringLiteral("setSelectedProfile"), { 3 });
    QTRY_COMPARE(child<QComboBox>(m_dialog, "cmbProfile")->itemText(2), QStringLiteral(" Work (used)"));
    QVERIFY(!child<QPushButton>(m_dialog, "pbUseProfile")->isVisible());
}

void tst_FilterDlg::errorBox_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("details");

    QTest::newRow("with a reason") << 2 << "In the given time filter control is unavailable.\n\nReason: Network timeout"
                                   << "2: slow account service";
    QTest::newRow("without a reason") << 999 << "In the given time filter control is unavailable."
                                      << "999: slow account service";
}

void tst_FilterDlg::errorBox()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QFETCH(QString, details);

    // Two loading calls fail.
    QVariantMap script = withAnswer(
        FilterTest::script(), QStringLiteral("userFilter"), failure(code, QStringLiteral("slow account service")));
    script = withAnswer(script, QStringLiteral("schedule"), failure(code, QStringLiteral("slow account service")));
    QVERIFY(start(script, false));

    QTRY_COMPARE(m_account->service()->messages(QStringLiteral("schedule")).size(), 1);
    QTRY_COMPARE(messageBoxes().size(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(messageBoxes().size(), 1);
    QMessageBox *box = messageBoxes().constFirst();
    QCOMPARE(box->parent(), m_dialog.data());
    QCOMPARE(box->windowTitle(), QStringLiteral("Error"));
    QCOMPARE(box->icon(), QMessageBox::Warning);
    QCOMPARE(box->text(), text);
    QCOMPARE(box->detailedText(), details);
    QCOMPARE(box->standardButtons(), QMessageBox::Close);
    // The dialog stays usable while the box is up.
    QVERIFY(m_dialog->isVisible());

    QTest::mouseClick(box->button(QMessageBox::Close), Qt::LeftButton);
    QTRY_VERIFY(m_dialog.isNull());
}

void tst_FilterDlg::failedAddition_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("text");

    const QString refusal = QStringLiteral("<b>Refused</b> by the account service");
    QTest::newRow("100: the link's own") << 100 << false << QString();
    QTest::newRow("101: the service's") << 101 << true << refusal;
    QTest::newRow("3: no connection") << 3 << false << QString();
    QTest::newRow("1051") << 1051 << true << refusal;
    QTest::newRow("31: the account service out of reach")
        << 31 << true
        << "&quot;refused.example&quot; was not saved: Failed to connect to cabinet: &lt;b&gt;Refused&lt;/b&gt; by "
           "the account service";
}

void tst_FilterDlg::failedAddition()
{
    QFETCH(int, code);
    QFETCH(bool, shown);
    QFETCH(QString, text);

    QVERIFY(start(FilterTest::script(), false));
    QVERIFY(waitLoaded(m_dialog));
    m_account->service()->setAnswer(
        QStringLiteral("addDomain"), failure(code, QStringLiteral("<b>Refused</b> by the account service")));
    QMetaObject::invokeMethod(listEditor(m_dialog, 1), "newItem", Q_ARG(QString, QStringLiteral("refused.example")));
    QTRY_COMPARE(m_account->service()->messages(QStringLiteral("addDomain")).size(), 1);
    QCOMPARE(m_account->service()->messages(QStringLiteral("addDomain")).at(0).paramsText,
        QStringLiteral("[2,\"black\",\"refused.example\",\"\"]"));
    if (!shown) {
        QTest::qWait(0);
        QCoreApplication::processEvents();
        QCOMPARE(messageBoxes().size(), 0);
        return;
    }
    QTRY_COMPARE(messageBoxes().size(), 1);
    QMessageBox *box = messageBoxes().constFirst();
    QCOMPARE(box->parent(), m_dialog.data());
    QCOMPARE(box->windowTitle(), QStringLiteral("Error"));
    QCOMPARE(box->textFormat(), Qt::RichText);
    QCOMPARE(box->text(), text);
    QCOMPARE(box->standardButtons(), QMessageBox::Ok);
    QVERIFY(box->isModal());
    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    QTRY_COMPARE(messageBoxes().size(), 0);
    QVERIFY(m_dialog);
}

void tst_FilterDlg::userInfo_data()
{
    QTest::addColumn<QVariant>("whiteListMode");
    QTest::addColumn<bool>("whiteOptions");

    QTest::newRow("mode 1") << QVariant(1) << true;
    QTest::newRow("mode 2") << QVariant(2) << false;
    QTest::newRow("no mode") << QVariant() << false;
}

void tst_FilterDlg::userInfo()
{
    QFETCH(QVariant, whiteListMode);
    QFETCH(bool, whiteOptions);

    QVERIFY(start(FilterTest::script(), false));
    QVERIFY(waitLoaded(m_dialog));
    Velmor::CabinetUserInfo info = m_account->cabinet()->userInfo();
    if (whiteListMode.isValid())
        info.features.insert(QStringLiteral("white_list_mode"), whiteListMode);
    else
        info.features.remove(QStringLiteral("white_list_mode"));
    info.features.remove(QStringLiteral("black_list_size"));
    m_account->cabinet()->setUserInfo(info);

    auto *tabs = child<QTabWidget>(m_dialog, "tabWidget");
    tabs->setCurrentWidget(child<QWidget>(m_dialog, "tabAdvanced"));
    QCOMPARE(child<QCheckBox>(m_dialog, "ckWhiteOnly")->isVisible(), whiteOptions);
    QCOMPARE(child<QCheckBox>(m_dialog, "ckBlockUnknown")->isVisible(), whiteOptions);
    QVERIFY(child<QCheckBox>(m_dialog, "ckSafeSearch")->isVisible());
    // The Advanced page stays, once, at the end; the limits were read when the dialog was made.
    QCOMPARE(tabTexts(m_dialog), (QStringList { "Categories", "Black/White Lists", "Schedule", "Advanced" }));
    QCOMPARE(tabs->currentWidget(), child<QWidget>(m_dialog, "tabAdvanced"));
    QCOMPARE(child<QLabel>(listEditor(m_dialog, 1), "lblCounter")->text(), QStringLiteral("20/20"));
}

void tst_FilterDlg::scheduleHint_data()
{
    QTest::addColumn<bool>("withDefault");
    QTest::addColumn<QString>("name");

    QTest::newRow("default profile") << true << "Home";
    QTest::newRow("none") << false << QString();
}

void tst_FilterDlg::scheduleHint()
{
    QFETCH(bool, withDefault);
    QFETCH(QString, name);

    QVERIFY(start(FilterTest::script(), false));
    QVERIFY(waitLoaded(m_dialog));
    delete m_dialog;
    if (!withDefault) {
        Velmor::CabinetProfiles profiles = m_account->cabinet()->profiles();
        profiles.remove(1);
        m_account->cabinet()->setProfiles(profiles, 2);
    }
    m_dialog = open(m_account->cabinet());
    QVERIFY(waitLoaded(m_dialog));
    QCOMPARE(child<QLabel>(m_dialog, "lblScheduleHint")->text(),
        QStringLiteral("Use left and right mouse buttons on timetable or set period in appropriate fields.\nCurrent "
                       "profile will be activated on marked periods. All remaining time \u00ab%1\u00bb profile will "
                       "be in use.")
            .arg(name));
    // Without a default profile, the limits and the lists are still those of the account's plan.
    QCOMPARE(child<QLabel>(listEditor(m_dialog, 0), "lblCounter")->text(), QStringLiteral("20/20"));
}

void tst_FilterDlg::noProfile()
{
    QVERIFY(start(withProfiles(FilterTest::script(), QVariantList(), 0), false));
    QVERIFY(waitLoaded(m_dialog));
    // Only the catalogue is asked for; nothing names a profile.
    QCOMPARE(loadingCalls(), (QStringList { "categories ", "categories " }));
    QCOMPARE(child<QComboBox>(m_dialog, "cmbProfile")->count(), 0);
    QVERIFY(!child<QPushButton>(m_dialog, "pbUseProfile")->isVisible());
    QVERIFY(!child<QTabWidget>(m_dialog, "tabWidget")->isEnabled());

    QMetaObject::invokeMethod(listEditor(m_dialog, 0), "newItem", Q_ARG(QString, QStringLiteral("a.example")));
    QMetaObject::invokeMethod(listEditor(m_dialog, 0), "cleared");
    child<QCheckBox>(m_dialog, "ckSafeSearch")->setChecked(true);
    delete m_dialog;
    QCoreApplication::processEvents();
    QCOMPARE(m_account->service()->methods(), (QStringList { "categories", "categories" }));
}

namespace {

// Shows every text as "context|source", so a test sees where a text is looked up.
class MarkingTranslator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *source, const char *, int) const override
    {
        return QLatin1String(context) + QLatin1Char('|') + QString::fromUtf8(source);
    }
};

} // namespace

void tst_FilterDlg::translationContexts()
{
    QVERIFY(start(FilterTest::script(), false));
    QVERIFY(waitLoaded(m_dialog));
    delete m_dialog;
    MarkingTranslator translator;
    QCoreApplication::installTranslator(&translator);
    m_dialog = open(m_account->cabinet());
    QVERIFY(waitLoaded(m_dialog));
    QCoreApplication::removeTranslator(&translator);

    // The forms' texts in the forms' names, the dialog's own in its class.
    QCOMPARE(m_dialog->windowTitle(), QStringLiteral("FilterDlg|Filter Settings"));
    QCOMPARE(tabTexts(m_dialog).first(), QStringLiteral("FilterDlg|Categories"));
    QCOMPARE(child<QPushButton>(listEditor(m_dialog, 0), "btnAdd")->text(), QStringLiteral("DomainsEdit|Add"));
    QCOMPARE(child<QLabel>(listEditor(m_dialog, 0), "lblTitle")->text(), QStringLiteral("FilterDlg|White List"));
    QCOMPARE(
        listOf(listEditor(m_dialog, 0))->actions().constFirst()->text(), QStringLiteral("EasyListEdit|Clear list"));
    QCOMPARE(child<QComboBox>(m_dialog, "cmbProfile")->itemText(1), QStringLiteral(" Kids (FilterDlg|used)"));
}

FILTER_TEST_MAIN(tst_FilterDlg)
#include "tst_filterdlg.moc"
