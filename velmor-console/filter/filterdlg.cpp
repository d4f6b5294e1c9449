#include "filterdlg.h"

FilterDlg::FilterDlg(Cabinet *cabinet, QWidget *parent)
    : QDialog(parent)
{
    Q_UNUSED(cabinet)
    setObjectName(QStringLiteral("FilterDlg"));
}

FilterDlg::~FilterDlg() = default;
