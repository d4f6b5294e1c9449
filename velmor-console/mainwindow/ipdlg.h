#ifndef VELMOR_CONSOLE_IPDLG_H
#define VELMOR_CONSOLE_IPDLG_H

#include <QDialog>
#include <QHostAddress>
#include <QList>

class QDialogButtonBox;
class QLineEdit;

// A stand-in for the DNS address dialog until the main window's own is built: a text, a column of address
// fields and Ok/Cancel. Ok is enabled while every filled field holds a whole address and at least
// minimumFilled fields are filled. Carries what the Agent uses: the constructor, minimumFilled,
// checkAcceptance(), exec() and addresses().
class IpDlg : public QDialog
{
    Q_OBJECT

public:
    IpDlg(const QString &title, const QString &text, int fields, QWidget *parent);
    ~IpDlg() override;

    // The fewest fields that must be filled for Ok; call checkAcceptance() after changing it.
    int minimumFilled = 0;

    // The filled fields' addresses, in field order.
    QList<QHostAddress> addresses() const;

public Q_SLOTS:
    void checkAcceptance();

private:
    Q_DISABLE_COPY(IpDlg)

    QList<QLineEdit *> m_fields;
    QDialogButtonBox *m_buttons;
};

#endif // VELMOR_CONSOLE_IPDLG_H
