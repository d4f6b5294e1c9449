#include "systemreportdialog.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QVBoxLayout>

QDialog *createSystemReportDialog(const QString &text)
{
    auto *dialog = new QDialog;
    if (dialog->objectName().isEmpty())
        dialog->setObjectName(QStringLiteral("SystemReportDlg"));
    dialog->resize(500, 400);
    dialog->setWindowTitle(QCoreApplication::translate("SystemReportDlg", "System info report"));
    auto *layout = new QVBoxLayout(dialog);
    layout->setObjectName(QStringLiteral("verticalLayout"));
    auto *log = new QPlainTextEdit(dialog);
    log->setObjectName(QStringLiteral("pteLog"));
    log->setReadOnly(true);
    log->setPlainText(text);
    layout->addWidget(log);
    auto *buttons = new QDialogButtonBox(dialog);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    buttons->setOrientation(Qt::Horizontal);
    buttons->setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Save);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    QMetaObject::connectSlotsByName(dialog);
    return dialog;
}
