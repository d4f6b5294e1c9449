#ifndef VELMOR_CONSOLE_UPDATEDIALOG_H
#define VELMOR_CONSOLE_UPDATEDIALOG_H

#include <QDialog>

class AppUpdater;
class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QNetworkReply;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

// Offers the updater's newer version: install now, hide while the download goes on, or cancel it. Deleted on
// close; a download that reaches its end hides it.
class UpdateDialog : public QDialog
{
    Q_OBJECT

public:
    UpdateDialog(AppUpdater *updater, QWidget *parent = nullptr);
    ~UpdateDialog() override;

    // The updater's flag shown in the check box, without reporting the change back.
    void setDontCheck(bool checked);
    // A dialog opened while the download runs: it shows that download's progress.
    void followDownload(QNetworkReply *reply);

    QLabel *messageLabel() const { return m_label; }
    QProgressBar *progressBar() const { return m_progress; }

Q_SIGNALS:
    void downloadAccepted();
    void cancelDownload();

public Q_SLOTS:
    void updateDownloadFilename();

private Q_SLOTS:
    void toggleDetails(bool state);
    void resizeToContents();
    void download();
    void downloadStarted(QNetworkReply *reply);
    void downloadProgress(qint64 received, qint64 total);
    void reject() override;
    void showDownloadError();
    void dontCheckChanged(int state);
    void updateDetails();

private:
    void showProgress();
    Q_DISABLE_COPY(UpdateDialog)

    AppUpdater *m_updater;
    QLabel *m_label;
    QPushButton *m_details;
    QPlainTextEdit *m_notes;
    QPushButton *m_install;
    QPushButton *m_hide;
    QProgressBar *m_progress;
    QCheckBox *m_dontCheck;
    QDialogButtonBox *m_buttons;
    bool m_guard;
};

#endif // VELMOR_CONSOLE_UPDATEDIALOG_H
