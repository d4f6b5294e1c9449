#include "actionitemdelegeate.h"

#include "actionwidgetitem.h"

#include <QLineEdit>
#include <QPainter>

namespace {

// Between the row's edges and its text, and the icon.
const int sideMargin = 6;
const int verticalMargin = 5;

} // namespace

ActionItemDelegeate::ActionItemDelegeate(int kind, const QPixmap &icon)
    : QStyledItemDelegate(nullptr)
    , m_kind(kind)
    , m_icon(icon)
{ }

QString ActionItemDelegeate::displayText(const QModelIndex &index)
{
    const QString text = index.data(Qt::DisplayRole).toString();
    const QString address = index.data(ActionWidgetItem::AddressRole).toString();
    return address.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, address);
}

QSize ActionItemDelegeate::iconSize() const
{
    return m_icon.deviceIndependentSize().toSize();
}

QRect ActionItemDelegeate::iconRect(const QRect &row) const
{
    const QSize size = iconSize();
    return QRect(QPoint(row.right() - sideMargin - size.width(), row.top() + verticalMargin), size);
}

QWidget *ActionItemDelegeate::createEditor(
    QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    Q_UNUSED(index)
    auto *editor = new QLineEdit(parent);
    editor->setMinimumSize(option.rect.width(), QFontMetrics(option.font).height() + 5);
    editor->setStyleSheet(QStringLiteral("background-color: #ffc; border:0px"));
    // No validator drops keys: what is typed stays, and the list refuses a name it cannot send, saying why.
    m_editor = editor;
    return editor;
}

void ActionItemDelegeate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const bool deletable = index.data(ActionWidgetItem::DeletableRole).toBool();
    QRect text = option.rect.adjusted(sideMargin, verticalMargin, -sideMargin, -verticalMargin);
    const QRect icon = iconRect(option.rect);
    if (deletable)
        text.setRight(icon.left() - sideMargin);
    const QString address = index.data(ActionWidgetItem::AddressRole).toString();
    if (address.isEmpty()) {
        const QString shown = painter->fontMetrics().elidedText(
            index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle, text.width(), Qt::TextSingleLine);
        painter->drawText(text, Qt::TextSingleLine, shown);
    } else {
        // Aliases differ by their names' beginnings as much as by their addresses: the name has the whole first
        // line, and the address, which stays whole, the second.
        const int line = painter->fontMetrics().height();
        const QString domain = painter->fontMetrics().elidedText(
            index.data(Qt::DisplayRole).toString(), Qt::ElideRight, text.width(), Qt::TextSingleLine);
        painter->drawText(QRect(text.left(), text.top(), text.width(), line), Qt::TextSingleLine, domain);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Disabled, QPalette::Text));
        painter->drawText(QRect(text.left(), text.top() + line, text.width(), line), Qt::TextSingleLine, address);
        painter->restore();
    }
    if (deletable)
        painter->drawPixmap(icon.topLeft(), m_icon);
}

QSize ActionItemDelegeate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QSize text = QFontMetrics(option.font).size(Qt::TextSingleLine, displayText(index));
    // An alias's address has a line of its own.
    if (!index.data(ActionWidgetItem::AddressRole).toString().isEmpty())
        text.setHeight(2 * QFontMetrics(option.font).height());
    if (!index.data(ActionWidgetItem::DeletableRole).toBool())
        return QSize(text.width() + 2 * sideMargin, text.height() + 2 * verticalMargin);
    const QSize icon = iconSize();
    return QSize(icon.width() + 2 * sideMargin, qMax(text.height(), icon.height()) + 2 * verticalMargin);
}
