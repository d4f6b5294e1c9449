#include "easylistedit.h"

#include "actionitemdelegeate.h"
#include "actionwidgetitem.h"
#include "adddialog.h"
#include "domainpattern.h"
#include "refusalhint.h"
#include "ui_domainsedit.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMovie>

namespace {

const char titleStyle[] = "background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,stop: 0 %1, stop: 1.0 #FFFFFF);"
                          "border-top-left-radius: 10px;border-top-right-radius: 10px;border: 1px solid darkgray;"
                          "border-width: 1px 1px 0px 1px;";

// The remove icon, 16 logical pixels square, drawn from as many device pixels as the screen has.
QPixmap removeIcon()
{
    const qreal ratio = qApp->devicePixelRatio();
    QPixmap icon = QPixmap(QStringLiteral(":/icons/check_off"))
                       .scaled(QSize(16, 16) * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    icon.setDevicePixelRatio(ratio);
    return icon;
}

} // namespace

EasyListEdit::EasyListEdit(const QString &title, int kind, const QColor &colour, int limit, QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::DomainsEdit)
    , m_kind(kind)
    , m_limit(limit)
    , m_loading(new QMovie(QStringLiteral(":/icons/loading.gif"), QByteArray(), this))
    , m_clearAction(new QAction(QIcon(QStringLiteral(":/icons/status-error")), tr("Clear list"), this))
    , m_hint(newRefusalHint(QStringLiteral("lblHint"), this))
    , m_delegate(new ActionItemDelegeate(kind, removeIcon()))
{
    ui->setupUi(this);
    // Owned here and deleted after the list that uses it.
    m_delegate->setParent(this);
    ui->lblLoading->hide();
    ui->lblLoading->setMovie(m_loading);
    ui->verticalLayout->insertWidget(ui->verticalLayout->indexOf(ui->lstDomains) + 1, m_hint);
    ui->lblTitle->setText(title);
    ui->lblTitle->setStyleSheet(
        QString::fromLatin1(titleStyle).arg(colour.isValid() ? colour.name() : QStringLiteral("#A1A1FF")));

    // The view connects its own commitData first, so the typed text is in the row when editor_commitData runs.
    ui->lstDomains->setItemDelegate(m_delegate);
    connect(m_delegate, &QAbstractItemDelegate::commitData, this, &EasyListEdit::editor_commitData);
    ui->lstDomains->setContextMenuPolicy(Qt::ActionsContextMenu);
    ui->lstDomains->addAction(m_clearAction);

    connect(ui->lstDomains, &QListWidget::itemClicked, this, &EasyListEdit::itemClicked);
    connect(ui->lstDomains, &QListWidget::itemDoubleClicked, this, &EasyListEdit::itemDoubleClicked);
    connect(ui->lstDomains, &QListWidget::itemChanged, this, &EasyListEdit::itemChanged);
    connect(m_clearAction, &QAction::triggered, this, &EasyListEdit::clearTriggered);
    connect(m_clearAction, &QAction::triggered, this, &EasyListEdit::cleared);
    updateCounter();
    updateAddButton();
}

EasyListEdit::~EasyListEdit()
{
    // Qt takes the children down after this: a focused editor then commits, a list reports its rows. None of it
    // may reach an editor that is gone.
    const QList<QObject *> descendants = findChildren<QObject *>();
    for (QObject *object : descendants)
        disconnect(object, nullptr, this, nullptr);
    m_editor = nullptr;
    delete ui;
}

void EasyListEdit::addItem(quint32 id, const QString &text, bool deletable)
{
    appendItem(new ActionWidgetItem(id, text, QHostAddress(), deletable));
}

void EasyListEdit::addAliasItem(quint32 id, const QString &domain, const QHostAddress &address, bool deletable)
{
    appendItem(new ActionWidgetItem(id, domain, address, deletable));
}

void EasyListEdit::appendItem(ActionWidgetItem *item)
{
    ui->lstDomains->addItem(item);
    updateAddButton();
    updateCounter();
}

void EasyListEdit::startLoading()
{
    ui->lblLoading->show();
    ui->btnAdd->hide();
    ui->lstDomains->setEnabled(false);
    m_loading->start();
}

void EasyListEdit::stopLoading()
{
    ui->lblLoading->hide();
    ui->btnAdd->show();
    ui->lstDomains->setEnabled(true);
    m_loading->stop();
}

void EasyListEdit::updateCounter()
{
    const int rows = ui->lstDomains->count();
    ui->lblCounter->setText(m_limit < 0 ? QString::number(rows) : QStringLiteral("%1/%2").arg(rows).arg(m_limit));
}

void EasyListEdit::clear(bool onlyDeletable)
{
    // A refill while a new row is typed ends that edit: the row goes, and Add comes back before the limit rule.
    if (ActionWidgetItem *typed = typedRow()) {
        stopWatchingEditor();
        delete typed;
    }
    int row = 0;
    while (row < ui->lstDomains->count()) {
        auto *item = static_cast<ActionWidgetItem *>(ui->lstDomains->item(row));
        if (onlyDeletable && !item->isDeletable())
            ++row;
        else
            delete item;
    }
    updateAddButton();
    updateCounter();
}

void EasyListEdit::clear()
{
    clear(false);
}

void EasyListEdit::clearTriggered()
{
    clear(true);
}

void EasyListEdit::itemClicked(QListWidgetItem *item)
{
    auto *row = static_cast<ActionWidgetItem *>(item);
    // The row being typed is no entry of the account yet: its edit decides what becomes of it.
    if (!row || !row->isDeletable() || row == typedRow())
        return;
    const QRect rect = ui->lstDomains->visualItemRect(item);
    const QPoint cursor = ui->lstDomains->viewport()->mapFromGlobal(QCursor::pos());
    if (!m_delegate->iconRect(rect).contains(cursor))
        return;
    const quint32 id = row->id();
    delete row;
    QPointer<EasyListEdit> guard(this);
    Q_EMIT itemRemoved(id);
    if (!guard)
        return;
    updateAddButton();
    updateCounter();
}

void EasyListEdit::itemDoubleClicked(QListWidgetItem *item)
{
    Q_EMIT doubleClicked(static_cast<ActionWidgetItem *>(item)->id());
}

void EasyListEdit::on_btnAdd_clicked()
{
    m_hint->hide();
    if (m_kind == AliasList) {
        // Not exec(): the owner may close under the dialog, which then goes with this editor, and nothing runs
        // after it.
        auto *dialog = new AddDialog(this, m_kind);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(
            dialog, &QDialog::accepted, this, [this, dialog] { Q_EMIT newAlias(dialog->domain(), dialog->address()); });
        dialog->open();
        return;
    }

    auto *row = new ActionWidgetItem(0, QString(), QHostAddress(), true);
    row->setFlags(row->flags() | Qt::ItemIsEditable);
    QWidget *before = m_delegate->currentEditor();
    ui->lstDomains->addItem(row);
    ui->lstDomains->editItem(row);
    QWidget *editor = m_delegate->currentEditor();
    if (!editor || editor == before) {
        delete row;
        return;
    }
    ui->btnAdd->setEnabled(false);
    ui->lstDomains->scrollToItem(row);
    watchEditor(editor);
}

void EasyListEdit::editor_commitData(QWidget *w)
{
    Q_UNUSED(w)
    // The typed row, taken or empty, goes when its editor does (typingEnded): the view still holds the editor
    // for that row until it has closed it. It counts no more against the limit.
    ui->btnAdd->setEnabled(m_limit < 0 || ui->lstDomains->count() - 1 < m_limit);
}

void EasyListEdit::itemChanged(QListWidgetItem *item)
{
    auto *row = static_cast<ActionWidgetItem *>(item);
    if (row != typedRow())
        return;
    const QString text = row->text();
    if (m_kind != DomainList) {
        Q_EMIT newItem(text);
        return;
    }
    // A view commits its editor unchecked when the current row changes: a half-typed domain is not sent. Nor is a
    // name DNS cannot hold, which could never match; the rest goes in its ASCII form.
    QString problem;
    const QString name = asciiDomain(text, &problem);
    if (name.isEmpty()) {
        if (!text.isEmpty()) {
            m_hint->setText(problem);
            m_hint->show();
        }
        return;
    }
    Q_EMIT newItem(name);
}

ActionWidgetItem *EasyListEdit::typedRow() const
{
    for (int i = ui->lstDomains->count() - 1; i >= 0; --i) {
        auto *row = static_cast<ActionWidgetItem *>(ui->lstDomains->item(i));
        if (row->id() == 0 && (row->flags() & Qt::ItemIsEditable))
            return row;
    }
    return nullptr;
}

bool EasyListEdit::isFull() const
{
    return m_limit >= 0 && ui->lstDomains->count() >= m_limit;
}

void EasyListEdit::updateAddButton()
{
    const bool full = isFull();
    ui->btnAdd->setEnabled(!full && !typedRow());
    ui->btnAdd->setToolTip(full ? tr("The plan allows %n entries in this list.", nullptr, m_limit) : QString());
}

void EasyListEdit::watchEditor(QWidget *editor)
{
    stopWatchingEditor();
    m_editor = editor;
    connect(editor, &QObject::destroyed, this, &EasyListEdit::typingEnded);
}

void EasyListEdit::stopWatchingEditor()
{
    if (m_editor)
        disconnect(m_editor, nullptr, this, nullptr);
    m_editor = nullptr;
}

void EasyListEdit::typingEnded()
{
    m_editor = nullptr;
    delete typedRow();
    updateAddButton();
}
