#include "adddialog.h"

#include "domainpattern.h"
#include "easylistedit.h"

#include "shell/typedaddress.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace {

bool isAcceptable(const QLineEdit *field)
{
    QString text = field->text();
    int pos = field->cursorPosition();
    return field->validator() && field->validator()->validate(text, pos) == QValidator::Acceptable;
}

} // namespace

AddDialog::AddDialog(QWidget *parent, int kind)
    : QDialog(parent)
    , m_kind(kind)
    , m_address(nullptr)
    , m_domain(new QLineEdit(this))
{
    setWindowTitle(tr("New domain"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *form = new QFormLayout(this);
    if (m_kind == EasyListEdit::AliasList) {
        static const QRegularExpression dottedQuad(QStringLiteral(
            "(?:(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\.){3}(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)"));
        m_address = new QLineEdit(this);
        m_address->setValidator(new QRegularExpressionValidator(dottedQuad, this));
        form->addRow(tr("IP Address"), m_address);
    }
    m_domain->setValidator(newDomainValidator(this));
    form->addRow(tr("Domain"), m_domain);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &AddDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &AddDialog::reject);
}

QString AddDialog::domain() const
{
    return m_domain->text();
}

QHostAddress AddDialog::address() const
{
    return m_address ? typedIPv4Address(m_address->text()) : QHostAddress();
}

void AddDialog::accept()
{
    // The shared reading refuses what the pattern lets through but Qt would read otherwise: "010.0.0.1" is
    // not 8.0.0.1.
    if (m_address && (!isAcceptable(m_address) || address().isNull())) {
        m_address->setFocus();
        return;
    }
    if (!isAcceptable(m_domain)) {
        m_domain->setFocus();
        return;
    }
    QDialog::accept();
}
