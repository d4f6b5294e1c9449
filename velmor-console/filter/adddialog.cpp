#include "adddialog.h"

#include "domainpattern.h"
#include "listkind.h"
#include "refusalhint.h"

#include "model/typedaddress.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

namespace {

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
    , m_hint(newRefusalHint(QStringLiteral("hint"), this))
{
    setWindowTitle(tr("New domain"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    // No validator drops keys: a key that vanished would turn "999.1.1.1" into "99.1.1.1" without a word. What is
    // typed stays, and accept() says what is wrong with it.
    auto *form = new QFormLayout(this);
    if (m_kind == AliasList) {
        m_address = new QLineEdit(this);
        form->addRow(tr("IP Address"), m_address);
    }
    // Created after the address field: the focus chain follows creation, and Tab must run down the form.
    m_domain = new QLineEdit(this);
    form->addRow(tr("Domain"), m_domain);

    form->addRow(m_hint);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &AddDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &AddDialog::reject);
    (m_address ? m_address : m_domain)->setFocus();
}

QString AddDialog::domain() const
{
    return asciiDomain(m_domain->text(), nullptr);
}

QHostAddress AddDialog::address() const
{
    return m_address ? typedIPv4Address(m_address->text()) : QHostAddress();
}

void AddDialog::refuse(QLineEdit *field, const QString &why)
{
    m_hint->setText(why);
    m_hint->show();
    // The dialog grows to show the whole reason.
    layout()->activate();
    const int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width()) : sizeHint().height();
    resize(width(), qMax(this->height(), height));
    field->setFocus();
    field->selectAll();
}

void AddDialog::accept()
{
    // The shared reading refuses what Qt would read otherwise: "010.0.0.1" is not 8.0.0.1.
    if (m_address && address().isNull()) {
        refuse(m_address,
            tr("\"%1\" is not an IPv4 address: four numbers from 0 to 255, without leading zeros, separated by dots.")
                .arg(m_address->text()));
        return;
    }
    QString problem;
    const QString name = asciiDomain(m_domain->text(), &problem);
    if (name.isEmpty()) {
        refuse(m_domain, problem);
        return;
    }
    if (isAddressLike(name)) {
        refuse(m_domain, tr("\"%1\" is an address, not a domain name.").arg(m_domain->text()));
        return;
    }
    QDialog::accept();
}
