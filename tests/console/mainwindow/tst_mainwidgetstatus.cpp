#include "fakeservice.h"
#include "mainwindowtest.h"

#include "app/agent.h"
#include "mainwindow/mainwidget.h"
#include "model/cabinet.h"

#include "velmorwire/cabinetprofile.h"
#include "velmorwire/cabinetuserinfo.h"
#include "velmorwire/error.h"

#include <QAbstractTextDocumentLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

using MainWindowTest::child;
using MainWindowTest::page;

// The welcome page's status block and filtering switch, the header's plan box and identification line, and the
// profile box: views of the Agent and the account model.
class tst_MainWidgetStatus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void goldenStatusText();
    void states_data();
    void states();
    void switchIconStaysOutsideStates6And7();
    void filteringButton_data();
    void filteringButton();
    void planBox_data();
    void planBox();
    void ipModeFeature_data();
    void ipModeFeature();
    void oneAdvancedTab();
    void profileOrder();
    void userChoosesProfile();
    void identificationLine_data();
    void identificationLine();
    void headerFollowsDisconnect();
    void headlineWholeAfterEachChange_data();
    void headlineWholeAfterEachChange();
    void windowKeepsItsSizeOnOtherPages_data();
    void windowKeepsItsSizeOnOtherPages();
    void okCentred_data();
    void okCentred();
    void filteringButtonNamesItsAction();
    void settingsLinkWithoutService();
    void serviceDownExplained_data();
    void serviceDownExplained();
    void accountTextsArePlain();
    void longProfileNameKeepsTheWindowsWidth();

private:
    MainWidget *window() const { return m_desktop->agent->mainWidget(); }
    Cabinet *cabinet() const { return m_desktop->agent->cabinet(); }
    QString status() const { return child<QLabel>(window(), "lblAgentStatus")->text(); }
    void reach(int state, const QString &script = QStringLiteral("protected"));
    static QImage image(const QIcon &icon) { return icon.pixmap(48, 48).toImage(); }
    void setFeatures(const QVariantMap &features, const QString &planCode = QStringLiteral("FREE"));
    void showWindow();
    // Whether the status block's headline, which never wraps, fits the label as laid out now.
    bool headlineFits() const
    {
        return headlineFits(child<QLabel>(window(), "lblAgentStatus"), m_desktop->agent->status()->stateText());
    }
    static bool headlineFits(QLabel *label, const QString &headline);

    std::unique_ptr<ConsoleTest::Desktop> m_desktop;
};

void tst_MainWidgetStatus::init()
{
    MainWindowTest::failOnConnectionWarnings();
}

void tst_MainWidgetStatus::cleanup()
{
    m_desktop.reset();
}

void tst_MainWidgetStatus::reach(int state, const QString &script)
{
    if (state == ServiceStatus::Connecting) {
        m_desktop = std::make_unique<ConsoleTest::Desktop>(
            ConsoleTest::withPush(ConsoleTest::script(script), QStringLiteral("setIdentification"), QVariant()), true);
        MainWindowTest::slideAtOnce(window());
        // The push is in once its last notification is.
        QTRY_VERIFY(!cabinet()->profiles().isEmpty());
        MainWindowTest::settle(m_desktop.get());
    } else {
        m_desktop = MainWindowTest::desktopIn(state, ConsoleTest::script(script));
    }
    QTRY_COMPARE(m_desktop->agent->status()->state(), state);
}

void tst_MainWidgetStatus::setFeatures(const QVariantMap &features, const QString &planCode)
{
    Velmor::CabinetUserInfo info;
    info.planCode = planCode;
    info.planName = planCode.toLower();
    info.features = features;
    cabinet()->setUserInfo(info);
}

void tst_MainWidgetStatus::showWindow()
{
    window()->show();
    QVERIFY(QTest::qWaitForWindowExposed(window()));
}

bool tst_MainWidgetStatus::headlineFits(QLabel *label, const QString &headline)
{
    // The label's text laid out at the label's width: a headline that does not fit breaks into a second line,
    // which the label cuts.
    QTextDocument document;
    document.setDefaultFont(label->font());
    document.setHtml(label->text());
    document.setTextWidth(label->contentsRect().width());
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        // The headline's spaces are laid out as non-breaking ones.
        if (!block.text().replace(QChar::Nbsp, QLatin1Char(' ')).contains(headline))
            continue;
        (void)document.documentLayout()->blockBoundingRect(block);
        if (block.layout()->lineCount() != 1)
            qWarning("\"%s\" takes %d lines at %d pixels", qPrintable(headline), block.layout()->lineCount(),
                label->contentsRect().width());
        return block.layout()->lineCount() == 1;
    }
    qWarning("No headline \"%s\"", qPrintable(headline));
    return false;
}

// The status block for state 7 on the free plan, character for character.
void tst_MainWidgetStatus::goldenStatusText()
{
    reach(ServiceStatus::Protected);
    QCOMPARE(status(),
        QStringLiteral(
            R"(<table><tbody><tr><td width="100" valign="top"><img style="margin-top:35px; margin-left: 15px;" )"
            R"(src=":/icons/status-ok"></td><td><span style="margin-left: 5px; margin-right: 25px; margin-top: 25px; )"
            R"(text-align: left; font-family: Tahoma; font-size: 18pt; font-weight: bold; color: #333;)"
            R"(white-space:nowrap">The internet is under control!</span><p style="margin-left: 5px; margin-right: )"
            R"(25px; margin-top: 15px; text-align: left; font-family: Tahoma; font-size: 11pt; font-weight: normal; )"
            R"(color: #333;">This computer is successfully connected to service and now it's performing filtering )"
            R"(according to your account settings.</p><p style="margin-left: 5px; margin-right: 25px; margin-top: )"
            R"(25px; text-align: left; font-family: Tahoma; font-size: 10pt; font-weight: normal; color: #659ebf;">)"
            R"(<a href="agent:showsettings">Settings</a> | <a href="agent:showhelp">Need help?</a> | <a )"
            R"(href="https://www.velmor.example/billing/order?plan=PREMIUM">Buy Premium plan</a></p></td></tr>)"
            R"(</tbody></table>)"));
}

void tst_MainWidgetStatus::states_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QString>("explanation");
    QTest::addColumn<bool>("button");
    QTest::addColumn<QString>("icon");
    QTest::newRow("1 service unreachable") << 1 << "status-error"
                                           << "The service part of Velmor Agent doesn't work." << false << QString();
    QTest::newRow("2 connecting") << 2 << "status-info"
                                  << "The system service is successfully connected and now awaiting" << false
                                  << QString();
    QTest::newRow("3 identification failed")
        << 3 << "status-warning"
        << "Failed to setup identification of this computer on service." << false << QString();
    QTest::newRow("4 no networks") << 4 << "status-warning"
                                   << "Velmor Agent was unable to retrieve the information about internet "
                                      "connections"
                                   << false << QString();
    QTest::newRow("5 nothing protected") << 5 << "status-info"
                                         << "The filtration was not activated on any of internet connections." << false
                                         << QString();
    QTest::newRow("6 filtering off") << 6 << "status-info"
                                     << "The filtration was disabled. You may enable it back with button at "
                                        "bottom left."
                                     << true << "agent_off";
    QTest::newRow("7 protected") << 7 << "status-ok"
                                 << "This computer is successfully connected to service and now it's performing" << true
                                 << "agent_on";
}

void tst_MainWidgetStatus::states()
{
    QFETCH(int, state);
    QFETCH(QString, picture);
    QFETCH(QString, explanation);
    QFETCH(bool, button);
    QFETCH(QString, icon);
    reach(state);
    const QString text = status();
    QVERIFY(text.contains(QLatin1String("src=\":/icons/") + picture + QLatin1String("\"")));
    QVERIFY(text.contains(ServiceStatus::stateTextFor(state) + QLatin1String("</span>")));
    QVERIFY2(text.contains(explanation), qPrintable(text));
    QVERIFY(text.endsWith(QLatin1String("Buy Premium plan</a></p></td></tr></tbody></table>")));
    auto filtering = child<QPushButton>(window(), "btnGlobalFiltering");
    QCOMPARE(!filtering->isHidden(), button);
    if (!icon.isEmpty())
        QCOMPARE(image(filtering->icon()), image(QIcon(QLatin1String(":/icons/") + icon)));
}

void tst_MainWidgetStatus::switchIconStaysOutsideStates6And7()
{
    reach(ServiceStatus::FilteringOff);
    auto filtering = child<QPushButton>(window(), "btnGlobalFiltering");
    m_desktop->service->stop();
    QTRY_COMPARE(m_desktop->agent->status()->state(), int(ServiceStatus::ServiceUnreachable));
    QVERIFY(filtering->isHidden());
    QCOMPARE(image(filtering->icon()), image(QIcon(QStringLiteral(":/icons/agent_off"))));
}

void tst_MainWidgetStatus::filteringButton_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("sent");
    QTest::newRow("on, unlocked: off until restart") << "protected" << 7 << "[false,0]";
    QTest::newRow("off, unlocked: on") << "protected" << 6 << "[true,0]";
    QTest::newRow("off, locked: on at once") << "locked" << 6 << "[true,0]";
    QTest::newRow("on, locked: waits for the password") << "locked" << 7 << QString();
}

void tst_MainWidgetStatus::filteringButton()
{
    QFETCH(QString, script);
    QFETCH(int, state);
    QFETCH(QString, sent);
    reach(state, script);
    child<QPushButton>(window(), "btnGlobalFiltering")->click();
    FakeService *service = m_desktop->service.get();
    if (!sent.isEmpty()) {
        QTRY_COMPARE(service->messages(QStringLiteral("setGlobalFiltering")).size(), 1);
        QCOMPARE(service->messages(QStringLiteral("setGlobalFiltering")).first().paramsText, sent);
        return;
    }
    QVERIFY(window()->isVisible());
    QCOMPARE(page(window()), QStringLiteral("loginPage"));
    child<QLineEdit>(window(), "lePassword")->setText(QStringLiteral("typed"));
    child<QPushButton>(window(), "pbLogin")->click();
    QTRY_COMPARE(service->messages(QStringLiteral("setGlobalFiltering")).size(), 1);
    QCOMPARE(service->messages(QStringLiteral("setGlobalFiltering")).first().paramsText, QStringLiteral("[false,0]"));
    QCOMPARE(service->messages().first().method, QStringLiteral("unlockSettings"));
}

void tst_MainWidgetStatus::planBox_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("free");
    QTest::newRow("FREE") << "FREE" << true;
    QTest::newRow("free") << "free" << false;
    QTest::newRow("PREMIUM") << "PREMIUM" << false;
}

void tst_MainWidgetStatus::planBox()
{
    QFETCH(QString, code);
    QFETCH(bool, free);
    reach(ServiceStatus::Protected);
    setFeatures(QVariantMap(), code);
    QCOMPARE(!child<QWidget>(window(), "planWidget")->isHidden(), free);
    QCOMPARE(child<QLabel>(window(), "lblPlanName")->text(), code.toLower());
    QCOMPARE(status().contains(QLatin1String("Buy Premium plan")), free);
    QVERIFY(status().endsWith(free ? QLatin1String("Buy Premium plan</a></p></td></tr></tbody></table>")
                                   : QLatin1String("Need help?</a></p></td></tr></tbody></table>")));
}

void tst_MainWidgetStatus::ipModeFeature_data()
{
    QTest::addColumn<QVariant>("value"); // invalid: no key
    QTest::addColumn<bool>("on");
    QTest::newRow("integer 1") << QVariant(1) << true;
    QTest::newRow("unsigned 1") << QVariant(1u) << true;
    QTest::newRow("64-bit 1") << QVariant(qlonglong(1)) << true;
    QTest::newRow("floating 1.0") << QVariant(1.0) << true;
    QTest::newRow("true") << QVariant(true) << true;
    QTest::newRow("text 1") << QVariant(QStringLiteral("1")) << true;
    QTest::newRow("integer 0") << QVariant(0) << false;
    QTest::newRow("integer 2") << QVariant(2) << false;
    QTest::newRow("floating 1.5") << QVariant(1.5) << false;
    QTest::newRow("false") << QVariant(false) << false;
    QTest::newRow("text yes") << QVariant(QStringLiteral("yes")) << false;
    QTest::newRow("text 1.0") << QVariant(QStringLiteral("1.0")) << false;
    QTest::newRow("text true") << QVariant(QStringLiteral("true")) << false;
    QTest::newRow("list holding 1") << QVariant(QVariantList { 1 }) << false;
    QTest::newRow("no key") << QVariant() << false;
}

void tst_MainWidgetStatus::ipModeFeature()
{
    QFETCH(QVariant, value);
    QFETCH(bool, on);
    reach(ServiceStatus::Protected);
    QVariantMap features { { QStringLiteral("max_profiles"), 5 } };
    if (value.isValid())
        features.insert(QStringLiteral("agent_ip_mode"), value);
    setFeatures(features);
    auto tabs = child<QTabWidget>(window(), "settingsTabWidget");
    QCOMPARE(tabs->count(), on ? 3 : 2);
    QCOMPARE(tabs->indexOf(child<QWidget>(window(), "tabAdvancedSettings")), on ? 2 : -1);
    QCOMPARE(!child<QCheckBox>(window(), "ckUseTokens")->isHidden(), on);
    QCOMPARE(!child<QLineEdit>(window(), "leLocalDnsAddress")->isHidden(), on);
    QCOMPARE(!child<QLabel>(window(), "lblLocalDnsAddress")->isHidden(), on);
    QVERIFY(child<QLabel>(window(), "lblCatservDns")->isHidden());
    QVERIFY(child<QLineEdit>(window(), "leCatservDns")->isHidden());
}

// Two pushes with the feature on leave exactly one Advanced tab, as the last tab; the feature going off removes
// it, twice without harm.
void tst_MainWidgetStatus::oneAdvancedTab()
{
    reach(ServiceStatus::Protected);
    auto tabs = child<QTabWidget>(window(), "settingsTabWidget");
    QCOMPARE(tabs->count(), 2);
    for (int push = 0; push < 2; ++push) {
        m_desktop->service->push(QStringLiteral("setUserInfo"),
            { QVariantMap { { QStringLiteral("features"), QVariantMap { { QStringLiteral("agent_ip_mode"), 1 } } },
                { QStringLiteral("plan"),
                    QVariantMap { { QStringLiteral("code"), QStringLiteral("FREE") },
                        { QStringLiteral("name"), QStringLiteral("Free") } } },
                { QStringLiteral("tz"), 2 } } });
        QTRY_COMPARE(tabs->count(), 3);
    }
    QTRY_COMPARE(tabs->count(), 3);
    QCOMPARE(tabs->tabText(2), QStringLiteral("Advanced"));
    QCOMPARE(tabs->widget(2), child<QWidget>(window(), "tabAdvancedSettings"));
    setFeatures(QVariantMap());
    setFeatures(QVariantMap());
    QCOMPARE(tabs->count(), 2);
}

void tst_MainWidgetStatus::profileOrder()
{
    reach(ServiceStatus::Protected);
    Velmor::CabinetProfiles profiles;
    const QList<QPair<quint32, QString>> given = { { 4, "b" }, { 5, "A" }, { 6, "a" }, { 9, "Z" } };
    for (const auto &[id, name] : given)
        profiles.insert(id, QSharedPointer<Velmor::CabinetProfile>::create(id, 100 + id, name, name == "Z"));
    cabinet()->setProfiles(profiles, 6);
    auto box = child<QComboBox>(window(), "cmbProfile");
    QStringList names;
    QList<uint> ids;
    for (int i = 0; i < box->count(); ++i) {
        names.append(box->itemText(i));
        ids.append(box->itemData(i).toUInt());
        QVERIFY(box->itemIcon(i).isNull());
    }
    QCOMPARE(names, (QStringList { "Z", "A", "a", "b" }));
    QCOMPARE(ids, (QList<uint> { 9, 5, 6, 4 }));
    QCOMPARE(box->currentText(), QStringLiteral("a"));
    QVERIFY(child<QWidget>(window(), "clbFilter")->isEnabled());
    QCOMPARE(m_desktop->service->messages(QStringLiteral("setProfile")).size(), 0);

    cabinet()->setProfiles(Velmor::CabinetProfiles(), 0);
    QCOMPARE(box->count(), 0);
    QVERIFY(!child<QWidget>(window(), "clbFilter")->isEnabled());
}

// A choice in the box goes to the service and is not taken back locally; the service's answer brings the box
// in line.
void tst_MainWidgetStatus::userChoosesProfile()
{
    reach(ServiceStatus::Protected);
    auto box = child<QComboBox>(window(), "cmbProfile");
    QCOMPARE(box->currentText(), QStringLiteral("Kids"));
    box->setCurrentIndex(box->findText(QStringLiteral("Home")));
    QTRY_COMPARE(m_desktop->service->messages(QStringLiteral("setProfile")).size(), 1);
    QCOMPARE(m_desktop->service->messages(QStringLiteral("setProfile")).first().paramsText, QStringLiteral("[1]"));
    QCOMPARE(box->currentText(), QStringLiteral("Home"));
    m_desktop->service->push(QStringLiteral("setSelectedProfile"), { 2 });
    QTRY_COMPARE(box->currentText(), QStringLiteral("Kids"));
    QCOMPARE(m_desktop->service->messages(QStringLiteral("setProfile")).size(), 1);
    // The tray's choice, unlocked, is applied at once.
    QVERIFY(window()->selectProfile(1));
    QCOMPARE(box->currentText(), QStringLiteral("Home"));
    QTRY_COMPARE(m_desktop->service->messages(QStringLiteral("setProfile")).size(), 2);
}

void tst_MainWidgetStatus::identificationLine_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("tokens");
    QTest::newRow("token mode") << "token 2"
                                << "Current profile:"
                                << "Kids" << true;
    QTest::newRow("token mode, unknown profile") << "token 99"
                                                 << "Current profile:"
                                                 << "Unavailable" << true;
    QTest::newRow("by address") << "ip"
                                << "Your IP:"
                                << "203.0.113.7" << false;
    QTest::newRow("by address, failed") << "ip error"
                                        << "Your IP:"
                                        << "Unavailable" << false;
    QTest::newRow("not connected") << "unconnected"
                                   << "Identification"
                                   << "Unavailable" << true;
}

void tst_MainWidgetStatus::identificationLine()
{
    QFETCH(QString, how);
    QFETCH(QString, title);
    QFETCH(QString, value);
    QFETCH(bool, tokens);
    reach(ServiceStatus::Protected);
    FakeService *service = m_desktop->service.get();
    if (how.startsWith(QLatin1String("token"))) {
        service->push(QStringLiteral("setIdentification"), { 1, how.mid(6).toUInt() });
    } else if (how == QLatin1String("ip")) {
        service->push(QStringLiteral("setIdentification"), { 0, QStringLiteral("203.0.113.7") });
    } else if (how == QLatin1String("ip error")) {
        service->push(QStringLiteral("setIdentificationError"),
            { 0, QVariantMap { { QStringLiteral("code"), 31 }, { QStringLiteral("message"), QString() } } });
    } else {
        service->stop();
        QTRY_COMPARE(m_desktop->agent->status()->state(), int(ServiceStatus::ServiceUnreachable));
        cabinet()->setLastError(Velmor::Error(31, QString()));
    }
    QTRY_COMPARE(child<QLabel>(window(), "lbl_identityTitle")->text(), title);
    QTRY_COMPARE(child<QLabel>(window(), "lbl_identityStatus")->text(), value);
    QCOMPARE(child<QCheckBox>(window(), "ckUseTokens")->isChecked(), tokens);
    QCOMPARE(service->messages(QStringLiteral("setTokensEnabled")).size(), 0);
}

// The service goes away after the header showed the profile and the plan: neither is known any more.
void tst_MainWidgetStatus::headerFollowsDisconnect()
{
    reach(ServiceStatus::Protected);
    setFeatures(QVariantMap());
    m_desktop->service->push(QStringLiteral("setIdentification"), { 1, 2 });
    QTRY_COMPARE(child<QLabel>(window(), "lbl_identityStatus")->text(), QStringLiteral("Kids"));
    QCOMPARE(child<QLabel>(window(), "lbl_identityTitle")->text(), QStringLiteral("Current profile:"));
    QVERIFY(!child<QWidget>(window(), "planWidget")->isHidden());
    m_desktop->service->stop();
    QTRY_COMPARE(m_desktop->agent->status()->state(), int(ServiceStatus::ServiceUnreachable));
    QTRY_COMPARE(child<QLabel>(window(), "lbl_identityTitle")->text(), QStringLiteral("Identification"));
    QCOMPARE(child<QLabel>(window(), "lbl_identityStatus")->text(), QStringLiteral("Unavailable"));
    QVERIFY(child<QWidget>(window(), "planWidget")->isHidden());
}

void tst_MainWidgetStatus::headlineWholeAfterEachChange_data()
{
    QTest::addColumn<QList<int>>("states"); // reached one after the other from 7, by the button or the service

    QTest::newRow("pause, resume") << QList<int> { 6, 7 };
    QTest::newRow("pause, resume, pause") << QList<int> { 6, 7, 6 };
    QTest::newRow("service lost") << QList<int> { 1 };
    QTest::newRow("no networks, protected again") << QList<int> { 4, 7 };
}

// Each new headline is laid out before the window takes its size: it shows whole, never one status behind.
void tst_MainWidgetStatus::headlineWholeAfterEachChange()
{
    QFETCH(QList<int>, states);
    reach(ServiceStatus::Protected);
    showWindow();
    QVERIFY(headlineFits());
    // The measure tells a headline that does not fit.
    QLabel narrow;
    narrow.setWordWrap(true);
    narrow.setText(child<QLabel>(window(), "lblAgentStatus")->text());
    narrow.setFixedWidth(250);
    QVERIFY(!headlineFits(&narrow, m_desktop->agent->status()->stateText()));
    for (int state : std::as_const(states)) {
        const int before = m_desktop->agent->status()->state();
        if ((state == ServiceStatus::FilteringOff && before == ServiceStatus::Protected)
            || (state == ServiceStatus::Protected && before == ServiceStatus::FilteringOff)) {
            QTest::mouseClick(child<QPushButton>(window(), "btnGlobalFiltering"), Qt::LeftButton);
        } else if (state == ServiceStatus::Protected) {
            m_desktop->service->push(QStringLiteral("setNetworks"),
                { QVariantMap { { QStringLiteral("defaultRouteId"), QStringLiteral("eth0") },
                    { QStringLiteral("networks"),
                        QVariantList { QVariantMap { { QStringLiteral("id"), QStringLiteral("eth0") },
                            { QStringLiteral("name"), QStringLiteral("Wired") },
                            { QStringLiteral("protected"), true } } } } } });
        } else {
            ConsoleTest::pushTowards(m_desktop->service.get(), state);
        }
        QTRY_COMPARE(m_desktop->agent->status()->state(), state);
        QVERIFY2(headlineFits(), qPrintable(QStringLiteral("state %1").arg(state)));
    }
}

void tst_MainWidgetStatus::windowKeepsItsSizeOnOtherPages_data()
{
    QTest::addColumn<QString>("link"); // of the status block, then the settings link's page
    QTest::addColumn<QString>("button"); // that leads on from the page the link opened, or none
    QTest::addColumn<QStringList>("back"); // buttons that lead back to the status page

    QTest::newRow("Internet Connections tab")
        << "agent:showsettings"
        << "clbCommonSettings" << QStringList { "pbHideCommonSettings", "pbHideSettings" };
    QTest::newRow("help page") << "agent:showhelp" << QString() << QStringList { "pbHelpOk" };
}

// A status change while another page is shown leaves the window's size alone; back on the status page the window
// fits the status that came meanwhile.
void tst_MainWidgetStatus::windowKeepsItsSizeOnOtherPages()
{
    QFETCH(QString, link);
    QFETCH(QString, button);
    QFETCH(QStringList, back);
    reach(ServiceStatus::Protected);
    showWindow();
    auto label = child<QLabel>(window(), "lblAgentStatus");
    const QPoint at = MainWindowTest::linkPoint(label, link);
    QVERIFY(at.x() >= 0);
    QTest::mouseClick(label, Qt::LeftButton, Qt::NoModifier, at);
    if (!button.isEmpty())
        QTest::mouseClick(child<QWidget>(window(), qPrintable(button)), Qt::LeftButton);
    if (button == QLatin1String("clbCommonSettings"))
        child<QTabWidget>(window(), "settingsTabWidget")->setCurrentIndex(1);
    QTRY_VERIFY(page(window()) != QLatin1String("welcomePage"));
    const QSize before = window()->size();

    // The tray's pause.
    QVERIFY(window()->turnOffFiltering(0));
    QTRY_COMPARE(m_desktop->agent->status()->state(), int(ServiceStatus::FilteringOff));
    QCOMPARE(window()->size(), before);
    for (const QString &name : std::as_const(back))
        QTest::mouseClick(child<QPushButton>(window(), qPrintable(name)), Qt::LeftButton);
    QTRY_COMPARE(page(window()), QStringLiteral("welcomePage"));
    QVERIFY(headlineFits());
}

void tst_MainWidgetStatus::okCentred_data()
{
    QTest::addColumn<int>("state");
    QTest::newRow("1 service unreachable") << 1;
    QTest::newRow("5 nothing protected") << 5;
    QTest::newRow("6 filtering off") << 6;
    QTest::newRow("7 protected") << 7;
}

// The OK button sits in the middle of the bottom bar whether the filtering button is there or not.
void tst_MainWidgetStatus::okCentred()
{
    QFETCH(int, state);
    reach(state);
    showWindow();
    auto bar = child<QWidget>(window(), "frameHideAgent");
    auto ok = child<QPushButton>(window(), "pbHideAgent");
    QTRY_VERIFY2(qAbs(ok->geometry().center().x() - bar->rect().center().x()) <= 1,
        qPrintable(QStringLiteral("OK at %1, bar centre %2, filtering button %3")
                       .arg(ok->geometry().center().x())
                       .arg(bar->rect().center().x())
                       .arg(child<QWidget>(window(), "btnGlobalFiltering")->width())));
}

// The button shows the state it is in and its tooltip names what a click does, as the tray's entries do.
void tst_MainWidgetStatus::filteringButtonNamesItsAction()
{
    reach(ServiceStatus::Protected);
    showWindow();
    auto filtering = child<QPushButton>(window(), "btnGlobalFiltering");
    QCOMPARE(filtering->toolTip(), QStringLiteral("Stop filtering"));
    QTest::mouseClick(filtering, Qt::LeftButton);
    QTRY_COMPARE(m_desktop->agent->status()->state(), int(ServiceStatus::FilteringOff));
    QCOMPARE(filtering->toolTip(), QStringLiteral("Start filtering"));
    QCOMPARE(image(filtering->icon()), image(QIcon(QStringLiteral(":/icons/agent_off"))));
    QVERIFY(image(QIcon(QStringLiteral(":/icons/agent_on"))) != image(QIcon(QStringLiteral(":/icons/agent_off"))));
}

// Without the service the settings cannot open; pressing their link says so on the status page.
void tst_MainWidgetStatus::settingsLinkWithoutService()
{
    reach(ServiceStatus::ServiceUnreachable);
    showWindow();
    auto note = child<QLabel>(window(), "lblStatusNote");
    QVERIFY(note->isHidden());
    auto label = child<QLabel>(window(), "lblAgentStatus");
    const QPoint at = MainWindowTest::linkPoint(label, QStringLiteral("agent:showsettings"));
    QVERIFY(at.x() >= 0);
    QTest::mouseClick(label, Qt::LeftButton, Qt::NoModifier, at);
    QTRY_VERIFY(note->isVisible());
    QVERIFY2(note->text().contains(QLatin1String("system service is not running")), qPrintable(note->text()));
    QCOMPARE(page(window()), QStringLiteral("welcomePage"));
    QVERIFY(note->geometry().bottom() <= child<QWidget>(window(), "frameHideAgent")->geometry().top());
}

void tst_MainWidgetStatus::serviceDownExplained_data()
{
    QTest::addColumn<bool>("wasUp");
    QTest::newRow("never reached") << false;
    QTest::newRow("stopped after running") << true;
}

// Only a service that never answered may still be starting; one that ran and stopped did not start late.
void tst_MainWidgetStatus::serviceDownExplained()
{
    QFETCH(bool, wasUp);
    const QString starting = QStringLiteral("Probably the service is still starting");
    if (wasUp) {
        reach(ServiceStatus::Protected);
        m_desktop->service->stop();
    } else {
        m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(QStringLiteral("protected")), true);
        // Before the event loop runs, so the program's first attempt finds nobody.
        m_desktop->service->stop();
    }
    QTRY_COMPARE(m_desktop->agent->status()->state(), int(ServiceStatus::ServiceUnreachable));
    QVERIFY2(status().contains(QLatin1String("The service part of Velmor Agent doesn't work.")), qPrintable(status()));
    QCOMPARE(status().contains(starting), !wasUp);
    if (wasUp)
        QVERIFY2(status().contains(QLatin1String("The service was running and has stopped.")), qPrintable(status()));
    // A service that comes back and stops again was still up once.
    m_desktop->service->listen();
    QTRY_COMPARE(m_desktop->agent->status()->state(), int(ServiceStatus::Protected));
    m_desktop->service->stop();
    QTRY_COMPARE(m_desktop->agent->status()->state(), int(ServiceStatus::ServiceUnreachable));
    QVERIFY2(!status().contains(starting), qPrintable(status()));
}

// Names from the account are shown as typed: markup in them is text, not formatting, links or pictures.
void tst_MainWidgetStatus::accountTextsArePlain()
{
    const QString profile = QStringLiteral("<i>Kid</i> & <b>Co</b>");
    const QString plan = QStringLiteral("<b>Gold</b> & more");
    reach(ServiceStatus::Protected);
    showWindow();
    Velmor::CabinetProfiles profiles = cabinet()->profiles();
    profiles.value(2)->name = profile;
    cabinet()->setProfiles(profiles, 2);
    Velmor::CabinetUserInfo info = cabinet()->userInfo();
    info.planName = plan;
    cabinet()->setUserInfo(info);
    m_desktop->service->push(QStringLiteral("setIdentification"), { 1, 2 });
    const QList<QPair<QLabel *, QString>> labels { { child<QLabel>(window(), "lbl_identityStatus"), profile },
        { child<QLabel>(window(), "lblPlanName"), plan } };
    for (const auto &shown : labels) {
        QLabel *label = shown.first;
        const QString full = shown.second;
        // Whole, or its beginning when the header has not the room.
        QTRY_VERIFY2(label->text() == full
                || (label->text().endsWith(QChar(0x2026)) && full.startsWith(label->text().chopped(1))
                    && label->toolTip() == full),
            qPrintable(label->text()));
        QVERIFY(label->text().startsWith(QLatin1String("<")));
        // Laid out as plain text the label needs room for every character shown, the markup's too.
        const int needed = label->fontMetrics().horizontalAdvance(label->text());
        QVERIFY2(label->sizeHint().width() >= needed,
            qPrintable(QStringLiteral("%1: %2 pixels wide for %3 of text")
                           .arg(label->objectName())
                           .arg(label->sizeHint().width())
                           .arg(needed)));
    }
}

// A profile named at length: the window keeps its width, the header and the profile box end the name in "…" and
// tell it whole in a tooltip.
void tst_MainWidgetStatus::longProfileNameKeepsTheWindowsWidth()
{
    const QString name = QStringLiteral("The children's profile for school days and the holidays at granny");
    QCOMPARE(name.size(), 65);
    reach(ServiceStatus::Protected);
    showWindow();
    m_desktop->service->push(QStringLiteral("setIdentification"), { 1, 2 });
    auto header = child<QLabel>(window(), "lbl_identityStatus");
    QTRY_COMPARE(header->text(), QStringLiteral("Kids"));
    const int width = window()->width();
    Velmor::CabinetProfiles profiles = cabinet()->profiles();
    profiles.value(2)->name = name;
    cabinet()->setProfiles(profiles, 2);
    m_desktop->service->push(QStringLiteral("setIdentification"), { 1, 2 });
    QTRY_VERIFY(header->text() != QLatin1String("Kids"));
    QCoreApplication::processEvents();
    QCOMPARE(window()->width(), width);
    QVERIFY(header->text().endsWith(QChar(0x2026)));
    QVERIFY(name.startsWith(header->text().chopped(1)));
    QCOMPARE(header->toolTip(), name);

    auto box = child<QComboBox>(window(), "cmbProfile");
    const int kids = box->findData(2u);
    QVERIFY(kids >= 0);
    QVERIFY(box->itemText(kids).endsWith(QChar(0x2026)));
    QCOMPARE(box->itemData(kids, Qt::ToolTipRole).toString(), name);
    // The shortened name fits the box on the settings page: no letter is cut.
    Q_EMIT child<QLabel>(window(), "lblAgentStatus")->linkActivated(QStringLiteral("agent:showsettings"));
    QTRY_COMPARE(page(window()), QStringLiteral("settingsPage"));
    box->setCurrentIndex(kids);
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.editable = false;
    const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box);
    QVERIFY2(box->fontMetrics().horizontalAdvance(box->currentText()) <= field.width(),
        qPrintable(QStringLiteral("%1 pixels of text in a field of %2")
                       .arg(box->fontMetrics().horizontalAdvance(box->currentText()))
                       .arg(field.width())));
}

CONSOLE_TEST_MAIN(tst_MainWidgetStatus)
#include "tst_mainwidgetstatus.moc"
