// The real velmor-console under an X server, driven by the X test extension (xdotool) as a person would: it signs
// in, protects a network and picks a profile against the python3 fake service, which logs every message with
// its JSON as sent. Where to click is found on a copy of the same window in this process, driven alongside on
// the same display; the two windows are compared pixel by pixel before each step, so a click only lands on a
// window that shows what the copy shows. Run under xvfb-run (the CTest entry does).
#include "consoletest.h"
#include "fakeservice.h"
#include "mainwindowtest.h"

#include "app/agent.h"
#include "mainwindow/mainwidget.h"
#include "mainwindow/slidingstackedwidget.h"

#include "velmorwire/json.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLinkButton>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>

#include <csignal>
#include <sys/prctl.h>

using MainWindowTest::child;

class tst_MainWidgetEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void signInProtectAndPickProfile();

private:
    // xdotool with the arguments; its standard output, trimmed. Fails the test when it fails.
    QString xdotool(const QStringList &arguments);
    QImage realImage();
    QImage copyImage();
    // The share of pixels that differ between the real window and the copy; 1 when their sizes differ.
    double difference();
    // Waits until the real window shows what the copy shows; saves both pictures when it never does.
    bool sameView(const QString &step);
    // A click at a point of the copy's window, on the real window and then on the copy.
    void click(QWidget *target, const QPoint &at);
    QPoint centre(QWidget *target) const { return target->rect().center(); }
    // The service's log: the parameters of each call of the method (a message with an id), as the program wrote
    // them.
    QStringList sent(const QString &method);

    std::unique_ptr<ConsoleTest::Machine> m_machine;
    std::unique_ptr<ConsoleTest::PythonService> m_service;
    std::unique_ptr<ConsoleTest::Desktop> m_copy;
    QProcess *m_program = nullptr;
    QString m_window;
    QString m_pictures;
};

void tst_MainWidgetEndToEnd::initTestCase()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server: run under xvfb-run");
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty(), "xdotool is missing");
    m_pictures = QDir::current().filePath(QStringLiteral("endtoend-pictures"));
}

void tst_MainWidgetEndToEnd::cleanup()
{
    m_copy.reset();
    if (m_program) {
        m_program->kill();
        m_program->waitForFinished(30000);
        delete m_program;
        m_program = nullptr;
    }
    m_service.reset();
    m_machine.reset();
}

QString tst_MainWidgetEndToEnd::xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning("xdotool %s failed: %s", qPrintable(arguments.join(QLatin1Char(' '))),
            process.readAllStandardError().constData());
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QImage tst_MainWidgetEndToEnd::realImage()
{
    return QGuiApplication::primaryScreen()
        ->grabWindow(m_window.toULongLong())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

QImage tst_MainWidgetEndToEnd::copyImage()
{
    return m_copy->agent->mainWidget()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

double tst_MainWidgetEndToEnd::difference()
{
    MainWidget *copy = m_copy->agent->mainWidget();
    const QImage real = realImage();
    if (real.isNull())
        return 1;
    if (copy->size() != real.size())
        copy->resize(real.size());
    const QImage mine = copyImage();
    if (mine.size() != real.size())
        return 1;
    qsizetype differing = 0;
    for (int y = 0; y < real.height(); ++y) {
        const QRgb *a = reinterpret_cast<const QRgb *>(real.constScanLine(y));
        const QRgb *b = reinterpret_cast<const QRgb *>(mine.constScanLine(y));
        for (int x = 0; x < real.width(); ++x) {
            const int distance
                = qAbs(qRed(a[x]) - qRed(b[x])) + qAbs(qGreen(a[x]) - qGreen(b[x])) + qAbs(qBlue(a[x]) - qBlue(b[x]));
            differing += distance > 24;
        }
    }
    return double(differing) / (double(real.width()) * real.height());
}

bool tst_MainWidgetEndToEnd::sameView(const QString &step)
{
    // Only the real window has the keyboard: its focus frames, text cursor and current row are all that may
    // differ. Another page, or a slide on its way, differs in most of the pixels.
    if (QTest::qWaitFor([this] { return difference() < 0.05; }, 15000))
        return true;
    QDir().mkpath(m_pictures);
    realImage().save(QDir(m_pictures).filePath(step + QLatin1String("-real.png")));
    copyImage().save(QDir(m_pictures).filePath(step + QLatin1String("-copy.png")));
    qWarning("%s: the windows differ in %.1f%% of their pixels; pictures in %s", qPrintable(step), difference() * 100,
        qPrintable(m_pictures));
    return false;
}

void tst_MainWidgetEndToEnd::click(QWidget *target, const QPoint &at)
{
    const QPoint inWindow = target->mapTo(target->window(), at);
    xdotool({ QStringLiteral("mousemove"), QStringLiteral("--window"), m_window, QString::number(inWindow.x()),
        QString::number(inWindow.y()), QStringLiteral("click"), QStringLiteral("1") });
    // Away from both windows, so nothing stays under the pointer to be drawn hovered.
    xdotool({ QStringLiteral("mousemove"), QStringLiteral("1270"), QStringLiteral("1010") });
    QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, at);
}

QStringList tst_MainWidgetEndToEnd::sent(const QString &method)
{
    QStringList params;
    const QStringList lines = m_service->lines();
    for (const QString &line : lines) {
        if (!line.startsWith(QLatin1String("message ")))
            continue;
        const QVariantMap record = Velmor::Json::parse(line.section(QLatin1Char(' '), 2)).toMap();
        if (record.value(QStringLiteral("method")).toString() == method && record.contains(QStringLiteral("id")))
            params.append(record.value(QStringLiteral("params")).toString());
    }
    return params;
}

void tst_MainWidgetEndToEnd::signInProtectAndPickProfile()
{
    const QString user = QStringLiteral("user@example.com");
    const QString password = QStringLiteral("Pa55-word!");
    const QVariantMap script = ConsoleTest::script(QStringLiteral("signin"));
    QVERIFY(!script.isEmpty());

    // The real program on a machine it has run on before, so nothing is protected without being asked.
    m_machine = std::make_unique<ConsoleTest::Machine>();
    QDir().mkpath(m_machine->path() + QLatin1String("/settings/Velmor"));
    QFile settings(m_machine->path() + QLatin1String("/settings/Velmor/Agent.ini"));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[General]\nfirststart=false\n");
    settings.close();
    m_service = std::make_unique<ConsoleTest::PythonService>(script);
    QVERIFY(m_service->isListening());
    QProcessEnvironment environment = m_machine->environment(m_service->port());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("XDG_SESSION_ID"), QStringLiteral("endtoend-program"));
    // Both output channels are kept, to be searched for the password.
    m_program = new QProcess(this);
    m_program->setProcessEnvironment(environment);
    m_program->setProcessChannelMode(QProcess::MergedChannels);
    m_program->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_program->start(ConsoleTest::program(), {});
    QVERIFY(m_program->waitForStarted(30000));
    m_window = xdotool(
        { QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
            QString::number(m_program->processId()), QStringLiteral("--name"), QStringLiteral("^Velmor Agent$") })
                   .section(QLatin1Char('\n'), 0, 0);
    QVERIFY(!m_window.isEmpty());

    // The copy: the same window in this process against the in-process fake with the same script, beside the
    // real one so that neither covers the other.
    m_copy = std::make_unique<ConsoleTest::Desktop>(script, true);
    MainWidget *copy = m_copy->agent->mainWidget();
    QTRY_VERIFY(copy->isVisible());
    copy->move(QGuiApplication::primaryScreen()->geometry().width() / 2, 0);
    QTRY_VERIFY(m_copy->agent->status()->isConnectionComplete());
    QTRY_COMPARE(MainWindowTest::page(copy), QStringLiteral("loginPage"));
    QTRY_VERIFY(!MainWindowTest::stack(copy)->isSliding());
    QVERIFY(sameView(QStringLiteral("1-signed-out")));

    // Sign in: the e-mail field, the password by Tab, Return.
    xdotool({ QStringLiteral("windowfocus"), QStringLiteral("--sync"), m_window });
    auto userField = child<QLineEdit>(copy, "leUser");
    click(userField, centre(userField));
    xdotool({ QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), user });
    xdotool({ QStringLiteral("key"), QStringLiteral("Tab") });
    xdotool({ QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), password });
    xdotool({ QStringLiteral("key"), QStringLiteral("Return") });
    QTest::keyClicks(userField, user);
    QTest::keyClicks(child<QLineEdit>(copy, "lePassword"), password);
    QTest::keyClick(child<QLineEdit>(copy, "lePassword"), Qt::Key_Return);
    QTRY_COMPARE(sent(QStringLiteral("setCredentials")), QStringList { "[\"user@example.com\",\"Pa55-word!\"]" });
    QTRY_COMPARE(m_copy->agent->status()->state(), int(ServiceStatus::NothingProtected));
    QTRY_COMPARE(MainWindowTest::page(copy), QStringLiteral("welcomePage"));
    QTRY_VERIFY(!MainWindowTest::stack(copy)->isSliding());
    QVERIFY(sameView(QStringLiteral("2-signed-in")));

    // The status text's Settings link, then the common settings and the Internet Connections tab.
    auto status = child<QLabel>(copy, "lblAgentStatus");
    // Found by hovering over the copy's label.
    const QPoint settingsLink = MainWindowTest::linkPoint(status, QStringLiteral("agent:showsettings"));
    QVERIFY(settingsLink.x() >= 0);
    click(status, settingsLink);
    QTRY_COMPARE(MainWindowTest::page(copy), QStringLiteral("settingsPage"));
    QTRY_VERIFY(!MainWindowTest::stack(copy)->isSliding());
    QVERIFY(sameView(QStringLiteral("3-settings")));
    auto common = child<QCommandLinkButton>(copy, "clbCommonSettings");
    click(common, centre(common));
    QTRY_COMPARE(MainWindowTest::page(copy), QStringLiteral("commonSettingsPage"));
    QTRY_VERIFY(!MainWindowTest::stack(copy)->isSliding());
    QVERIFY(sameView(QStringLiteral("4-common-settings")));
    QTabBar *tabs = child<QTabWidget>(copy, "settingsTabWidget")->tabBar();
    click(tabs, tabs->tabRect(1).center());
    QVERIFY(sameView(QStringLiteral("5-connections")));

    // Protect the wired network.
    auto networks = child<QListWidget>(copy, "lstNetworks");
    click(networks->viewport(), networks->visualItemRect(networks->item(0)).center());
    QTRY_COMPARE(sent(QStringLiteral("setNetworkProtection")), QStringList { "[\"eth0\",true,[]]" });
    QTRY_COMPARE(networks->item(0)->checkState(), Qt::Checked);
    QVERIFY(sameView(QStringLiteral("6-protected")));

    // Pick the other profile in the General tab's box: its list opens, one down, Return.
    click(tabs, tabs->tabRect(0).center());
    QVERIFY(sameView(QStringLiteral("7-general")));
    auto profiles = child<QComboBox>(copy, "cmbProfile");
    QCOMPARE(profiles->currentText(), QStringLiteral("Home"));
    const QPoint box = profiles->mapTo(copy, centre(profiles));
    xdotool({ QStringLiteral("mousemove"), QStringLiteral("--window"), m_window, QString::number(box.x()),
        QString::number(box.y()), QStringLiteral("click"), QStringLiteral("1") });
    xdotool({ QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("100"), QStringLiteral("Down"),
        QStringLiteral("Return") });
    QTRY_COMPARE(sent(QStringLiteral("setProfile")), QStringList { "[2]" });
    xdotool({ QStringLiteral("mousemove"), QStringLiteral("1270"), QStringLiteral("1010") });
    profiles->setCurrentIndex(1);
    QTRY_COMPARE(m_copy->agent->status()->state(), int(ServiceStatus::Protected));
    QVERIFY(sameView(QStringLiteral("8-profile")));

    // The password went to the service once, as typed, and nowhere into the program's own output.
    QCOMPARE(sent(QStringLiteral("setCredentials")).size(), 1);
    const QByteArray output = m_program->readAll();
    QVERIFY2(!output.contains(password.toUtf8()), output.constData());
}

int main(int argc, char **argv)
{
    ConsoleTest::prepareProcess();
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    tst_MainWidgetEndToEnd tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_mainwidgetendtoend.moc"
