#include "catswitcher.h"

#include "ui_catswitcher.h"

CatSwitcher::CatSwitcher(quint32 id, const QString &name, bool blocked, const QString &description, QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::CatSwitcher)
    , m_blocked(false)
    , m_id(id)
{
    ui->setupUi(this);
    // A category's name is shown as it is: an ampersand is no mnemonic.
    ui->ckState->setText(QString(name).replace(QLatin1Char('&'), QLatin1String("&&")));
    if (description.isEmpty())
        ui->lblDescr->hide();
    else
        ui->lblDescr->setToolTip(description);
    setBlocked(blocked);
}

CatSwitcher::~CatSwitcher()
{
    delete ui;
}

void CatSwitcher::setBlocked(bool blocked)
{
    m_blocked = blocked;
    ui->ckState->setChecked(blocked);
}

void CatSwitcher::on_ckState_clicked()
{
    m_blocked = ui->ckState->isChecked();
    Q_EMIT changed(m_id, m_blocked);
}
