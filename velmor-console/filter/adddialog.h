#ifndef VELMOR_CONSOLE_ADDDIALOG_H
#define VELMOR_CONSOLE_ADDDIALOG_H

#include <QDialog>
#include <QHostAddress>

class QLineEdit;

// Asks for a new list entry: for the alias list an IPv4 address and a domain. It closes only on input that is
// complete; otherwise the field to mend takes the focus.
class AddDialog : public QDialog
{
    Q_OBJECT

public:
    AddDialog(QWidget *parent, int kind);

    QString domain() const;
    // Null unless the dialog has an address field holding a complete address.
    QHostAddress address() const;

public Q_SLOTS:
    void accept() override;

private:
    Q_DISABLE_COPY(AddDialog)

    int m_kind;
    QLineEdit *m_address;
    QLineEdit *m_domain;
};

#endif // VELMOR_CONSOLE_ADDDIALOG_H
