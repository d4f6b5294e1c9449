// The updater's download of a 200 MB installer from the vendor's test site over https, beside curl fetching the same
// address in the same run into a file on the same file system, as the updater does: the ratio of the two rates (aim:
// the updater within 10 % of curl), and how far the download raises the process's peak resident set (aim: under 32 MB).
#include "model/appupdater.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

const qint64 size = 200 * 1000 * 1000;

qint64 residentKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

bool waitLine(QProcess &process)
{
    QElapsedTimer timer;
    timer.start();
    while (!process.canReadLine() && timer.elapsed() < 60000)
        process.waitForReadyRead(1000);
    return process.canReadLine();
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir folder;
    qputenv("VELMOR_ROOT", QFile::encodeName(folder.filePath(QStringLiteral("root"))));
    const QString config = folder.filePath(QStringLiteral("config.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(QJsonDocument(
        QJsonObject {
            { "routes", QJsonObject { { "/downloads/velmor-agent-setup.exe", QJsonObject { { "size", size } } } } } })
                   .toJson());
    file.close();

    QProcess site;
    site.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    site.start(QStringLiteral("python3"),
        { QStringLiteral(VELMOR_SOURCE_DIR "/tests/fixtures/vendor_site.py"), QStringLiteral("--pki"),
            folder.filePath(QStringLiteral("pki")), QStringLiteral("--config"), config });
    if (!site.waitForStarted() || !waitLine(site)) {
        fprintf(stderr, "the vendor test site did not start\n");
        return 1;
    }
    const QJsonObject ready = QJsonDocument::fromJson(site.readLine()).object();
    const QString ca = ready.value(QLatin1String("ca")).toString();
    const QString url
        = QStringLiteral("https://127.0.0.1:%1/downloads/velmor-agent-setup.exe").arg(ready.value("port").toInt());
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setCaCertificates(tls.caCertificates() + QSslCertificate::fromPath(ca));
    QSslConfiguration::setDefaultConfiguration(tls);

    // curl first, so the site's certificates and caches are warm for both.
    QElapsedTimer timer;
    QProcess curl;
    timer.start();
    const QString curlFile = folder.filePath(QStringLiteral("curl-download"));
    curl.start(QStringLiteral("curl"),
        { QStringLiteral("-sf"), QStringLiteral("--cacert"), ca, QStringLiteral("-o"), curlFile, url });
    if (!curl.waitForFinished(300000) || curl.exitCode() != 0) {
        fprintf(stderr, "curl failed\n");
        return 1;
    }
    const double curlSeconds = timer.nsecsElapsed() / 1e9;
    const qint64 curlBytes = QFile(curlFile).size();
    QFile::remove(curlFile);

    AppUpdater updater(QStringLiteral("Velmor Agent"), QUrl(), QStringLiteral("2.3.63.4"));
    updater.setDownloadUrl(QUrl(url));
    QEventLoop loop;
    QObject::connect(&updater, &AppUpdater::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(300000, &loop, &QEventLoop::quit);
    const qint64 before = residentKiB("VmRSS:");
    timer.restart();
    QMetaObject::invokeMethod(&updater, "download");
    loop.exec();
    if (!updater.hasDownloadedFile()) {
        fprintf(stderr, "the download failed: %s\n", qPrintable(updater.errorText()));
        return 1;
    }
    const double ourSeconds = timer.nsecsElapsed() / 1e9;
    const qint64 peak = residentKiB("VmHWM:");
    const QString downloaded = updater.takeDownloadedFile();
    const qint64 bytes = QFile(downloaded).size();
    QFile::remove(downloaded);

    printf("download of %lld bytes to a file: updater %.1f MB/s, curl %.1f MB/s, rate ratio (updater/curl) %.2f "
           "(aim: at least 0.90)\n",
        bytes, size / ourSeconds / 1e6, size / curlSeconds / 1e6, curlSeconds / ourSeconds);
    printf("peak resident set growth during the download: %.1f MB (aim: under 32 MB)\n", (peak - before) / 1024.0);
    site.closeWriteChannel();
    site.waitForFinished(5000);
    return bytes == size && curlBytes == size ? 0 : 1;
}
