#ifndef VELMOR_CONSOLE_NETWORKWIDGETITEM_H
#define VELMOR_CONSOLE_NETWORKWIDGETITEM_H

#include <QListWidgetItem>
#include <QObject>
#include <QString>

// One network connection in the main window's list: checked while the service protects it, bold for the
// connection that carries the default route, yellow while a change the user asked for is on its way.
class NetworkWidgetItem : public QObject, public QListWidgetItem
{
    Q_OBJECT

public:
    NetworkWidgetItem(const QString &id, const QString &name);
    ~NetworkWidgetItem() override;

    // Marks the row: yellow while syncing, the list's own base colour otherwise.
    void setSyncing(bool syncing);

    QString id;
    QString name;
    bool syncing;

    // The row's call has ended, whatever its outcome: the mark goes, the check box stays as it is.
    Q_INVOKABLE void stopSyncing();

private:
    Q_DISABLE_COPY(NetworkWidgetItem)
};

#endif // VELMOR_CONSOLE_NETWORKWIDGETITEM_H
