#ifndef VELMOR_CONSOLE_FILTERDLG_H
#define VELMOR_CONSOLE_FILTERDLG_H

#include <QDialog>

class Cabinet;

// A placeholder for the filter settings dialog: an empty modeless dialog with the real one's constructor.
class FilterDlg : public QDialog
{
    Q_OBJECT

public:
    FilterDlg(Cabinet *cabinet, QWidget *parent);
    ~FilterDlg() override;

private:
    Q_DISABLE_COPY(FilterDlg)
};

#endif // VELMOR_CONSOLE_FILTERDLG_H
