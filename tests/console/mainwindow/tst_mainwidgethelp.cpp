#include "fakeservice.h"
#include "mainwindowtest.h"
#include "vendorsitefixture.h"

#include "app/agent.h"
#include "mainwindow/mainwidget.h"
#include "mainwindow/slidingstackedwidget.h"
#include "mainwindow/updatedialog.h"
#include "model/appupdater.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkReply>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>
#include <QToolTip>

#include <algorithm>

using MainWindowTest::child;

// The help page as a person uses it: the "system info" link starts the report and the update icon the updater's
// check, clicked with the mouse where the page draws them, against the fake service that logs every message and
// the vendor's test site.
class tst_MainWidgetHelp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void reportLink();
    void updateIcon_data();
    void updateIcon();
    void failedCheckAfterDeclinedOffer();
    void eachClickChecksOnce();
    void checkBoxReachesTheUpdater();
    void rowsInOneColumn();
    void evenRowSpacing_data();
    void evenRowSpacing();
    void updateIconSaysWhatItDoes();

private:
    MainWidget *window() const { return m_desktop->agent->mainWidget(); }
    // A desktop whose start-up check found nothing newer, its window shown on the help page.
    void showHelpPage(const QVariantMap &script);
    void clickLink(const char *label, const QString &link);

    std::unique_ptr<VendorSiteFixture> m_site;
    std::unique_ptr<ConsoleTest::Desktop> m_desktop;
};

void tst_MainWidgetHelp::initTestCase()
{
    MainWindowTest::failOnConnectionWarnings();
    m_site = std::make_unique<VendorSiteFixture>();
    QVERIFY(m_site->isRunning());
}

void tst_MainWidgetHelp::cleanup()
{
    m_desktop.reset();
}

void tst_MainWidgetHelp::showHelpPage(const QVariantMap &script)
{
    m_site->setConfig(QJsonObject {
        { "routes", QJsonObject { { "/downloads/agent.version", QJsonObject { { "body", "2.3.63.4\n" } } } } } });
    m_site->clearLog();
    m_desktop = MainWindowTest::desktopIn(ServiceStatus::Protected, script);
    QCOMPARE(m_desktop->agent->status()->state(), int(ServiceStatus::Protected));
    QTRY_COMPARE(m_site->requests().size(), 1);
    AppUpdater *updater = m_desktop->agent->updater();
    // The start-up check has ended once its reply is gone.
    QTRY_VERIFY(updater->findChildren<QNetworkReply *>().isEmpty());
    m_site->clearLog();
    window()->show();
    QVERIFY(QTest::qWaitForWindowExposed(window()));
    MainWindowTest::stack(window())->setCurrentWidget(child<QWidget>(window(), "helpPage"));
    QCOMPARE(MainWindowTest::page(window()), QStringLiteral("helpPage"));
}

void tst_MainWidgetHelp::clickLink(const char *label, const QString &link)
{
    auto target = child<QLabel>(window(), label);
    const QPoint at = MainWindowTest::linkPoint(target, link);
    QVERIFY2(at.x() >= 0, label);
    QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, at);
}

// The pointer resting on the update picture tells what a click does; a screen reader reads the same.
void tst_MainWidgetHelp::updateIconSaysWhatItDoes()
{
    showHelpPage(ConsoleTest::script(QStringLiteral("protected")));
    auto icon = child<QLabel>(window(), "lblUpdateAppIcon");
    const QPoint at = MainWindowTest::linkPoint(icon, QStringLiteral("#"));
    QVERIFY(at.x() >= 0);
    QHelpEvent hover(QEvent::ToolTip, at, icon->mapToGlobal(at));
    QCoreApplication::sendEvent(icon, &hover);
    QTRY_COMPARE(QToolTip::text(), QStringLiteral("Check for a new version"));
    QToolTip::hideText();
    QCOMPARE(icon->accessibleName(), QStringLiteral("Check for a new version"));
}

void tst_MainWidgetHelp::reportLink()
{
    showHelpPage(
        MainWindowTest::withAnswer(ConsoleTest::script(QStringLiteral("protected")), QStringLiteral("systemInfo"),
            QVariantMap {
                { QStringLiteral("delay"), 300 }, { QStringLiteral("result"), QStringLiteral("Local DNS: x\n") } }));
    FakeService *service = m_desktop->service.get();
    service->clearMessages();

    // The wait box while the service works, then the report dialog with the service's half at its end.
    bool waitBoxSeen = false;
    QString report;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal->objectName() == QLatin1String("SystemReportWaitBox"))
            waitBoxSeen = true;
        if (modal && modal->objectName() == QLatin1String("SystemReportDlg")) {
            report = modal->findChild<QPlainTextEdit *>(QStringLiteral("pteLog"))->toPlainText();
            static_cast<QDialog *>(modal)->accept();
        }
    });
    watch.start(10);
    clickLink("lblHelpHint", QStringLiteral("agent:systeminforeport"));
    QTRY_VERIFY(!report.isEmpty());
    QVERIFY(waitBoxSeen);
    QVERIFY2(report.startsWith(QLatin1String("Agent version: 2.3.63.4\n")), qPrintable(report));
    QVERIFY2(report.endsWith(QLatin1String("\nLocal DNS: x\n")), qPrintable(report));
    QCOMPARE(service->messages(QStringLiteral("systemInfo")).size(), 1);
    QVERIFY(service->messages(QStringLiteral("systemInfo")).constFirst().params.isEmpty());
    QTRY_VERIFY(window()->findChildren<QMessageBox *>(QStringLiteral("SystemReportWaitBox")).isEmpty());
}

void tst_MainWidgetHelp::updateIcon_data()
{
    QTest::addColumn<QJsonObject>("versionFile");
    QTest::addColumn<bool>("offered");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("text");
    QTest::newRow("a newer version: the updater's dialog")
        << QJsonObject { { "body", "2.4\nFaster.\n" } } << true << 0 << QString();
    QTest::newRow("the same version: a balloon") << QJsonObject { { "body", "2.3.63.4\n" } } << false
                                                 << int(QSystemTrayIcon::Information) << "No new versions available";
    QTest::newRow("a failed check: says it failed")
        << QJsonObject { { "status", 500 }, { "reason", "Internal Server Error" } } << false
        << int(QSystemTrayIcon::Warning)
        << "Could not check for new versions: The server answered 500 Internal Server Error";
}

void tst_MainWidgetHelp::updateIcon()
{
    QFETCH(QJsonObject, versionFile);
    QFETCH(bool, offered);
    QFETCH(int, icon);
    QFETCH(QString, text);
    showHelpPage(ConsoleTest::script(QStringLiteral("protected")));
    m_site->setConfig(QJsonObject { { "routes", QJsonObject { { "/downloads/agent.version", versionFile } } } });
    AppUpdater *updater = m_desktop->agent->updater();
    QSignalSpy finished(updater, &AppUpdater::checkFinished);
    QSignalSpy shown(m_desktop->agent.get(), &Agent::messageShown);

    clickLink("lblUpdateAppIcon", QStringLiteral("#"));
    QVERIFY(finished.wait(20000));
    QCOMPARE(m_site->requests().size(), 1);
    QCOMPARE(m_site->requests().constFirst().value(QLatin1String("path")).toString(),
        QStringLiteral("/downloads/agent.version"));
    if (offered) {
        QVERIFY(m_desktop->agent->updateDialog());
        QTRY_VERIFY(m_desktop->agent->updateDialog()->isVisible());
        QCOMPARE(shown.size(), 0);
    } else {
        QVERIFY(!m_desktop->agent->updateDialog());
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.constFirst().at(0).toInt(), icon);
        QCOMPARE(shown.constFirst().at(2).toString(), text);
    }
}

// A declined offer leaves the newer version known; the next check that fails still says so.
void tst_MainWidgetHelp::failedCheckAfterDeclinedOffer()
{
    showHelpPage(ConsoleTest::script(QStringLiteral("protected")));
    m_site->setConfig(QJsonObject {
        { "routes", QJsonObject { { "/downloads/agent.version", QJsonObject { { "body", "2.4\n" } } } } } });
    AppUpdater *updater = m_desktop->agent->updater();
    QSignalSpy finished(updater, &AppUpdater::checkFinished);
    QSignalSpy shown(m_desktop->agent.get(), &Agent::messageShown);
    clickLink("lblUpdateAppIcon", QStringLiteral("#"));
    QVERIFY(finished.wait(20000));
    QPointer<UpdateDialog> dialog = m_desktop->agent->updateDialog();
    QVERIFY(dialog);
    QTRY_VERIFY(dialog->isVisible());
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->click();
    QTRY_VERIFY(dialog.isNull() || !dialog->isVisible());

    m_site->setConfig(QJsonObject { { "routes",
        QJsonObject { { "/downloads/agent.version", QJsonObject { { "status", 503 }, { "reason", "Away" } } } } } });
    clickLink("lblUpdateAppIcon", QStringLiteral("#"));
    QVERIFY(finished.wait(20000));
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.constFirst().at(2).toString(),
        QStringLiteral("Could not check for new versions: The server answered 503 Away"));
}

void tst_MainWidgetHelp::eachClickChecksOnce()
{
    // The window listens to the updater for one check per click: a check the updater makes on its own (as at
    // start) tells the window nothing.
    showHelpPage(ConsoleTest::script(QStringLiteral("protected")));
    AppUpdater *updater = m_desktop->agent->updater();
    QSignalSpy finished(updater, &AppUpdater::checkFinished);
    QSignalSpy shown(m_desktop->agent.get(), &Agent::messageShown);
    for (int click = 1; click <= 2; ++click) {
        clickLink("lblUpdateAppIcon", QStringLiteral("#"));
        QVERIFY(finished.wait(20000));
        QCOMPARE(shown.size(), click);
    }
    updater->check();
    QVERIFY(finished.wait(20000));
    QCOMPARE(m_site->requests().size(), 3);
    QCOMPARE(shown.size(), 2);
}

void tst_MainWidgetHelp::evenRowSpacing_data()
{
    QTest::addColumn<bool>("phone");
    QTest::newRow("phone row hidden") << false;
    // As a build with a support number shows it.
    QTest::newRow("phone row shown") << true;
}

// The help page's rows stand at even distances from each other, whether or not the phone row is there.
void tst_MainWidgetHelp::evenRowSpacing()
{
    QFETCH(bool, phone);
    showHelpPage(ConsoleTest::script(QStringLiteral("protected")));
    QVERIFY(QTest::qWaitForWindowExposed(window()));
    if (phone) {
        child<QLabel>(window(), "lblPhone")->setText(QStringLiteral("+1 555 0100"));
        child<QLabel>(window(), "lblPhoneLabel")->show();
        child<QLabel>(window(), "lblPhone")->show();
    }
    QList<QLabel *> rows { child<QLabel>(window(), "lblSiteLabel") };
    if (phone)
        rows.append(child<QLabel>(window(), "lblPhoneLabel"));
    for (const char *name : { "lblUsersInstruction", "lblEmail", "lblHelpHint" })
        rows.append(child<QLabel>(window(), name));
    const auto gaps = [&rows] {
        QList<int> list;
        for (int i = 1; i < rows.size(); ++i)
            list.append(rows.at(i)->y() - rows.at(i - 1)->geometry().bottom() - 1);
        return list;
    };
    QTRY_VERIFY2(
        std::all_of(rows.cbegin(), rows.cend(), [](QLabel *row) { return row->isVisible(); }), "every row shown");
    QTRY_COMPARE(gaps(), QList<int>(rows.size() - 1, gaps().constFirst()));
    QVERIFY2(gaps().constFirst() > 0, "the rows do not touch");
}

// The help page's rows start at one left edge, the report hint included.
void tst_MainWidgetHelp::rowsInOneColumn()
{
    showHelpPage(ConsoleTest::script(QStringLiteral("protected")));
    const int left = child<QLabel>(window(), "lblSiteLabel")->x();
    for (const char *name : { "lblUsersInstruction", "lblEmail", "lblHelpHint" })
        QTRY_COMPARE(child<QLabel>(window(), name)->x(), left);
}

void tst_MainWidgetHelp::checkBoxReachesTheUpdater()
{
    showHelpPage(ConsoleTest::script(QStringLiteral("protected")));
    MainWindowTest::stack(window())->setCurrentWidget(child<QWidget>(window(), "commonSettingsPage"));
    auto box = child<QCheckBox>(window(), "ckCheckUpdates");
    AppUpdater *updater = m_desktop->agent->updater();
    QVERIFY(box->isChecked());
    QVERIFY(updater->checksEnabled());
    QTRY_VERIFY(box->isVisible());
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(8, box->height() / 2));
    QVERIFY(!box->isChecked());
    QVERIFY(!updater->checksEnabled());
    QCOMPARE(QSettings().value(QStringLiteral("new-version-checks")), QVariant(false));
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(8, box->height() / 2));
    QVERIFY(updater->checksEnabled());
}

CONSOLE_TEST_MAIN(tst_MainWidgetHelp)
#include "tst_mainwidgethelp.moc"
