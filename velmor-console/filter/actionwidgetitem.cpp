#include "actionwidgetitem.h"

ActionWidgetItem::ActionWidgetItem(quint32 id, const QString &text, const QHostAddress &address, bool deletable)
    : QListWidgetItem(text, nullptr, QListWidgetItem::Type)
    , m_id(id)
    , m_address(address)
    , m_deletable(deletable)
{ }

QVariant ActionWidgetItem::data(int role) const
{
    switch (role) {
    case DeletableRole:
        return m_deletable;
    case AddressRole:
        return m_address.isNull() ? QString() : m_address.toString();
    case Qt::ToolTipRole:
        // A narrow list elides the row's text; the pointer resting on it shows the whole of it.
        return m_address.isNull() ? text() : QStringLiteral("%1 (%2)").arg(text(), m_address.toString());
    default:
        return QListWidgetItem::data(role);
    }
}
