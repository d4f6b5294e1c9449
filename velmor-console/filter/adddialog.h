#ifndef VELMOR_CONSOLE_ADDDIALOG_H
#define VELMOR_CONSOLE_ADDDIALOG_H

#include <QDialog>
#include <QHostAddress>

class QLabel;
class QLineEdit;

// Asks for a new list entry: for the alias list an IPv4 address and a domain. The fields keep whatever is typed;
// the dialog closes only on an address and a name it can send, and otherwise says what is wrong under the fields,
// and the field to mend takes the focus.
class AddDialog : public QDialog
{
    Q_OBJECT

public:
    AddDialog(QWidget *parent, int kind);

    // The name in its ASCII form (IDNA), as it is sent; empty while the field holds no domain name.
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
    QLabel *m_hint;

    void refuse(QLineEdit *field, const QString &why);
};

#endif // VELMOR_CONSOLE_ADDDIALOG_H
