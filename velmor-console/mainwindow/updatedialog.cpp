#include "updatedialog.h"

#include "model/appupdater.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QNetworkReply>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

UpdateDialog::UpdateDialog(AppUpdater *updater, QWidget *parent)
    : QDialog(parent)
    , m_updater(updater)
    , m_guard(false)
{
    setObjectName(QStringLiteral("UpdateDialog"));
    setWindowTitle(tr("%1 update").arg(updater->title()));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *layout = new QVBoxLayout(this);
    m_label = new QLabel(tr("New version of <a href=\"%1\">%2</a> is available: %3")
                             .arg(QString::fromLatin1(updater->downloadUrl().toEncoded()).toHtmlEscaped(),
                                 updater->title().toHtmlEscaped(), updater->offeredVersion()),
        this);
    m_label->setObjectName(QStringLiteral("message"));
    m_label->setOpenExternalLinks(true);
    m_label->setWordWrap(true);
    layout->addWidget(m_label);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setMaximum(100);
    m_progress->hide();
    layout->addWidget(m_progress);

    m_notes = new QPlainTextEdit(this);
    m_notes->setObjectName(QStringLiteral("notes"));
    m_notes->setReadOnly(true);
    m_notes->hide();
    m_notes->setMinimumHeight(100);
    m_notes->resize(m_notes->width(), 100);
    m_notes->setPlainText(updater->notes());
    layout->addWidget(m_notes);

    m_dontCheck = new QCheckBox(tr("Don't check for updates."), this);
    m_dontCheck->setObjectName(QStringLiteral("dontCheck"));
    m_dontCheck->setChecked(!updater->checksEnabled());
    layout->addWidget(m_dontCheck);

    m_buttons = new QDialogButtonBox(Qt::Horizontal, this);
    m_details = new QPushButton(tr("&Details"), this);
    m_details->setObjectName(QStringLiteral("details"));
    m_details->setCheckable(true);
    m_details->setAutoDefault(false);
    m_details->setChecked(false);
    m_buttons->addButton(m_details, QDialogButtonBox::ActionRole);
    m_install = new QPushButton(tr("&Install now"), this);
    m_install->setObjectName(QStringLiteral("install"));
    m_buttons->addButton(m_install, QDialogButtonBox::ActionRole);
    m_hide = new QPushButton(tr("&Hide"), this);
    m_hide->setObjectName(QStringLiteral("hide"));
    m_buttons->addButton(m_hide, QDialogButtonBox::AcceptRole);
    m_buttons->addButton(QDialogButtonBox::Cancel);
    // After the last button: the box lays its buttons out again with every one it is given.
    m_details->setVisible(!updater->notes().isEmpty());
    m_hide->hide();
    layout->addWidget(m_buttons);
    m_install->setFocus();

    connect(updater, &AppUpdater::fileNameChanged, this, &UpdateDialog::updateDownloadFilename);
    connect(updater, &AppUpdater::finished, this, &UpdateDialog::showDownloadError);
    connect(updater, &AppUpdater::downloadStarted, this, &UpdateDialog::downloadStarted);
    connect(updater, &AppUpdater::detailsChanged, this, &UpdateDialog::updateDetails);
    connect(updater, &AppUpdater::checksEnabledChanged, this, [this](bool enabled) { setDontCheck(!enabled); });
    connect(m_install, &QPushButton::clicked, this, &UpdateDialog::download);
    connect(m_hide, &QPushButton::clicked, this, &QWidget::close);
    connect(m_dontCheck, &QCheckBox::stateChanged, this, &UpdateDialog::dontCheckChanged);
    connect(m_details, &QPushButton::toggled, this, &UpdateDialog::toggleDetails);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &UpdateDialog::reject);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
}

UpdateDialog::~UpdateDialog() = default;

void UpdateDialog::setDontCheck(bool checked)
{
    m_guard = true;
    m_dontCheck->setChecked(checked);
    m_guard = false;
}

void UpdateDialog::updateDownloadFilename()
{
    m_label->setText(tr("Downloading.. %1").arg(m_updater->fileName().toHtmlEscaped()));
}

void UpdateDialog::toggleDetails(bool state)
{
    m_notes->setVisible(state);
    QTimer::singleShot(0, this, &UpdateDialog::resizeToContents);
}

void UpdateDialog::resizeToContents()
{
    resize(sizeHint());
}

void UpdateDialog::showProgress()
{
    m_install->hide();
    m_dontCheck->hide();
    m_hide->show();
    m_progress->show();
    m_hide->setFocus();
    updateDownloadFilename();
}

void UpdateDialog::download()
{
    showProgress();
    Q_EMIT downloadAccepted();
}

void UpdateDialog::followDownload(QNetworkReply *reply)
{
    showProgress();
    downloadStarted(reply);
}

void UpdateDialog::downloadStarted(QNetworkReply *reply)
{
    connect(reply, &QNetworkReply::downloadProgress, this, &UpdateDialog::downloadProgress);
}

void UpdateDialog::downloadProgress(qint64 received, qint64 total)
{
    // An unknown total (-1) leaves the bar as it is.
    if (total < 0)
        return;
    const int value = total == 0 ? 100 : int(qBound(qint64(0), received * 100 / total, qint64(100)));
    m_progress->setValue(value);
    if (value == 100)
        hide();
}

void UpdateDialog::reject()
{
    Q_EMIT cancelDownload();
    QDialog::reject();
}

void UpdateDialog::showDownloadError()
{
    if (m_updater->hasDownloadedFile())
        return;
    m_label->setText(
        QStringLiteral("<b style=\"color:red\">") + m_updater->errorText().toHtmlEscaped() + QStringLiteral("</b>"));
}

void UpdateDialog::dontCheckChanged(int state)
{
    if (m_guard)
        return;
    const bool enabled = state == Qt::Unchecked;
    m_updater->setChecksEnabled(enabled);
}

void UpdateDialog::updateDetails()
{
    m_details->setChecked(false);
    m_details->setVisible(!m_updater->notes().isEmpty());
    m_notes->setPlainText(m_updater->notes());
}
