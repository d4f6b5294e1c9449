// The error boxes: the one box of a failed load, and the box of a refused addition.
#include "filterdlg.h"

#include "model/errortext.h"

#include "velmorwire/jsonrpccall.h"
#include "velmorwire/methodnames.h"

#include <QMessageBox>

namespace {

// Codes up to this one are the link's own (timeouts, a lost service) and are reported elsewhere.
const quint32 lastTransportCode = 100;

} // namespace

void FilterDlg::showRequestError(const Velmor::Error &error)
{
    if (m_errorShown)
        return;
    m_errorShown = true;

    QString text = tr("In the given time filter control is unavailable.");
    const QString reason = errorCodeText(error.code());
    if (!reason.isEmpty())
        text += QStringLiteral("\n\n%1: ").arg(tr("Reason")) + reason;
    auto *box = new QMessageBox(QMessageBox::Warning, tr("Error"), text, QMessageBox::Close, this,
        Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    box->setDetailedText(QStringLiteral("%1: %2").arg(QString::number(error.code()), error.message()));
    // A message box is modal by default; this one leaves the dialog usable until it is dismissed.
    box->setModal(false);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Without the data the dialog shows nothing true: dismissing the box closes it.
    connect(box, &QObject::destroyed, this, &QWidget::close);
    box->show();
}

void FilterDlg::checkRpcError()
{
    auto *call = qobject_cast<Velmor::JsonRPCCall *>(sender());
    if (!call)
        return;
    // The service keeps every other change until the account service takes it; an addition needs the account
    // service's answer (the new entry's number), so without it nothing was added, and the box says why.
    const bool unreachable = call->error().code() == Velmor::Error::NetworkFailure;
    if (call->error().code() <= lastTransportCode && !unreachable)
        return;
    // A profile's refusal belongs over the profiles editor; with the editor gone the box stands alone.
    const bool addsProfile = call->method() == QLatin1String(Velmor::DesktopCall::addProfile);
    auto *box = new QMessageBox(addsProfile ? m_profilesEditor.data() : this);
    box->setWindowTitle(tr("Error"));
    box->setStandardButtons(QMessageBox::Ok);
    box->setIcon(QMessageBox::Warning);
    box->setTextFormat(Qt::RichText);
    if (unreachable) {
        // The name is the profile's for an added profile, the domain's for an added entry.
        const QString name = call->params().value(addsProfile ? 0 : 2).toString();
        box->setText(tr("\"%1\" was not saved: %2").arg(name, errorText(call->error())).toHtmlEscaped());
    } else {
        box->setText(call->error().message());
    }
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Not exec(): the main window may close this dialog while the box is up, taking the box with it; a nested
    // loop would return into a deleted dialog.
    box->open();
}
