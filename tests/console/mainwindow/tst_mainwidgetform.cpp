#include "mainwindowtest.h"

#include "app/agent.h"
#include "mainwindow/bottomframe.h"
#include "mainwindow/iplineedit.h"
#include "mainwindow/mainwidget.h"
#include "mainwindow/programversion.h"
#include "mainwindow/slidingstackedwidget.h"
#include "mainwindow/vendorcontact.h"
#include "ui_mainwidget.h"

#include <QCommandLinkButton>
#include <QIntValidator>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTranslator>

// The main window's form as the designer file builds it, and what the window's construction puts on it.
class tst_MainWidgetForm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void setupUiBuildsTheForm();
    void translatedInTheFormsContext();
    void formConnections();
    void constructionTexts();
    void constructionState();
    void displayedVersion_data();
    void displayedVersion();

private:
    std::unique_ptr<ConsoleTest::Desktop> m_desktop;
};

void tst_MainWidgetForm::init()
{
    MainWindowTest::failOnConnectionWarnings();
}

void tst_MainWidgetForm::cleanup()
{
    m_desktop.reset();
}

void tst_MainWidgetForm::setupUiBuildsTheForm()
{
    QWidget window;
    Ui_MainWidget ui;
    ui.setupUi(&window);
    QCOMPARE(window.objectName(), QStringLiteral("MainWidget"));
    QCOMPARE(window.size(), QSize(530, 368));
    QCOMPARE(window.minimumWidth(), 520);
    QCOMPARE(window.styleSheet(), QStringLiteral("* {\nfont-family:Tahoma;\n}"));
    QVERIFY(!window.windowIcon().isNull());
    QCOMPARE(ui.frameHeader->height(), 84);
    QVERIFY(!ui.label->pixmap().isNull());
    QVERIFY(ui.label->text().isEmpty());

    const QStringList pages
        = { "welcomePage", "settingsPage", "commonSettingsPage", "advancedSettingsPage", "loginPage", "helpPage" };
    QCOMPARE(ui.stackedWidget->count(), pages.size());
    for (int i = 0; i < pages.size(); ++i)
        QCOMPARE(ui.stackedWidget->widget(i)->objectName(), pages.at(i));
    QCOMPARE(ui.stackedWidget->currentWidget(), ui.welcomePage);
    QCOMPARE(ui.settingsTabWidget->currentWidget(), ui.tabGeneralSettings);
    QCOMPARE(ui.settingsTabWidget->count(), 3);
    QVERIFY(!ui.planWidget->isHidden());

    QVERIFY(qobject_cast<SlidingStackedWidget *>(ui.stackedWidget));
    QVERIFY(qobject_cast<IPLineEdit *>(ui.leCatservDns));
    QVERIFY(qobject_cast<IPLineEdit *>(ui.leLocalDnsAddress));
    const QList<BottomFrame *> bars = window.findChildren<BottomFrame *>();
    QCOMPARE(bars.size(), 6);
    for (BottomFrame *bar : bars) {
        QCOMPARE(bar->minimumHeight(), 70);
        QCOMPARE(bar->maximumHeight(), 70);
        QCOMPARE(bar->frameShape(), QFrame::StyledPanel);
    }
    for (QPushButton *button : { ui.pbHideAgent, ui.pbHideSettings, ui.pbHideCommonSettings, ui.pbHideAdvSettings,
             ui.pbCancelLogin, ui.pbLogin, ui.pbHelpOk }) {
        QVERIFY2(button->property("vyrbutton").toBool(), qPrintable(button->objectName()));
        QVERIFY(button->maximumWidth() <= 200);
    }
    QCOMPARE(ui.pbHideAgent->minimumWidth(), 200);
    QCOMPARE(ui.pbHideAgent->focusPolicy(), Qt::ClickFocus);
    QCOMPARE(ui.btnGlobalFiltering->focusPolicy(), Qt::NoFocus);
    QCOMPARE(ui.btnGlobalFiltering->iconSize(), QSize(48, 48));
    QCOMPARE(ui.lePassword->echoMode(), QLineEdit::Password);
    QCOMPARE(ui.leRepeatPassword->echoMode(), QLineEdit::Password);
    QCOMPARE(ui.lstNetworks->selectionMode(), QAbstractItemView::NoSelection);
    QVERIFY(ui.label_11->font().bold());
    QCOMPARE(ui.label_11->font().pointSize(), 7);
    QVERIFY(ui.lblPlanName->font().bold());
    QVERIFY(ui.cmbProfile->font().bold());
    QVERIFY(ui.lblUpdateApp->font().bold());
    QCOMPARE(ui.helpPage->font().pointSize(), 14);
    QCOMPARE(ui.lblAgentStatus->textFormat(), Qt::RichText);
    QVERIFY(ui.lblRegisterHint->openExternalLinks());
    QVERIFY(ui.lblSite->openExternalLinks());
    QVERIFY(!ui.lblRegisterNew->openExternalLinks());
    QCOMPARE(
        ui.lblRegisterNew->text(), QStringLiteral("<a href=\"agent:showregisterform\">Don't have an account yet?<a>"));
    for (QLabel *label : { ui.lblRegisterHint, ui.lblForgotPassword, ui.lblEmail, ui.lblUsersInstruction })
        QVERIFY(label->text().isEmpty());
    QCOMPARE(ui.lblUpdateAppIcon->text(), QStringLiteral("<a href=\"#\"><img src=\":/icons/updateapp\" /></a>"));
    QCOMPARE(ui.clbFilter->description(), QStringLiteral("Categories of sites, exceptions, filtering profiles"));
}

// The form's texts are looked up in its own name's context; the "OK" buttons are not translated at all.
void tst_MainWidgetForm::translatedInTheFormsContext()
{
    QTemporaryDir folder;
    const QString ts = folder.filePath(QStringLiteral("de.ts"));
    QFile file(ts);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n<TS version=\"2.1\" language=\"de\">\n"
               "<context><name>MainWidget</name>"
               "<message><source>General</source><translation>Allgemein</translation></message>"
               "<message><source>Plan</source><translation>Tarif</translation></message>"
               "<message><source>OK</source><translation>Jawohl</translation></message>"
               "</context>\n<context><name>QObject</name>"
               "<message><source>Login</source><translation>Falsch</translation></message>"
               "</context>\n</TS>\n");
    file.close();
    const QString qm = folder.filePath(QStringLiteral("de.qm"));
    QCOMPARE(QProcess::execute(
                 QStringLiteral(VELMOR_LRELEASE), { QStringLiteral("-silent"), ts, QStringLiteral("-qm"), qm }),
        0);
    QTranslator translator;
    QVERIFY(translator.load(qm));
    QCoreApplication::installTranslator(&translator);
    QWidget window;
    Ui_MainWidget ui;
    ui.setupUi(&window);
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(ui.settingsTabWidget->tabText(0), QStringLiteral("Allgemein"));
    QCOMPARE(ui.label_11->text(), QStringLiteral("Tarif"));
    QCOMPARE(ui.pbHideAgent->text(), QStringLiteral("OK"));
    QCOMPARE(ui.pbLogin->text(), QStringLiteral("Login"));
}

// Return in any login field clicks Login after the animated press; the welcome page's OK hides the window.
void tst_MainWidgetForm::formConnections()
{
    QWidget window;
    Ui_MainWidget ui;
    ui.setupUi(&window);
    window.show();
    QSignalSpy clicks(ui.pbLogin, &QPushButton::clicked);
    for (QLineEdit *field : { ui.leUser, ui.lePassword, ui.leRepeatPassword }) {
        const qsizetype before = clicks.size();
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(ui.pbLogin->isDown());
        QCOMPARE(clicks.size(), before);
        QTRY_COMPARE(clicks.size(), before + 1);
    }
    ui.pbHideAgent->click();
    QVERIFY(window.isHidden());
}

void tst_MainWidgetForm::constructionTexts()
{
    m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(QStringLiteral("protected")), true);
    MainWidget *window = m_desktop->agent->mainWidget();
    using MainWindowTest::child;
    QCOMPARE(window->windowTitle(), QStringLiteral("Velmor Agent"));
    QVERIFY(child<QCheckBox>(window, "ckUseTokens")
                ->whatsThis()
                .contains(QLatin1String("<br/>Velmor Agent starts its own DNS server on 127.0.0.1:53")));
    QVERIFY(child<QLabel>(window, "lblRegisterHint")
                ->text()
                .startsWith(QLatin1String(
                    "Please read <a href=\"https://www.velmor.example/info/terms\">Terms of Service</a>")));
    QCOMPARE(child<QLabel>(window, "lblForgotPassword")->text(),
        QStringLiteral("<a href=\"https://www.velmor.example/auth/forgot\">Forgot your password?</a>"));
    QCOMPARE(child<QLabel>(window, "lblSite")->text(),
        QStringLiteral("<a href=\"https://www.velmor.example/\">www.velmor.example</a>"));
    QCOMPARE(child<QLabel>(window, "lblEmail")->text(),
        QStringLiteral("<a href=\"https://www.velmor.example/feedback\">Write to support</a>"));
    QCOMPARE(child<QLabel>(window, "lblUsersInstruction")->text(),
        QStringLiteral("<a href=\"https://www.velmor.example/info/guides/agent\">Instruction how to use</a>"));
    QVERIFY(child<QLabel>(window, "lblHelpHint")
                ->text()
                .contains(QLatin1String("<a href=\"agent:systeminforeport\" style=\"white-space:nowrap\">system "
                                        "info</a>")));
    QCOMPARE(child<QLabel>(window, "lblUpdateApp")->text(), QStringLiteral("2.3.63.4"));
    QCOMPARE(child<QWidget>(window, "tabConnectionSettings")->styleSheet(),
        QStringLiteral("QWidget[objectName=tabConnectionSettings] { background-color:white; }"));
    QVERIFY(child<QFrame>(window, "frameHeader")->styleSheet().isEmpty());
}

// Until the service's connection completes the service pages are closed; the plan box is hidden, the port field
// is hidden for good, and the Phone row shows only with a number.
void tst_MainWidgetForm::constructionState()
{
    m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(QStringLiteral("protected")), true);
    MainWidget *window = m_desktop->agent->mainWidget();
    using MainWindowTest::child;
    for (const char *page : { "settingsPage", "loginPage", "advancedSettingsPage" })
        QVERIFY2(!child<QWidget>(window, page)->isEnabled(), page);
    for (const char *page : { "welcomePage", "commonSettingsPage", "helpPage" })
        QVERIFY2(child<QWidget>(window, page)->isEnabled(), page);
    QVERIFY(child<QWidget>(window, "planWidget")->isHidden());
    auto port = child<QLineEdit>(window, "leLocalDnsPort");
    QVERIFY(port->isHidden());
    auto validator = qobject_cast<const QIntValidator *>(port->validator());
    QVERIFY(validator);
    QCOMPARE(validator->bottom(), 1);
    QCOMPARE(validator->top(), 65535);
    QCOMPARE(validator->parent(), port);
    const bool phone = !supportPhone().isEmpty();
    QCOMPARE(child<QLabel>(window, "lblPhoneLabel")->isHidden(), !phone);
    QCOMPARE(child<QLabel>(window, "lblPhone")->isHidden(), !phone);
    QCOMPARE(child<QLabel>(window, "lblPhone")->text(), supportPhone());
    QCOMPARE(window->loginMode(), 0);
    QCOMPARE(child<QPushButton>(window, "pbLogin")->text(), QStringLiteral("Sign In"));

    QTRY_VERIFY(m_desktop->agent->status()->isConnectionComplete());
    for (const char *page : { "settingsPage", "loginPage", "advancedSettingsPage" })
        QVERIFY2(child<QWidget>(window, page)->isEnabled(), page);
}

void tst_MainWidgetForm::displayedVersion_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("shown");
    QTest::newRow("release") << "2.3.63.4"
                             << "2.3.63.4";
    QTest::newRow("bare number") << "7"
                                 << "7.0";
    QTest::newRow("two parts") << "7.1"
                               << "7.1";
}

void tst_MainWidgetForm::displayedVersion()
{
    QFETCH(QString, version);
    QFETCH(QString, shown);
    QCOMPARE(::displayedVersion(version), shown);
}

CONSOLE_TEST_MAIN(tst_MainWidgetForm)
#include "tst_mainwidgetform.moc"
