#ifndef VELMOR_CONSOLE_IPDLG_H
#define VELMOR_CONSOLE_IPDLG_H

#include <QDialog>
#include <QHostAddress>
#include <QList>

class IpValidator;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QTimer;
class QVBoxLayout;

// Asks for one or more DNS server addresses: a text and a column of address fields. Ok is enabled only while
// every filled field holds an address and at least minimumFilled fields are filled. Modal, one question each.
class IpDlg : public QDialog
{
    Q_OBJECT

public:
    IpDlg(const QString &title, const QString &text, int fields, QWidget *parent);
    ~IpDlg() override;

    // The fewest fields that must be filled for Ok; call checkAcceptance() after changing it.
    int minimumFilled;

    // One address per filled field, in field order.
    QList<QHostAddress> addresses() const;

public Q_SLOTS:
    void checkAcceptance();

private:
    Q_DISABLE_COPY(IpDlg)

    QLabel *m_text;
    QVBoxLayout *m_ipLayout;
    QDialogButtonBox *m_buttonBox;
    QList<QLineEdit *> m_fields;
    IpValidator *m_validator;
    QTimer *m_acceptanceTimer;
};

#endif // VELMOR_CONSOLE_IPDLG_H
