#include "reportscreenshots.h"

#include "consoletest.h"
#include "vendorsitefixture.h"
#include "widgetpictures.h"

#include "app/agent.h"
#include "mainwindow/mainwidget.h"
#include "mainwindow/updatedialog.h"

#include <QApplication>
#include <QDir>
#include <QJsonObject>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

const QStringList shots = { "update-dialog", "update-dialog-details", "report-wait-box", "report-dialog" };

QVariantMap reportScript()
{
    QVariantMap script = ConsoleTest::script(QStringLiteral("protected"));
    QVariantMap answers = script.value(QStringLiteral("answers")).toMap();
    // Long enough for the wait box to be seen.
    answers.insert(QStringLiteral("systemInfo"),
        QVariantMap { { QStringLiteral("delay"), 1500 },
            { QStringLiteral("result"),
                QStringLiteral("Local DNS: 127.0.0.1:53\nGateway interfase:192.168.1.20 dns address:127.0.0.1\n"
                               "There are no proxy in system setings\nIdentification type is Token\n"
                               "black.velmor.example.token:102 = agent.tocken:102\n") } });
    script.insert(QStringLiteral("answers"), answers);
    return script;
}

} // namespace

QStringList reportPictures()
{
    QStringList names;
    for (const QString &shot : shots)
        names << shot + QStringLiteral("@1x.png") << shot + QStringLiteral("@2x.png");
    return names;
}

int saveReportPictures(const QString &folder)
{
    // The other pictures' desktops check for updates against a closed port; these against the test site.
    const QByteArray otherSite = qgetenv("VELMOR_VENDOR_SITE");
    VendorSiteFixture site;
    if (!site.isRunning())
        return 0;
    site.setConfig(QJsonObject { { "routes",
        QJsonObject { { "/downloads/agent.version",
            QJsonObject { { "body", "2.4.1\nFaster start.\nThe report names the browsers' proxies.\n" } } } } } });
    int saved = 0;
    {
        ConsoleTest::Desktop desktop(reportScript(), true);
        Agent *agent = desktop.agent.get();

        if (QTest::qWaitFor([agent] { return agent->updateDialog() && agent->updateDialog()->isVisible(); }, 20000)) {
            UpdateDialog *dialog = agent->updateDialog();
            saved += saveAtBothScales(dialog, folder, shots.at(0));
            dialog->findChild<QPushButton *>(QStringLiteral("details"))->click();
            saved += saveAtBothScales(dialog, folder, shots.at(1));
            dialog->close();
        }

        if (QTest::qWaitFor([agent] { return agent->status()->isConnectionComplete(); }, 20000)) {
            bool reportSeen = false;
            QTimer watch;
            QObject::connect(&watch, &QTimer::timeout, [&] {
                auto *modal = QApplication::activeModalWidget();
                if (modal && modal->objectName() == QLatin1String("SystemReportDlg") && !reportSeen) {
                    reportSeen = true;
                    saved += saveAtBothScales(modal, folder, shots.at(3));
                    static_cast<QDialog *>(modal)->accept();
                }
            });
            watch.start(20);
            agent->mainWidget()->show();
            agent->generateSystemReport();
            auto *box = agent->mainWidget()->findChild<QMessageBox *>(QStringLiteral("SystemReportWaitBox"));
            if (box && QTest::qWaitFor([box] { return box->isVisible(); }, 10000))
                saved += saveAtBothScales(box, folder, shots.at(2));
            (void)QTest::qWaitFor([&reportSeen] { return reportSeen; }, 20000);
        }
    }
    qputenv("VELMOR_VENDOR_SITE", otherSite);
    return saved;
}
