#include "ipdlg.h"

#include "ipvalidator.h"
#include "model/typedaddress.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

IpDlg::IpDlg(const QString &title, const QString &text, int fields, QWidget *parent)
    : QDialog(parent)
    , minimumFilled(0)
    , m_validator(new IpValidator(this))
    , m_acceptanceTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("IpDlg"));
    setMaximumWidth(220);
    auto verticalLayout = new QVBoxLayout(this);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("lbl_text"));
    m_text->setWordWrap(true);
    verticalLayout->addWidget(m_text);
    m_ipLayout = new QVBoxLayout();
    m_ipLayout->setObjectName(QStringLiteral("ipLayout"));
    verticalLayout->addLayout(m_ipLayout);
    // The fields come before the buttons so that the focus starts in the first one and Tab runs top to bottom.
    for (int i = 0; i < fields; ++i) {
        auto field = new QLineEdit(this);
        field->setValidator(m_validator);
        connect(field, &QLineEdit::textEdited, this, &IpDlg::checkAcceptance);
        m_ipLayout->addWidget(field);
        m_fields.append(field);
    }
    m_buttonBox = new QDialogButtonBox(this);
    m_buttonBox->setObjectName(QStringLiteral("buttonBox"));
    m_buttonBox->setOrientation(Qt::Horizontal);
    m_buttonBox->setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    m_buttonBox->button(QDialogButtonBox::Ok)->setEnabled(false);
    // Return sends the typed address; it must not reach Cancel while Ok is still off.
    m_buttonBox->button(QDialogButtonBox::Ok)->setDefault(true);
    m_buttonBox->button(QDialogButtonBox::Cancel)->setAutoDefault(false);
    verticalLayout->addWidget(m_buttonBox);
    connect(m_buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);

    setWindowTitle(title);
    m_text->setText(text);
    if (!m_fields.isEmpty())
        m_fields.first()->setFocus();
    // A wrapped text needs a height that depends on the width, which no minimum size expresses: the dialog takes
    // its widest width and at least the height its text needs there, at the fonts and scale it is shown with.
    ensurePolished();
    const int width = maximumWidth();
    setMinimumSize(width, qMax(86, verticalLayout->totalHeightForWidth(width)));
    resize(minimumSize());
    m_acceptanceTimer->setInterval(1000);
    connect(m_acceptanceTimer, &QTimer::timeout, this, &IpDlg::checkAcceptance);
    m_acceptanceTimer->start();
}

IpDlg::~IpDlg()
{
    m_acceptanceTimer->stop();
}

QList<QHostAddress> IpDlg::addresses() const
{
    QList<QHostAddress> list;
    for (const QLineEdit *field : m_fields) {
        const QHostAddress address = typedIPv4Address(field->text());
        if (!address.isNull())
            list.append(address);
    }
    return list;
}

void IpDlg::checkAcceptance()
{
    bool allGood = true;
    int filled = 0;
    for (const QLineEdit *field : std::as_const(m_fields)) {
        if (field->text().isEmpty())
            continue;
        // Ok means addresses: a text the validator passes but that names no address would send nothing.
        if (!field->hasAcceptableInput() || typedIPv4Address(field->text()).isNull()) {
            allGood = false;
            break;
        }
        ++filled;
    }
    m_buttonBox->button(QDialogButtonBox::Ok)->setEnabled(allGood && (minimumFilled == 0 || filled >= minimumFilled));
}
