#ifndef VELMOR_CONSOLE_CATSWITCHER_H
#define VELMOR_CONSOLE_CATSWITCHER_H

#include <QWidget>

namespace Ui {
class CatSwitcher;
}

// One category of the filter's grid: checked means blocked. Only a click reports; the grid is rebuilt, never
// updated, when the account changes.
class CatSwitcher : public QWidget
{
    Q_OBJECT

public:
    CatSwitcher(quint32 id, const QString &name, bool blocked, const QString &description, QWidget *parent = nullptr);
    ~CatSwitcher() override;

    quint32 id() const { return m_id; }
    bool isBlocked() const { return m_blocked; }
    // Emits nothing.
    void setBlocked(bool blocked);

Q_SIGNALS:
    void changed(quint32 id, bool blocked);

private Q_SLOTS:
    void on_ckState_clicked();

private:
    Q_DISABLE_COPY(CatSwitcher)

    Ui::CatSwitcher *ui;
    bool m_blocked;
    quint32 m_id;
};

#endif // VELMOR_CONSOLE_CATSWITCHER_H
