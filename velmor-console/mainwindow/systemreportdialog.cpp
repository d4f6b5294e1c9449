#include "systemreportdialog.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QPushButton>
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
    // Save has the accept role of the standard buttons, yet the report stays open after a save: only Ok accepts.
    QObject::connect(buttons, &QDialogButtonBox::clicked, dialog, [buttons, dialog](QAbstractButton *button) {
        if (buttons->standardButton(button) == QDialogButtonBox::Ok)
            dialog->accept();
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    QMetaObject::connectSlotsByName(dialog);
    return dialog;
}
