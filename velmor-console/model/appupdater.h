#ifndef VELMOR_CONSOLE_APPUPDATER_H
#define VELMOR_CONSOLE_APPUPDATER_H

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QTemporaryFile;

// Finds out whether a newer version is published, says so for the offer to be shown, and downloads the installer into a
// file of the user's temporary folder. TLS is verified for both requests and redirects never leave https; a
// download counts only when it is complete (a 2xx answer, every announced byte, every byte written), otherwise
// its file is deleted. finished() hands a complete file to whoever takes it.
// The updater owns the program's update-check flag: it reads the stored flag when made and stores every change,
// and whoever shows the flag follows checksEnabledChanged().
class AppUpdater : public QObject
{
    Q_OBJECT

public:
    // What the last version check came to.
    enum CheckResult {
        NothingNewer = 0,
        NewerOffered = 1,
        CheckFailed = 2,
    };
    Q_ENUM(CheckResult)

    AppUpdater(const QString &title, const QUrl &versionUrl, const QString &currentVersion, QObject *parent = nullptr);
    ~AppUpdater() override;

    QNetworkAccessManager *networkAccessManager();

    bool checksEnabled() const { return m_checksEnabled; }

    QString title() const { return m_title; }
    QUrl versionUrl() const { return m_versionUrl; }
    QUrl downloadUrl() const { return m_downloadUrl; }
    void setDownloadUrl(const QUrl &url) { m_downloadUrl = url; }
    QString currentVersion() const { return m_currentVersion; }
    QString offeredVersion() const { return m_offeredVersion; }
    QString fileName() const { return m_fileName; }
    QString errorText() const { return m_errorText; }
    QString notes() const { return m_notes; }
    bool hasDownloadedFile() const;
    bool isDownloading() const { return m_download != nullptr; }
    bool isChecking() const { return !m_check.isNull(); }
    CheckResult checkResult() const { return m_checkResult; }

    // The downloaded file's name, now the caller's (it is no longer removed); empty when there is none.
    QString takeDownloadedFile();

    static QList<uint> versionNumbers(const QString &version);

Q_SIGNALS:
    void fileNameChanged();
    void downloadStarted(QNetworkReply *reply);
    void checkFinished();
    void finished();
    void detailsChanged();
    // A newer version is to be offered; runningDownload is the download of it already under way, or null.
    void offerFound(QNetworkReply *runningDownload);
    // The checks were switched, by whoever: the update dialog and the settings page show it.
    void checksEnabledChanged(bool enabled);

public Q_SLOTS:
    // Stores the flag as well.
    void setChecksEnabled(bool enabled);
    // Asks for the published version; while a check runs, another one starts nothing and ends with it.
    void check();
    void cancelDownload();
    void download();

private Q_SLOTS:
    void reply_versionCheckFinished();
    void reply_metaDataCahnged();
    void reply_downloadProgress();
    void reply_downloadFinished();

private:
    Q_DISABLE_COPY(AppUpdater)

    void dropDownloadedFile();
    // The reason a finished version request offers nothing, or empty when it was read.
    static QString versionRequestFailure(QNetworkReply *reply);
    // Whatever the reply has to the file; false, with the error text set, when the file took less.
    bool storeAvailable(QNetworkReply *reply);

    bool m_checksEnabled;
    bool m_writeFailed;
    QNetworkAccessManager *m_manager;
    QNetworkReply *m_download;
    QPointer<QNetworkReply> m_check;
    CheckResult m_checkResult;
    QTemporaryFile *m_file;
    qint64 m_written;
    QByteArray m_chunk;
    QString m_title;
    QUrl m_versionUrl;
    QUrl m_downloadUrl;
    QString m_currentVersion;
    QString m_offeredVersion;
    QString m_fileName;
    QString m_errorText;
    QString m_notes;
};

#endif // VELMOR_CONSOLE_APPUPDATER_H
