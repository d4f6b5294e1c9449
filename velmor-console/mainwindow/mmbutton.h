#ifndef VELMOR_CONSOLE_MMBUTTON_H
#define VELMOR_CONSOLE_MMBUTTON_H

#include <QIcon>
#include <QObject>
#include <QString>
#include <QVariant>

class QPushButton;

// One answer of a remembered-answer question: its text, icon and value, and the signal the caller connects what
// the answer does to. Created without a parent; the question takes it over.
class MMButton : public QObject
{
    Q_OBJECT

public:
    MMButton(const QString &text, const QVariant &value, const QIcon &icon = QIcon(), bool isDefault = false);
    ~MMButton() override;

    bool isDefault;
    QString text;
    QIcon icon;
    QVariant value;
    // The push button the dialog made for this answer; null until then.
    QPushButton *button;

Q_SIGNALS:
    // The answer was chosen, by the user or from the remembered answer.
    void clicked();

private:
    Q_DISABLE_COPY(MMButton)
};

#endif // VELMOR_CONSOLE_MMBUTTON_H
