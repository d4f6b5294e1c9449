#ifndef VELMOR_CONSOLE_ACTIONWIDGETITEM_H
#define VELMOR_CONSOLE_ACTIONWIDGETITEM_H

#include <QHostAddress>
#include <QListWidgetItem>

// One row of a list editor: an entry of the account's list (its id; 0 while the user types a new one), the
// alias address, and whether the user may remove it.
class ActionWidgetItem : public QListWidgetItem
{
public:
    enum Role {
        DeletableRole = Qt::UserRole,
        // The alias address as text; empty for other rows.
        AddressRole = Qt::UserRole + 1,
    };

    ActionWidgetItem(quint32 id, const QString &text, const QHostAddress &address, bool deletable);

    QVariant data(int role) const override;

    quint32 id() const { return m_id; }
    const QHostAddress &address() const { return m_address; }
    bool isDeletable() const { return m_deletable; }

private:
    quint32 m_id;
    QHostAddress m_address;
    bool m_deletable;
};

#endif // VELMOR_CONSOLE_ACTIONWIDGETITEM_H
