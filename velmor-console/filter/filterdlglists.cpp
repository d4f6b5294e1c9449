// The Black/White Lists page: the three list editors and the model's lists of the edited profile.
#include "filterdlg.h"

#include "easylistedit.h"

#include "model/cabinet.h"

#include "velmorwire/jsonrpccall.h"

int FilterDlg::listTypeOf(QObject *editor) const
{
    if (editor == m_blackList)
        return Velmor::CabinetDomain::Black;
    if (editor == m_aliasList)
        return Velmor::CabinetDomain::Alias;
    return Velmor::CabinetDomain::White;
}

void FilterDlg::newDomain(const QString &domain)
{
    if (m_profileId == 0)
        return;
    Velmor::JsonRPCCall *call = m_cabinet->addDomain(m_profileId, listTypeOf(sender()), domain, QHostAddress());
    connect(call, &Velmor::Request::finished, this, &FilterDlg::checkRpcError);
}

void FilterDlg::newAlias(const QString &domain, const QHostAddress &address)
{
    if (m_profileId == 0)
        return;
    Velmor::JsonRPCCall *call = m_cabinet->addDomain(m_profileId, listTypeOf(sender()), domain, address);
    connect(call, &Velmor::Request::finished, this, &FilterDlg::checkRpcError);
}

void FilterDlg::domainRemoved(quint32 domainId)
{
    if (m_profileId != 0)
        m_cabinet->removeDomain(m_profileId, listTypeOf(sender()), domainId);
}

void FilterDlg::domainsCleared()
{
    if (m_profileId != 0)
        m_cabinet->clearDomains(m_profileId, listTypeOf(sender()));
}

void FilterDlg::cabinet_whiteListUpdated(quint32 profileId)
{
    if (profileId == m_profileId)
        refillList(m_whiteList, Velmor::CabinetDomain::White, &m_whiteListLoaded);
}

void FilterDlg::cabinet_blackListUpdated(quint32 profileId)
{
    if (profileId == m_profileId)
        refillList(m_blackList, Velmor::CabinetDomain::Black, &m_blackListLoaded);
}

void FilterDlg::cabinet_aliasListUpdated(quint32 profileId)
{
    if (profileId == m_profileId)
        refillList(m_aliasList, Velmor::CabinetDomain::Alias, &m_aliasesLoaded);
}

void FilterDlg::refillList(EasyListEdit *editor, int type, bool *loaded)
{
    *loaded = true;
    editor->clear(false);
    const Velmor::CabinetDomains domains = m_cabinet->cachedDomains(m_profileId, type);
    for (const Velmor::CabinetDomain &entry : domains) {
        if (type == Velmor::CabinetDomain::Alias)
            editor->addAliasItem(entry.id, entry.domain, entry.ip, true);
        else
            editor->addItem(entry.id, entry.domain, true);
    }
    editor->stopLoading();
    checkAllLoaded();
}
