#include "appupdater.h"

#include "consolesettings.h"
#include "versionfile.h"

#include "platform/userfolders.h"
#include "velmorwire/sysinfo.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryFile>

namespace {

// TLS errors are not ignored, and a redirect may not leave https for http.
QNetworkRequest guardedRequest(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    return request;
}

// What the network thread may hold of the reply before it is written out. Small enough that a chunk is still in
// the processor's cache when it is copied to the file: a buffer of megabytes made the download run at half the
// rate of curl writing the same file, and much smaller ones stop the network thread too often.
const qint64 readBufferSize = 64 * 1024;

bool isSuccessStatus(const QNetworkReply *reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() && status.toInt() >= 200 && status.toInt() < 300;
}

} // namespace

AppUpdater::AppUpdater(const QString &title, const QUrl &versionUrl, const QString &currentVersion, QObject *parent)
    : QObject(parent)
    , m_checksEnabled(ConsoleSettings().newVersionChecks())
    , m_writeFailed(false)
    , m_manager(nullptr)
    , m_download(nullptr)
    , m_checkResult(NothingNewer)
    , m_file(nullptr)
    , m_written(0)
    , m_title(title)
    , m_versionUrl(versionUrl)
    , m_currentVersion(currentVersion)
    , m_offeredVersion(currentVersion)
{ }

AppUpdater::~AppUpdater()
{
    if (m_download) {
        m_download->disconnect(this);
        m_download->abort();
    }
}

QNetworkAccessManager *AppUpdater::networkAccessManager()
{
    if (!m_manager)
        m_manager = new QNetworkAccessManager(this);
    return m_manager;
}

bool AppUpdater::hasDownloadedFile() const
{
    return m_file && !m_file->fileName().isEmpty();
}

QList<uint> AppUpdater::versionNumbers(const QString &version)
{
    return ::versionNumbers(version);
}

void AppUpdater::setChecksEnabled(bool enabled)
{
    m_checksEnabled = enabled;
    ConsoleSettings().setNewVersionChecks(enabled);
    Q_EMIT checksEnabledChanged(enabled);
}

void AppUpdater::check()
{
    if (m_check)
        return;
    QNetworkRequest request = guardedRequest(m_versionUrl);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setRawHeader("User-Agent", Velmor::SysInfo::userAgent());
    m_check = networkAccessManager()->get(request);
    connect(m_check, &QNetworkReply::finished, this, &AppUpdater::reply_versionCheckFinished);
}

QString AppUpdater::versionRequestFailure(QNetworkReply *reply)
{
    // The server's own answer says more than the transfer error Qt makes of it.
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && !isSuccessStatus(reply)) {
        return tr("The server answered %1 %2")
            .arg(status.toString(), reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
    }
    if (reply->error() != QNetworkReply::NoError)
        return reply->errorString();
    if (!status.isValid())
        return tr("The server did not answer");
    return QString();
}

void AppUpdater::reply_versionCheckFinished()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return;
    reply->deleteLater();
    if (reply == m_check)
        m_check = nullptr;
    m_errorText = versionRequestFailure(reply);
    m_checkResult = m_errorText.isEmpty() ? NothingNewer : CheckFailed;
    if (m_checkResult == NothingNewer) {
        const VersionFile offer = readVersionFile(reply->readAll());
        if (!offer.valid) {
            m_errorText = tr("The published version could not be read");
            m_checkResult = CheckFailed;
        } else if (m_download) {
            // The offer belongs to the running download.
            if (isNewerVersion(offer.version, m_currentVersion))
                m_checkResult = NewerOffered;
            Q_EMIT offerFound(m_download);
        } else if (isNewerVersion(offer.version, m_currentVersion)) {
            m_notes = offer.notes;
            // A "dl:" line that is no https address leaves the address as it was.
            if (isAcceptableDownloadUrl(offer.downloadUrl))
                m_downloadUrl = offer.downloadUrl;
            if (isAcceptableDownloadUrl(m_downloadUrl)) {
                m_offeredVersion = offer.version;
                m_fileName = m_downloadUrl.path().section(QLatin1Char('/'), -1);
                m_checkResult = NewerOffered;
                Q_EMIT offerFound(nullptr);
            } else {
                m_errorText = tr("Invalid download url");
                m_checkResult = CheckFailed;
            }
        }
    }
    Q_EMIT checkFinished();
}

void AppUpdater::dropDownloadedFile()
{
    delete m_file;
    m_file = nullptr;
}

void AppUpdater::download()
{
    if (m_download)
        return;
    dropDownloadedFile();
    m_errorText.clear();
    m_writeFailed = false;
    m_written = 0;
    const QString folder = Velmor::Platform::userTempPath();
    m_file = new QTemporaryFile(folder + QStringLiteral("/velmor-download-XXXXXX"), this);
    if (folder.isEmpty() || !m_file->open()) {
        m_errorText = folder.isEmpty() ? tr("The temporary folder is not available")
                                       : tr("The download could not be written: %1").arg(m_file->errorString());
        dropDownloadedFile();
        Q_EMIT finished();
        return;
    }
    if (!isAcceptableDownloadUrl(m_downloadUrl)) {
        m_errorText = tr("Invalid download url");
        dropDownloadedFile();
        Q_EMIT finished();
        return;
    }
    m_download = networkAccessManager()->get(guardedRequest(m_downloadUrl));
    // What the reply holds before it reaches the file stays small, whatever the installer's size.
    m_download->setReadBufferSize(readBufferSize);
    connect(m_download, &QNetworkReply::metaDataChanged, this, &AppUpdater::reply_metaDataCahnged);
    connect(m_download, &QNetworkReply::downloadProgress, this, &AppUpdater::reply_downloadProgress);
    // A full read buffer holds the reply back until it is read, and only readyRead says it has more.
    connect(m_download, &QIODevice::readyRead, this, &AppUpdater::reply_downloadProgress);
    connect(m_download, &QNetworkReply::finished, this, &AppUpdater::reply_downloadFinished);
    Q_EMIT downloadStarted(m_download);
}

void AppUpdater::cancelDownload()
{
    if (m_download)
        m_download->abort();
}

void AppUpdater::reply_metaDataCahnged()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return;
    const QString name = contentDispositionFileName(reply->rawHeader("Content-Disposition"));
    if (!name.isEmpty()) {
        m_fileName = name;
        Q_EMIT fileNameChanged();
    }
}

bool AppUpdater::storeAvailable(QNetworkReply *reply)
{
    if (m_writeFailed || !m_file)
        return false;
    // One buffer for the whole download rather than a fresh allocation for every chunk.
    if (m_chunk.size() != readBufferSize)
        m_chunk.resize(readBufferSize);
    while (reply->bytesAvailable() > 0) {
        const qint64 read = reply->read(m_chunk.data(), m_chunk.size());
        if (read <= 0)
            break;
        // Unflushed bytes would hide a full disk until the file is closed.
        if (m_file->write(m_chunk.constData(), read) != read || !m_file->flush()) {
            m_errorText = tr("The download could not be written: %1").arg(m_file->errorString());
            m_writeFailed = true;
            return false;
        }
        m_written += read;
    }
    return true;
}

void AppUpdater::reply_downloadProgress()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (reply && !storeAvailable(reply) && m_writeFailed)
        reply->abort();
}

void AppUpdater::reply_downloadFinished()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply || reply != m_download)
        return;
    bool complete = false;
    if (m_writeFailed) {
        // The file's error text is kept.
    } else if (reply->error() != QNetworkReply::NoError) {
        m_errorText = reply->errorString();
    } else if (!isSuccessStatus(reply)) {
        m_errorText = tr("The server answered %1 %2")
                          .arg(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toString(),
                              reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
    } else if (storeAvailable(reply)) {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        // A compressed body is counted after unpacking, so only a plain one can be held against its length.
        const bool plain = reply->rawHeader("Content-Encoding").isEmpty()
            || reply->rawHeader("Content-Encoding").compare("identity", Qt::CaseInsensitive) == 0;
        if (plain && length.isValid() && m_written < length.toLongLong())
            m_errorText = tr("The download ended after %1 of %2 bytes").arg(m_written).arg(length.toLongLong());
        else
            complete = true;
    }
    if (complete)
        m_file->close();
    else
        dropDownloadedFile();
    m_chunk = QByteArray();
    reply->deleteLater();
    m_download = nullptr;
    Q_EMIT finished();
}

QString AppUpdater::takeDownloadedFile()
{
    if (!m_file)
        return QString();
    const QString name = m_file->fileName();
    m_file->setAutoRemove(false);
    m_file->close();
    dropDownloadedFile();
    return name;
}
