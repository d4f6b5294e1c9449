#ifndef VELMOR_CONSOLE_EASYLISTEDIT_H
#define VELMOR_CONSOLE_EASYLISTEDIT_H

#include "listkind.h"

#include <QColor>
#include <QHostAddress>
#include <QPointer>
#include <QWidget>

class ActionItemDelegeate;
class ActionWidgetItem;
class QAction;
class QLabel;
class QListWidgetItem;
class QMovie;

namespace Ui {
class DomainsEdit;
}

// A titled list of the filter settings: a row counter with the list's limit, a remove icon on the rows the user
// may delete, an Add button and "Clear list". It never talks to the account: it reports what the user asked
// for, drops its own row at once, and is refilled by its owner when the account's list changes.
class EasyListEdit : public QWidget
{
    Q_OBJECT

public:
    // limit: the most rows allowed, -1 for no limit. An invalid colour gives the title the default blue.
    EasyListEdit(const QString &title, int kind, const QColor &colour, int limit, QWidget *parent = nullptr);
    ~EasyListEdit() override;

    void addItem(quint32 id, const QString &text, bool deletable);
    void addAliasItem(quint32 id, const QString &domain, const QHostAddress &address, bool deletable);
    // Takes ownership.
    void appendItem(ActionWidgetItem *item);
    void startLoading();
    void stopLoading();
    void updateCounter();

public Q_SLOTS:
    void clear(bool onlyDeletable);
    void clear();

Q_SIGNALS:
    void itemRemoved(quint32 id);
    void newItem(const QString &domain);
    void newAlias(const QString &domain, const QHostAddress &ip);
    void cleared();
    void doubleClicked(quint32 id);

private Q_SLOTS:
    void clearTriggered();
    void itemClicked(QListWidgetItem *item);
    void itemDoubleClicked(QListWidgetItem *item);
    void on_btnAdd_clicked();
    void editor_commitData(QWidget *w);
    void itemChanged(QListWidgetItem *item);

private:
    Q_DISABLE_COPY(EasyListEdit)

    // The row the user is typing (id 0), or null.
    ActionWidgetItem *typedRow() const;
    bool isFull() const;
    // Add is offered while the list has room and no row is being typed; a full list says why not.
    void updateAddButton();
    void watchEditor(QWidget *editor);
    void stopWatchingEditor();
    // However the in-place edit ended, a row left behind was not taken.
    void typingEnded();

    Ui::DomainsEdit *ui;
    int m_kind;
    int m_limit;
    QMovie *m_loading;
    QAction *m_clearAction;
    // Why a typed entry was not taken; hidden until one is refused.
    QLabel *m_hint;
    ActionItemDelegeate *m_delegate;
    // The in-place editor being watched for its end, whichever way the edit ends.
    QPointer<QWidget> m_editor;
};

#endif // VELMOR_CONSOLE_EASYLISTEDIT_H
