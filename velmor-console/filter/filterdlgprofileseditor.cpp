// The profiles editor: the account's profiles, adding and removing them.
#include "filterdlg.h"

#include "easylistedit.h"

#include "model/cabinet.h"
#include "model/profileorder.h"

#include "velmorwire/jsonrpccall.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

void FilterDlg::on_btnProfilesSettings_clicked()
{
    if (m_profilesEditor) {
        m_profilesEditor->show();
        m_profilesEditor->raise();
        m_profilesEditor->activateWindow();
        return;
    }

    auto *editor = new QDialog(this);
    m_profilesEditor = editor;
    editor->setWindowTitle(tr("Profiles Editor"));
    editor->setObjectName(QStringLiteral("dlgProfileEdit"));
    editor->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    editor->setStyleSheet(QStringLiteral("QDialog[objectName=dlgProfileEdit] { background-color:white; }"));
    auto *layout = new QVBoxLayout;
    auto *buttons = new QHBoxLayout;
    auto *ok = new QPushButton(tr("Ok"));
    ok->setMaximumWidth(150);
    ok->setProperty("vyrbutton", true);
    // Return belongs to the name being typed, not to this button.
    ok->setAutoDefault(false);
    buttons->addWidget(ok);
    m_profilesList = new EasyListEdit(tr("Profiles"), NameList, QColor(), listLimit("max_profiles"));
    layout->addWidget(m_profilesList);
    layout->addLayout(buttons);

    fillProfilesEditor();
    editor->setLayout(layout);
    editor->show();

    connect(m_profilesList, &EasyListEdit::itemRemoved, this, &FilterDlg::profileRemoved);
    connect(m_profilesList, &EasyListEdit::newItem, this, &FilterDlg::newProfile);
    connect(ok, &QPushButton::clicked, editor, &QDialog::accept);
}

void FilterDlg::fillProfilesEditor()
{
    const QList<QSharedPointer<Velmor::CabinetProfile>> profiles = sortedProfiles(m_cabinet->profiles());
    for (const QSharedPointer<Velmor::CabinetProfile> &profile : profiles)
        m_profilesList->addItem(profile->id, profile->name, !profile->isDefault);
}

void FilterDlg::profileRemoved(quint32 id)
{
    m_cabinet->removeProfile(id);
}

void FilterDlg::newProfile(const QString &name)
{
    // Blanks name nothing: dropped like an empty name.
    if (name.trimmed().isEmpty())
        return;
    connect(m_cabinet->addProfile(name), &Velmor::Request::finished, this, &FilterDlg::checkRpcError);
}
