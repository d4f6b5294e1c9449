#ifndef VELMOR_CONSOLE_SYSTEMREPORTDIALOG_H
#define VELMOR_CONSOLE_SYSTEMREPORTDIALOG_H

#include <QString>

class QDialog;

// The report dialog, built in code with the object names of its form: "SystemReportDlg" holding the read-only
// "pteLog" above the "buttonBox" with Ok and Save. No parent; the caller runs it modally and deletes it.
QDialog *createSystemReportDialog(const QString &text);

#endif // VELMOR_CONSOLE_SYSTEMREPORTDIALOG_H
