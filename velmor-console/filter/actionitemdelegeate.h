#ifndef VELMOR_CONSOLE_ACTIONITEMDELEGEATE_H
#define VELMOR_CONSOLE_ACTIONITEMDELEGEATE_H

#include <QPixmap>
#include <QPointer>
#include <QStyledItemDelegate>

// How a list editor's row is drawn, measured and typed: the text (an alias with its address in brackets) on
// one line, the remove icon at the right of a removable row, and a plain line edit for a new row.
class ActionItemDelegeate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    ActionItemDelegeate(int kind, const QPixmap &icon);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // The remove icon's size in logical pixels.
    QSize iconSize() const;
    // Where the remove icon of a row with this rectangle is drawn.
    QRect iconRect(const QRect &row) const;
    // The editor of the row being typed, while it exists.
    QWidget *currentEditor() const { return m_editor; }

private:
    Q_DISABLE_COPY(ActionItemDelegeate)

    static QString displayText(const QModelIndex &index);

    int m_kind;
    QPixmap m_icon;
    mutable QPointer<QWidget> m_editor;
};

#endif // VELMOR_CONSOLE_ACTIONITEMDELEGEATE_H
