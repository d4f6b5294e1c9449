#include "networkwidgetitem.h"

#include <QColor>
#include <QListWidget>

NetworkWidgetItem::NetworkWidgetItem(const QString &id, const QString &name)
    : QListWidgetItem(name)
    , id(id)
    , name(name)
    , syncing(false)
{ }

NetworkWidgetItem::~NetworkWidgetItem() = default;

void NetworkWidgetItem::setSyncing(bool syncing)
{
    this->syncing = syncing;
    if (syncing) {
        setBackground(QColor(QStringLiteral("#FFFF00")));
        return;
    }
    if (QListWidget *list = listWidget())
        setBackground(list->palette().brush(QPalette::Active, QPalette::Base));
    else
        setBackground(QBrush());
}

void NetworkWidgetItem::stopSyncing()
{
    setSyncing(false);
}
