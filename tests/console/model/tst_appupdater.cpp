#include "scratchroot.h"
#include "vendorsitefixture.h"

#include "mainwindow/updatedialog.h"
#include "mainwindow/updateprompt.h"
#include "model/appupdater.h"

#include "platform/userfolders.h"
#include "velmorwire/sysinfo.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QJsonArray>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

// The updater in-process against the vendor's test site, whose authority is trusted the way the program trusts the
// machine's roots.
class tst_AppUpdater : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void offers_data();
    void offers();
    void downloadAddress_data();
    void downloadAddress();
    void versionRequestHeaders();
    void untrustedVersionFileOffersNothing();
    void download_data();
    void download();
    void cancelledDownload();
    void hiddenDialogKeepsTheDownload();
    void fullDisk();
    void fileNameFromTheAnswer_data();
    void fileNameFromTheAnswer();
    void emptyDownloadHidesTheDialog();
    void checkBoxGuard();
    void checkDuringCheckStartsNothing();
    void checkDuringDownloadKeepsItsDialog_data();
    void checkDuringDownloadKeepsItsDialog();
    void checkResult_data();
    void checkResult();

private:
    // An updater whose check has ended (null when it did not), with the default download address or none.
    std::unique_ptr<AppUpdater> checkedUpdater(bool withDefaultDownload = true);
    // One whose check found a newer version and shows its dialog.
    std::unique_ptr<AppUpdater> offeringUpdater();
    QJsonObject routes(const QJsonObject &installer, const QByteArray &versionFile = "2.4\n") const;
    bool runDownload(AppUpdater *updater);
    QStringList tempFiles() const;

    std::unique_ptr<VendorSiteFixture> m_site;
    std::unique_ptr<TestSupport::ScratchRoot> m_root;
};

namespace {

// The dialog the program's prompt opened for the updater's offer, if any.
UpdateDialog *dialogOf(const AppUpdater &updater)
{
    const auto *prompt = updater.findChild<UpdatePrompt *>();
    return prompt ? prompt->dialog() : nullptr;
}

} // namespace

namespace {

const QString versionPath = QStringLiteral("/downloads/agent.version");
const QString installerPath = QStringLiteral("/downloads/velmor-agent-setup.exe");

} // namespace

void tst_AppUpdater::initTestCase()
{
    m_site = std::make_unique<VendorSiteFixture>();
    QVERIFY(m_site->isRunning());
}

void tst_AppUpdater::init()
{
    // The updater keeps its flag in the program's store.
    m_root = std::make_unique<TestSupport::ScratchRoot>();
    m_root->useSettingsOf(QStringLiteral("Agent"));
    m_site->setConfig(QJsonObject());
    m_site->clearLog();
}

void tst_AppUpdater::cleanup()
{
    m_root.reset();
}

QJsonObject tst_AppUpdater::routes(const QJsonObject &installer, const QByteArray &versionFile) const
{
    return QJsonObject { { "routes",
        QJsonObject { { versionPath, QJsonObject { { "body", QString::fromUtf8(versionFile) } } },
            { installerPath, installer }, { "/files/real.exe", QJsonObject { { "size", 4000 } } } } } };
}

std::unique_ptr<AppUpdater> tst_AppUpdater::checkedUpdater(bool withDefaultDownload)
{
    auto updater = std::make_unique<AppUpdater>(
        QStringLiteral("Velmor Agent"), QUrl(m_site->url("https", versionPath)), QStringLiteral("2.3.63.4"));
    new UpdatePrompt(updater.get());
    if (withDefaultDownload)
        updater->setDownloadUrl(QUrl(m_site->url("https", installerPath)));
    QSignalSpy checked(updater.get(), &AppUpdater::checkFinished);
    updater->check();
    if (!checked.wait(20000))
        return nullptr;
    return updater;
}

std::unique_ptr<AppUpdater> tst_AppUpdater::offeringUpdater()
{
    auto updater = checkedUpdater();
    return updater && dialogOf(*updater) ? std::move(updater) : nullptr;
}

bool tst_AppUpdater::runDownload(AppUpdater *updater)
{
    QSignalSpy finished(updater, &AppUpdater::finished);
    auto *install = dialogOf(*updater)->findChild<QPushButton *>(QStringLiteral("install"));
    if (!install)
        return false;
    install->click();
    return finished.wait(20000) && finished.size() == 1;
}

QStringList tst_AppUpdater::tempFiles() const
{
    return QDir(Velmor::Platform::userTempPath()).entryList(QDir::Files | QDir::Hidden);
}

void tst_AppUpdater::offers_data()
{
    QTest::addColumn<QByteArray>("versionFile");
    QTest::addColumn<bool>("offered");
    QTest::newRow("2.3.63.4.0") << QByteArray("2.3.63.4.0\n") << false;
    QTest::newRow("2.3.63.4.1 has five numbers") << QByteArray("2.3.63.4.1\n") << false;
    QTest::newRow("2.3.9") << QByteArray("2.3.9\n") << false;
    QTest::newRow("2.4") << QByteArray("2.4\n") << true;
    QTest::newRow("2.3.64 with notes") << QByteArray("2.3.64\nFaster.\n") << true;
    QTest::newRow("garbage") << QByteArray("<html>") << false;
}

void tst_AppUpdater::offers()
{
    QFETCH(QByteArray, versionFile);
    QFETCH(bool, offered);
    m_site->setConfig(routes(QJsonObject(), versionFile));
    const auto checked = checkedUpdater();
    QVERIFY(checked);
    AppUpdater &updater = *checked;
    QCOMPARE(dialogOf(updater) != nullptr, offered);
    QCOMPARE(updater.offeredVersion(),
        offered ? QString::fromLatin1(versionFile.left(versionFile.indexOf('\n'))) : QStringLiteral("2.3.63.4"));
    if (offered) {
        QVERIFY(dialogOf(updater)->isVisible());
        QVERIFY(!(dialogOf(updater)->windowFlags() & Qt::WindowContextHelpButtonHint));
        QCOMPARE(dialogOf(updater)->findChild<QPushButton *>(QStringLiteral("details"))->isVisibleTo(dialogOf(updater)),
            !updater.notes().isEmpty());
    }
}

void tst_AppUpdater::downloadAddress_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("withDefault");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("error");

    QTest::newRow("an https address replaces the default")
        << "dl:https://127.0.0.1:1/files/new-setup.exe" << true << "https://127.0.0.1:1/files/new-setup.exe"
        << "";
    QTest::newRow("an http address keeps the default") << "dl:http://127.0.0.1:1/setup.exe" << true << "default"
                                                       << "";
    QTest::newRow("a bad address keeps the default") << "dl:ht tp:// x" << true << "default"
                                                     << "";
    QTest::newRow("an http address without a default") << "dl:http://127.0.0.1:1/setup.exe" << false << ""
                                                       << "Invalid download url";
}

void tst_AppUpdater::downloadAddress()
{
    QFETCH(QString, line);
    QFETCH(bool, withDefault);
    QFETCH(QString, url);
    QFETCH(QString, error);
    m_site->setConfig(routes(QJsonObject(), "2.4\n" + line.toUtf8() + "\nNotes\n"));
    const QUrl defaultUrl(m_site->url("https", installerPath));
    const auto checked = checkedUpdater(withDefault);
    QVERIFY(checked);
    AppUpdater &updater = *checked;
    QCOMPARE(updater.errorText(), error);
    QCOMPARE(dialogOf(updater) != nullptr, error.isEmpty());
    if (error.isEmpty()) {
        QCOMPARE(updater.downloadUrl().toString(), url == QLatin1String("default") ? defaultUrl.toString() : url);
        QCOMPARE(updater.fileName(), updater.downloadUrl().path().section(QLatin1Char('/'), -1));
        QCOMPARE(updater.notes(), QStringLiteral("Notes"));
    }
}

void tst_AppUpdater::versionRequestHeaders()
{
    m_site->setConfig(routes(QJsonObject(), "2.3\n"));
    QVERIFY(checkedUpdater(false));
    const QList<QJsonObject> requests = m_site->requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().value("scheme").toString(), QStringLiteral("https"));
    QCOMPARE(requests.first().value("method").toString(), QStringLiteral("GET"));
    const QJsonObject headers = requests.first().value("headers").toObject();
    QCOMPARE(headers.value("User-Agent").toString(), QString::fromLatin1(Velmor::SysInfo::userAgent()));
    QCOMPARE(headers.value("Cache-Control").toString(), QStringLiteral("no-cache"));
}

void tst_AppUpdater::untrustedVersionFileOffersNothing()
{
    QJsonObject config = routes(QJsonObject(), "9.9\n");
    config.insert("tls", "untrusted");
    m_site->setConfig(config);
    const auto checked = checkedUpdater();
    QVERIFY(checked);
    AppUpdater &updater = *checked;
    QVERIFY(!dialogOf(updater));
    QCOMPARE(updater.offeredVersion(), QStringLiteral("2.3.63.4"));
}

void tst_AppUpdater::download_data()
{
    QTest::addColumn<QJsonObject>("installer");
    QTest::addColumn<QString>("tls");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QString>("error");

    QTest::newRow("complete") << QJsonObject { { "size", 300000 } } << "" << 300000 << "";
    QTest::newRow("no length, ends at close")
        << QJsonObject { { "size", 70000 }, { "length", QJsonValue::Null } } << "" << 70000 << "";
    QTest::newRow("not found") << QJsonObject { { "status", 404 }, { "body", "gone" } } << "" << 0 << "Not Found";
    QTest::newRow("truncated body") << QJsonObject { { "size", 300000 }, { "truncate", 1000 } } << "" << 0 << "";
    QTest::newRow("Content-Length larger than the body")
        << QJsonObject { { "size", 5000 }, { "length", 9000 }, { "truncate", 5000 } } << "" << 0 << "";
    QTest::newRow("self-signed certificate") << QJsonObject { { "size", 1000 } } << "untrusted" << 0 << "";
    QTest::newRow("a redirect to https is followed") << QJsonObject { { "status", 302 },
        { "headers", QJsonObject { { "Location", m_site->url("https", "/files/real.exe") } } } }
                                                     << "" << 4000 << "";
    QTest::newRow("a redirect to http is refused") << QJsonObject { { "status", 302 },
        { "headers", QJsonObject { { "Location", m_site->url("http", "/files/real.exe") } } } }
                                                   << "" << 0 << "";
}

void tst_AppUpdater::download()
{
    QFETCH(QJsonObject, installer);
    QFETCH(QString, tls);
    QFETCH(int, bytes);
    QFETCH(QString, error);
    m_site->setConfig(routes(installer));
    auto updater = offeringUpdater();
    QVERIFY(updater);
    if (!tls.isEmpty()) {
        QJsonObject config = routes(installer);
        config.insert("tls", tls);
        m_site->setConfig(config);
        // A new connection, so the site's new certificate is the one checked.
        updater->networkAccessManager()->clearConnectionCache();
    }
    QVERIFY(runDownload(updater.get()));
    if (bytes == 0) {
        // Never handed over, and nothing left behind.
        QVERIFY(!updater->hasDownloadedFile());
        QCOMPARE(updater->takeDownloadedFile(), QString());
        QVERIFY2(!updater->errorText().isEmpty(), "a failed download says why");
        QVERIFY2(updater->errorText().contains(error), qPrintable(updater->errorText()));
        QCOMPARE(tempFiles(), QStringList());
        QTRY_VERIFY(dialogOf(*updater)->messageLabel()->text().contains(QLatin1String("color:red")));
        return;
    }
    const QString file = updater->takeDownloadedFile();
    QVERIFY(!file.isEmpty());
    QCOMPARE(QFileInfo(file).absolutePath(), Velmor::Platform::userTempPath());
    QCOMPARE(QFileInfo(file).size(), qint64(bytes));
    struct stat info = {};
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, mode_t(0600));
    QFile content(file);
    QVERIFY(content.open(QIODevice::ReadOnly));
    QCOMPARE(content.read(300), QByteArray([] {
        QByteArray pattern;
        for (int i = 0; i < 300; ++i)
            pattern.append(char(i % 256));
        return pattern;
    }()));
    QCOMPARE(updater->takeDownloadedFile(), QString());
}

void tst_AppUpdater::cancelledDownload()
{
    m_site->setConfig(routes(QJsonObject { { "silent", true } }));
    auto updater = offeringUpdater();
    QVERIFY(updater);
    QSignalSpy finished(updater.get(), &AppUpdater::finished);
    dialogOf(*updater)->findChild<QPushButton *>(QStringLiteral("install"))->click();
    QTRY_VERIFY(updater->isDownloading());
    // Escape rejects the dialog, which aborts the download.
    QTest::keyClick(dialogOf(*updater), Qt::Key_Escape);
    QTRY_COMPARE(finished.size(), 1);
    QVERIFY(!updater->hasDownloadedFile());
    QCOMPARE(tempFiles(), QStringList());
}

void tst_AppUpdater::hiddenDialogKeepsTheDownload()
{
    m_site->setConfig(routes(QJsonObject { { "size", 500000 } }));
    auto updater = offeringUpdater();
    QVERIFY(updater);
    QPointer<UpdateDialog> dialog = dialogOf(*updater);
    QSignalSpy finished(updater.get(), &AppUpdater::finished);
    dialog->findChild<QPushButton *>(QStringLiteral("install"))->click();
    auto *hide = dialog->findChild<QPushButton *>(QStringLiteral("hide"));
    QVERIFY(hide->isVisibleTo(dialog));
    hide->click();
    QTRY_VERIFY(dialog.isNull());
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
    QVERIFY(updater->hasDownloadedFile());
    QCOMPARE(QFileInfo(updater->takeDownloadedFile()).size(), qint64(500000));
}

void tst_AppUpdater::fullDisk()
{
    m_site->setConfig(routes(QJsonObject { { "size", 2000000 } }));
    auto updater = offeringUpdater();
    QVERIFY(updater);
    rlimit previous = {};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = previous;
    limited.rlim_cur = 256 * 1024;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool ran = runDownload(updater.get());
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    QVERIFY(ran);
    QVERIFY(!updater->hasDownloadedFile());
    QVERIFY2(updater->errorText().startsWith(QLatin1String("The download could not be written: ")),
        qPrintable(updater->errorText()));
    QCOMPARE(tempFiles(), QStringList());
}

void tst_AppUpdater::fileNameFromTheAnswer_data()
{
    QTest::addColumn<QString>("disposition");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("quoted path") << "attachment; filename=\"builds/velmor-2.4-setup.exe\""
                                 << "velmor-2.4-setup.exe";
    QTest::newRow("unquoted") << "attachment; filename=velmor-2.4-setup.exe"
                              << "velmor-agent-setup.exe";
}

void tst_AppUpdater::fileNameFromTheAnswer()
{
    QFETCH(QString, disposition);
    QFETCH(QString, fileName);
    m_site->setConfig(routes(
        QJsonObject { { "size", 1000 }, { "headers", QJsonObject { { "Content-Disposition", disposition } } } }));
    auto updater = offeringUpdater();
    QVERIFY(updater);
    QCOMPARE(updater->fileName(), QStringLiteral("velmor-agent-setup.exe"));
    QSignalSpy changed(updater.get(), &AppUpdater::fileNameChanged);
    QVERIFY(runDownload(updater.get()));
    QCOMPARE(updater->fileName(), fileName);
    QCOMPARE(changed.isEmpty(), fileName == QLatin1String("velmor-agent-setup.exe"));
}

void tst_AppUpdater::emptyDownloadHidesTheDialog()
{
    m_site->setConfig(routes(QJsonObject { { "body", "" } }));
    auto updater = offeringUpdater();
    QVERIFY(updater);
    UpdateDialog *dialog = dialogOf(*updater);
    QVERIFY(runDownload(updater.get()));
    QTRY_COMPARE(dialog->progressBar()->value(), 100);
    QVERIFY(dialog->isHidden());
    QVERIFY(updater->hasDownloadedFile());
}

void tst_AppUpdater::checkBoxGuard()
{
    m_site->setConfig(routes(QJsonObject()));
    auto updater = offeringUpdater();
    QVERIFY(updater);
    auto *box = dialogOf(*updater)->findChild<QCheckBox *>(QStringLiteral("dontCheck"));
    QVERIFY(box && !box->isChecked());
    QSignalSpy reported(updater.get(), &AppUpdater::checksEnabledChanged);
    updater->setChecksEnabled(false);
    QVERIFY(box->isChecked());
    QCOMPARE(reported.size(), 1);
    box->click();
    QCOMPARE(reported.size(), 2);
    QCOMPARE(reported.last().first().toBool(), true);
    QVERIFY(updater->checksEnabled());
}

void tst_AppUpdater::checkDuringCheckStartsNothing()
{
    m_site->setConfig(routes(QJsonObject { { "size", 1000 } }, "2.3.63.4\n"));
    AppUpdater updater(
        QStringLiteral("Velmor Agent"), QUrl(m_site->url("https", versionPath)), QStringLiteral("2.3.63.4"));
    QSignalSpy finished(&updater, &AppUpdater::checkFinished);
    updater.check();
    QVERIFY(updater.isChecking());
    updater.check();
    QVERIFY(finished.wait(20000));
    QVERIFY(!updater.isChecking());
    // Once the check has ended, the next one goes out.
    updater.check();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 20000);
    QCOMPARE(m_site->requests().size(), 2);
    QCOMPARE(updater.checkResult(), AppUpdater::NothingNewer);
}

void tst_AppUpdater::checkDuringDownloadKeepsItsDialog_data()
{
    QTest::addColumn<bool>("hidden");
    QTest::newRow("dialog open") << false;
    QTest::newRow("dialog hidden") << true;
}

// The installer's server holds the download; a check meanwhile finds the same version. The dialog the user sees
// is the download's: its progress, no "Install now" that would start nothing.
void tst_AppUpdater::checkDuringDownloadKeepsItsDialog()
{
    QFETCH(bool, hidden);
    m_site->setConfig(routes(QJsonObject { { "silent", true } }));
    auto updater = offeringUpdater();
    QVERIFY(updater);
    QPointer<UpdateDialog> dialog = dialogOf(*updater);
    dialog->findChild<QPushButton *>(QStringLiteral("install"))->click();
    QVERIFY(updater->isDownloading());
    QTRY_VERIFY(!m_site->requests().isEmpty()
        && m_site->requests().constLast().value(QLatin1String("path")).toString() == installerPath);
    if (hidden) {
        dialog->findChild<QPushButton *>(QStringLiteral("hide"))->click();
        QTRY_VERIFY(dialog.isNull());
    }
    QSignalSpy checked(updater.get(), &AppUpdater::checkFinished);
    updater->check();
    QVERIFY(checked.wait(20000));
    QVERIFY(updater->isDownloading());
    QCOMPARE(updater->checkResult(), AppUpdater::NewerOffered);
    UpdateDialog *now = dialogOf(*updater);
    QVERIFY(now);
    if (!hidden)
        QCOMPARE(now, dialog.data());
    QTRY_VERIFY(now->isVisible());
    QVERIFY(!now->findChild<QPushButton *>(QStringLiteral("install"))->isVisibleTo(now));
    QVERIFY(now->progressBar()->isVisibleTo(now));
    // The download the dialog shows is the one that runs: cancelling it ends it.
    QSignalSpy finished(updater.get(), &AppUpdater::finished);
    updater->cancelDownload();
    QTRY_COMPARE(finished.size(), 1);
    QVERIFY(!updater->isDownloading());
}

void tst_AppUpdater::checkResult_data()
{
    QTest::addColumn<QJsonObject>("versionRoute");
    QTest::addColumn<AppUpdater::CheckResult>("result");
    QTest::addColumn<QString>("error");
    QTest::newRow("newer") << QJsonObject { { "body", "2.4\n" } } << AppUpdater::NewerOffered << QString();
    QTest::newRow("the same") << QJsonObject { { "body", "2.3.63.4\n" } } << AppUpdater::NothingNewer << QString();
    QTest::newRow("server error") << QJsonObject { { "status", 500 }, { "reason", "Broken" } }
                                  << AppUpdater::CheckFailed << "The server answered 500 Broken";
    QTest::newRow("no version in the file") << QJsonObject { { "body", "not a version\n" } } << AppUpdater::CheckFailed
                                            << "The published version could not be read";
}

void tst_AppUpdater::checkResult()
{
    QFETCH(QJsonObject, versionRoute);
    QFETCH(AppUpdater::CheckResult, result);
    QFETCH(QString, error);
    QJsonObject config = routes(QJsonObject { { "size", 1000 } });
    QJsonObject paths = config.value("routes").toObject();
    paths.insert(versionPath, versionRoute);
    config.insert("routes", paths);
    m_site->setConfig(config);
    auto updater = checkedUpdater();
    QVERIFY(updater);
    QCOMPARE(updater->checkResult(), result);
    QCOMPARE(updater->errorText(), error);
}

QTEST_MAIN(tst_AppUpdater)
#include "tst_appupdater.moc"
