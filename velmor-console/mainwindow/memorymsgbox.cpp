#include "memorymsgbox.h"

#include "model/consolesettings.h"
#include "ui_varquestiondlg.h"

#include <QPushButton>
#include <QStyle>

namespace {

// The INI store gives a remembered value back as text, so it is read as the answer's own type before comparing:
// a stored 0 then matches the answer 0, and a text that is no value of that type matches nothing.
bool matchesAnswer(const MMButton *answer, const QVariant &stored)
{
    if (!stored.isValid() || !answer->value.isValid())
        return false;
    QVariant converted = stored;
    if (converted.metaType() != answer->value.metaType() && !converted.convert(answer->value.metaType()))
        return false;
    return converted == answer->value;
}

} // namespace

void MemoryMsgBox::ask(
    bool notice, const QString &name, const QList<MMButton *> &answers, const QString &question, QWidget *parent)
{
    const QVariant stored = ConsoleSettings().rememberedAnswer(name);
    bool matched = false;
    for (MMButton *answer : answers) {
        if (matchesAnswer(answer, stored)) {
            matched = true;
            Q_EMIT answer->clicked();
        }
    }
    if (matched) {
        qDeleteAll(answers);
        return;
    }
    auto dialog = new MemoryMsgBox(notice, name, question, answers, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void MemoryMsgBox::askQuestion(
    const QString &name, const QString &question, const QList<MMButton *> &answers, QWidget *parent)
{
    ask(false, name, answers, question, parent);
}

void MemoryMsgBox::inform(const QString &name, const QString &question, QWidget *parent)
{
    ask(true, name, { new MMButton(tr("&Close"), 1) }, question, parent);
}

MemoryMsgBox::MemoryMsgBox(
    bool notice, const QString &name, const QString &question, const QList<MMButton *> &answers, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui_VarQuestionDlg)
    , m_name(name)
{
    ui->setupUi(this);
    ui->lblQuestion->setText(question);
    if (notice)
        ui->ckRememberChoice->setText(tr("Don't show anymore"));
    setWindowIcon(style()->standardIcon(notice ? QStyle::SP_MessageBoxInformation : QStyle::SP_MessageBoxQuestion));

    ui->buttonBox->clear();
    QPushButton *defaultButton = nullptr;
    for (MMButton *answer : answers) {
        answer->setParent(this);
        auto button = new QPushButton(answer->icon, answer->text);
        answer->button = button;
        m_values.insert(button, answer->value);
        connect(button, &QPushButton::clicked, this, &MemoryMsgBox::rememberChoice);
        connect(button, &QPushButton::clicked, answer, &MMButton::clicked);
        ui->buttonBox->addButton(button, QDialogButtonBox::AcceptRole);
        if (!defaultButton || answer->isDefault)
            defaultButton = button;
    }
    if (defaultButton) {
        defaultButton->setDefault(true);
        defaultButton->setFocus();
    }
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
}

MemoryMsgBox::~MemoryMsgBox()
{
    delete ui;
}

void MemoryMsgBox::done(int r)
{
    if (ui->ckRememberChoice->isChecked())
        ConsoleSettings().setRememberedAnswer(m_name, m_chosen);
    QDialog::done(r);
}

void MemoryMsgBox::rememberChoice()
{
    m_chosen = m_values.value(qobject_cast<QAbstractButton *>(sender()));
}
