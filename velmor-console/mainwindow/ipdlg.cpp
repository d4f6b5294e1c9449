#include "ipdlg.h"

#include "velmorwire/ipaddress.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

IpDlg::IpDlg(const QString &title, const QString &text, int fields, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("IpDlg"));
    setWindowTitle(title);
    auto layout = new QVBoxLayout(this);
    auto label = new QLabel(text, this);
    label->setObjectName(QStringLiteral("lbl_text"));
    label->setWordWrap(true);
    layout->addWidget(label);
    for (int i = 0; i < fields; ++i) {
        auto field = new QLineEdit(this);
        connect(field, &QLineEdit::textEdited, this, &IpDlg::checkAcceptance);
        layout->addWidget(field);
        m_fields.append(field);
    }
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttons->setObjectName(QStringLiteral("buttonBox"));
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(m_buttons);
}

IpDlg::~IpDlg() = default;

QList<QHostAddress> IpDlg::addresses() const
{
    QList<QHostAddress> list;
    for (const QLineEdit *field : m_fields) {
        QHostAddress address;
        if (Velmor::parseIPv4(field->text(), &address))
            list.append(address);
    }
    return list;
}

void IpDlg::checkAcceptance()
{
    int filled = 0;
    bool allGood = true;
    for (const QLineEdit *field : std::as_const(m_fields)) {
        if (field->text().isEmpty())
            continue;
        if (!Velmor::parseIPv4(field->text())) {
            allGood = false;
            break;
        }
        ++filled;
    }
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(allGood && (minimumFilled == 0 || filled >= minimumFilled));
}
