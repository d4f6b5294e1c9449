// Saves pictures of the update dialog, the report's wait box and the report dialog as a person sees them. Run
// under a display (scripts/screenshots uses xvfb-run):
//   console_report_screenshots <folder>          writes the PNGs
//   console_report_screenshots --check <folder>  exits 1 unless every PNG is there and shows more than one colour
#include "consoletest.h"
#include "fakeservice.h"
#include "screenshotcheck.h"
#include "vendorsitefixture.h"

#include "mainwindow/mainwidget.h"
#include "shell/agent.h"
#include "shell/appupdater.h"
#include "shell/updatedialog.h"

#include <QApplication>
#include <QDir>
#include <QJsonObject>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

const QStringList pictures
    = { "update-dialog.png", "update-dialog-details.png", "report-wait-box.png", "report-dialog.png" };

// The window as its widgets draw it.
bool save(QWidget *window, const QString &path)
{
    QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    QPixmap shot = window->grab();
    return !shot.isNull() && shot.save(path);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--check") == 0)
        return ScreenshotCheck::check(QString::fromLocal8Bit(argv[2]), pictures);
    if (argc != 2) {
        fprintf(stderr, "usage: %s <folder> | --check <folder>\n", argv[0]);
        return 2;
    }
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qputenv("XDG_SESSION_ID", "report-screenshots");
    QApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    VendorSiteFixture site;
    if (!site.isRunning()) {
        fprintf(stderr, "the vendor test site did not start\n");
        return 1;
    }
    site.setConfig(QJsonObject { { "routes",
        QJsonObject { { "/downloads/agent.version",
            QJsonObject { { "body", "2.4.1\nFaster start.\nThe report names the browsers' proxies.\n" } } } } } });

    QVariantMap script = ConsoleTest::script(QStringLiteral("protected"));
    QVariantMap answers = script.value(QStringLiteral("answers")).toMap();
    answers.insert(QStringLiteral("systemInfo"),
        QVariantMap { { QStringLiteral("delay"), 1500 },
            { QStringLiteral("result"),
                QStringLiteral("Local DNS: 127.0.0.1:53\nGateway interfase:192.168.1.20 dns address:127.0.0.1\n"
                               "There are no proxy in system setings\nIdentification type is Token\n"
                               "black.velmor.example.token:102 = agent.tocken:102\n") } });
    script.insert(QStringLiteral("answers"), answers);
    ConsoleTest::Desktop desktop(script, true);
    Agent *agent = desktop.agent.get();
    int saved = 0;

    AppUpdater *updater = agent->updater();
    if (ScreenshotCheck::waitFor([updater] { return updater->dialog() && updater->dialog()->isVisible(); })) {
        UpdateDialog *dialog = updater->dialog();
        saved += save(dialog, QDir(folder).filePath(QStringLiteral("update-dialog.png")));
        dialog->findChild<QPushButton *>(QStringLiteral("details"))->click();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
        saved += save(dialog, QDir(folder).filePath(QStringLiteral("update-dialog-details.png")));
        dialog->close();
    }

    if (ScreenshotCheck::waitFor([agent] { return agent->isConnectionComplete(); })) {
        QDialog *report = nullptr;
        QTimer watch;
        watch.setInterval(20);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto *modal = QApplication::activeModalWidget();
            if (modal && modal->objectName() == QLatin1String("SystemReportDlg") && !report) {
                report = static_cast<QDialog *>(modal);
                saved += save(report, QDir(folder).filePath(QStringLiteral("report-dialog.png")));
                report->accept();
            }
        });
        watch.start();
        agent->mainWidget()->show();
        agent->generateSystemReport();
        auto *box = agent->mainWidget()->findChild<QMessageBox *>(QStringLiteral("SystemReportWaitBox"));
        if (box && ScreenshotCheck::waitFor([box] { return box->isVisible(); }))
            saved += save(box, QDir(folder).filePath(QStringLiteral("report-wait-box.png")));
        ScreenshotCheck::waitFor([&report] { return report != nullptr; });
    }
    printf("saved %d pictures in %s\n", saved, qPrintable(folder));
    return saved == pictures.size() ? 0 : 1;
}
