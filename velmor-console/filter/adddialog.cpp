#include "adddialog.h"

#include "domainpattern.h"
#include "easylistedit.h"

#include "model/typedaddress.h"

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

// No top-level domain is numeric: a name whose last label is digits is an address or a piece of one, typed
// into the wrong field.
bool isAddressLike(const QString &name)
{
    const QString last = name.section(QLatin1Char('.'), -1);
    if (last.isEmpty())
        return false;
    for (const QChar c : last) {
        if (!c.isDigit())
            return false;
    }
    return true;
}

} // namespace

AddDialog::AddDialog(QWidget *parent, int kind)
    : QDialog(parent)
    , m_kind(kind)
    , m_address(nullptr)
    , m_domain(nullptr)
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
    // Created after the address field: the focus chain follows creation, and Tab must run down the form.
    m_domain = new QLineEdit(this);
    m_domain->setValidator(newDomainValidator(this));
    form->addRow(tr("Domain"), m_domain);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &AddDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &AddDialog::reject);
    (m_address ? m_address : m_domain)->setFocus();
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
    if (!isAcceptable(m_domain) || isAddressLike(m_domain->text())) {
        m_domain->setFocus();
        return;
    }
    QDialog::accept();
}
