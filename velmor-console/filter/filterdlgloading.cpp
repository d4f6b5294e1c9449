// Loading the edited profile's data and showing that it is on its way.
#include "filterdlg.h"

#include "easylistedit.h"
#include "ui_filterdlg.h"

#include "model/cabinet.h"

#include "velmorwire/jsonrpccall.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMovie>

void FilterDlg::reload()
{
    auto *placeholder = new QWidget;
    auto *layout = new QHBoxLayout(placeholder);
    auto *animation = new QLabel(placeholder);
    animation->setMovie(m_placeholderAnimation);
    layout->addStretch();
    layout->addWidget(animation);
    layout->addStretch();
    ui->saCats->setWidget(placeholder);

    m_categoriesLoaded = false;
    m_userFilterLoaded = false;
    m_whiteListLoaded = false;
    m_blackListLoaded = false;
    m_aliasesLoaded = false;
    m_scheduleLoaded = false;

    const quint32 p = m_profileId;
    connect(m_cabinet->categories(), &Velmor::Request::finished, this, &FilterDlg::cabinetRequestFinished);
    if (p == 0) {
        // No profile to edit: only the catalogue is asked for, and the lists show nothing.
        m_userFilterLoaded = m_whiteListLoaded = m_blackListLoaded = m_aliasesLoaded = m_scheduleLoaded = true;
        for (EasyListEdit *list : { m_whiteList, m_blackList, m_aliasList }) {
            list->clear(false);
            list->stopLoading();
        }
        m_placeholderAnimation->start();
        m_buttonAnimation->start();
        return;
    }
    connect(m_cabinet->userFilter(p), &Velmor::Request::finished, this, &FilterDlg::cabinetRequestFinished);
    for (int type = 0; type < 3; ++type)
        connect(m_cabinet->domains(p, type), &Velmor::Request::finished, this, &FilterDlg::cabinetRequestFinished);

    const QSharedPointer<Velmor::CabinetProfile> profile = editedProfile();
    if (profile && !profile->isDefault) {
        Velmor::JsonRPCCall *call = m_cabinet->schedule(p);
        connect(call, &Velmor::Request::finished, this, &FilterDlg::cabinetRequestFinished);
        connect(call, &Velmor::Request::finished, this, &FilterDlg::scheduleRequestFinished);
    } else {
        // The default profile has no schedule.
        m_scheduleLoaded = true;
    }

    m_placeholderAnimation->start();
    m_buttonAnimation->start();
    m_whiteList->startLoading();
    m_blackList->startLoading();
    m_aliasList->startLoading();
}

void FilterDlg::cabinetRequestFinished()
{
    auto *request = qobject_cast<Velmor::Request *>(sender());
    if (request && !request->error().isSuccess())
        showRequestError(request->error());
}

void FilterDlg::checkAllLoaded()
{
    if (!(m_categoriesLoaded && m_userFilterLoaded && m_whiteListLoaded && m_blackListLoaded && m_aliasesLoaded
            && m_scheduleLoaded))
        return;
    m_buttonAnimation->stop();
    ui->btnReload->setIcon(QIcon(QStringLiteral(":/icons/loading.gif")));
}

void FilterDlg::updateLodingFrame(int)
{
    if (ui->btnReload->isVisible())
        ui->btnReload->setIcon(QIcon(m_buttonAnimation->currentPixmap()));
}
