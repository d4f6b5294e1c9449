#ifndef VELMOR_CONSOLE_MEMORYMSGBOX_H
#define VELMOR_CONSOLE_MEMORYMSGBOX_H

#include "mmbutton.h"

#include <QDialog>
#include <QHash>
#include <QList>
#include <QVariant>

class QAbstractButton;
class Ui_VarQuestionDlg;

// A question with answers of the caller's choosing and a box that remembers the answer. A remembered answer is
// kept in the program's settings under the question's name; from then on the question answers itself and no
// dialog is shown.
class MemoryMsgBox : public QDialog
{
    Q_OBJECT

public:
    // notice true: a notice ("Don't show anymore"), else a question ("Remember choice"). Returns at once: a
    // remembered answer has then acted and the answers are deleted, or the dialog is open and owns them.
    static void ask(
        bool notice, const QString &name, const QList<MMButton *> &answers, const QString &question, QWidget *parent);
    static void askQuestion(
        const QString &name, const QString &question, const QList<MMButton *> &answers, QWidget *parent);
    static void inform(const QString &name, const QString &question, QWidget *parent);

    // answers must not be empty.
    MemoryMsgBox(
        bool notice, const QString &name, const QString &question, const QList<MMButton *> &answers, QWidget *parent);
    ~MemoryMsgBox() override;

public Q_SLOTS:
    void done(int r) override;

private Q_SLOTS:
    void rememberChoice();

private:
    Q_DISABLE_COPY(MemoryMsgBox)

    Ui_VarQuestionDlg *ui;
    QString m_name;
    QHash<QAbstractButton *, QVariant> m_values;
    QVariant m_chosen;
};

#endif // VELMOR_CONSOLE_MEMORYMSGBOX_H
