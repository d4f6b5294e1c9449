#include "agent.h"

#include "mainwindow/mainwidget.h"
#include "mainwindow/programversion.h"
#include "mainwindow/systemreportdialog.h"
#include "model/cabinet.h"
#include "model/checkbrowserssettings.h"
#include "model/errortext.h"
#include "model/serviceconnector.h"

#include "velmorwire/jsonrpccall.h"
#include "velmorwire/methodnames.h"
#include "velmorwire/sysinfo.h"

#include <QDate>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// The service's half of a report may take the service up to 110 s; the library's default would give up at 30 s.
const quint16 systemInfoTimeout = 120;

} // namespace

void Agent::generateSystemReport()
{
    // The pool runs one check at a time, so checks started by quick requests never write the record together.
    m_pool.start(new CheckBrowsersSettings(&m_browserCheck), 0);
    if (m_reportDialog) {
        m_reportDialog->raise();
        m_reportDialog->activateWindow();
        return;
    }
    if (m_reportInProgress)
        return;
    m_reportInProgress = true;
    if (m_connector->state() != ServiceConnector::Connected) {
        queueSystemReport(QString());
        return;
    }
    auto *waitBox = new QMessageBox(QMessageBox::Information, tr("System info report"),
        tr("Generation of system info report is in progress. Just wait quite a bit"), QMessageBox::Ok, m_mainWidget);
    waitBox->setObjectName(QStringLiteral("SystemReportWaitBox"));
    waitBox->setAttribute(Qt::WA_DeleteOnClose);
    waitBox->open();
    Velmor::JsonRPCCall *call = m_connector->call(Velmor::DesktopCall::systemInfo);
    call->setTimeout(systemInfoTimeout);
    connect(call, &Velmor::Request::finished, waitBox, &QWidget::close);
    connect(call, &Velmor::Request::finished, this, &Agent::systemInfoReportReady);
}

void Agent::systemInfoReportReady()
{
    const auto *call = qobject_cast<const Velmor::JsonRPCCall *>(sender());
    if (!call)
        return;
    if (!call->error().isSuccess())
        queueSystemReport(
            QStringLiteral("System service is running but report request failed ") + errorText(call->error()));
    else
        queueSystemReport(call->result().toString());
}

void Agent::queueSystemReport(const QString &servicePart)
{
    // The answer arrives inside the link's read handler, and a modal loop started there would keep the link
    // deaf until the dialog closes.
    QMetaObject::invokeMethod(
        this, [this, servicePart] { showSystemReport(servicePart); }, Qt::QueuedConnection);
}

QString Agent::systemReportText(const QString &servicePart)
{
    const bool connected = m_connector->state() == ServiceConnector::Connected;
    QString text = QStringLiteral("Agent version: %1\nBrand: %2\nFeatures: %3\nService connected: %4\n")
                       .arg(QLatin1String(programVersion), QStringLiteral("velmor"), QString(),
                           QString::number(connected ? 1 : 0));
    if (!connected) {
        // The library marks a log its query tool did not deliver; the report says so in words.
        const QString log = Velmor::SysInfo::systemLog();
        if (log == QLatin1String("<unimplemented>"))
            text += QStringLiteral("System log: the event log could not be read (the query tool wevtutil did not "
                                   "answer).\n");
        else
            text += QStringLiteral("System log:\n") + log;
        // A service lost while it made its half: the report says why that half is missing.
        if (!servicePart.isEmpty())
            text += (text.endsWith(QLatin1Char('\n')) ? QString() : QStringLiteral("\n")) + servicePart;
        return text;
    }
    text += QStringLiteral("Identification type: %1\nIdentified: %2\n")
                .arg(m_cabinet->isTokenMode() ? QStringLiteral("token") : QStringLiteral("ip"),
                    QString::number(m_cabinet->isIdentified() ? 1 : 0));
    if (m_cabinet->isTokenMode())
        text += QStringLiteral("ProfileId: %1\n").arg(m_cabinet->selectedProfileId());
    else
        text += QStringLiteral("IP: %1\n").arg(m_cabinet->ipAddress());
    text += QStringLiteral("Last cabinet error: code=%1 text=%2\n")
                .arg(QString::number(m_cabinet->lastError().code()), m_cabinet->lastError().message());
    text += QStringLiteral("Protected networks:\n");
    for (const Velmor::Network &network : std::as_const(m_status->networks().networks)) {
        text += QStringLiteral(" * %1  %2: %3\n")
                    .arg(network.id, network.name,
                        network.isProtected ? QStringLiteral("protected") : QStringLiteral("unprotected"));
    }
    // The check writes its record on a pool thread; it is read only once the pool is idle.
    m_pool.waitForDone();
    text += m_browserCheck.text + QLatin1Char('\n');
    return text + servicePart;
}

void Agent::showSystemReport(const QString &servicePart)
{
    m_reportText = systemReportText(servicePart);
    QDialog *dialog = createSystemReportDialog(m_reportText);
    dialog->setParent(m_mainWidget, dialog->windowFlags());
    auto *buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    connect(buttons->button(QDialogButtonBox::Save), &QPushButton::clicked, this, &Agent::saveSystemReport);
    m_reportDialog = dialog;
    dialog->exec();
    delete m_reportDialog.data();
    m_reportText.clear();
    m_reportInProgress = false;
}

void Agent::saveSystemReport()
{
    const QString proposed = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation)
        + QStringLiteral("/velmor-report-%1.txt").arg(QDate::currentDate().toString(Qt::ISODate));
    QWidget *parent = m_reportDialog ? static_cast<QWidget *>(m_reportDialog) : m_mainWidget;
    const QString path = QFileDialog::getSaveFileName(parent, tr("Save Report"), proposed, tr("Text Files (*.txt)"));
    if (path.isEmpty())
        return;
    // Written whole or not at all; a report that cannot be kept is said so, not lost without a word.
    QSaveFile file(path);
    const bool saved = file.open(QIODevice::WriteOnly)
        && file.setPermissions(
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther)
        && file.write(m_reportText.toUtf8()) == m_reportText.toUtf8().size() && file.commit();
    if (!saved) {
        // The file dialog ran a loop of its own: the report dialog may be gone by now.
        QMessageBox::warning(m_reportDialog ? static_cast<QWidget *>(m_reportDialog) : m_mainWidget, tr("Save Report"),
            tr("The report could not be saved to %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    }
}
