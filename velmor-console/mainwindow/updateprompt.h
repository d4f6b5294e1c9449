#ifndef VELMOR_CONSOLE_UPDATEPROMPT_H
#define VELMOR_CONSOLE_UPDATEPROMPT_H

#include <QObject>
#include <QPointer>

class AppUpdater;
class QNetworkReply;
class QWidget;
class UpdateDialog;

// Opens the update dialog whenever the updater offers a newer version. It belongs to the updater, and the dialog
// goes with it.
class UpdatePrompt : public QObject
{
    Q_OBJECT

public:
    // The dialog opens over dialogParent, or as a window of its own without one.
    explicit UpdatePrompt(AppUpdater *updater, QWidget *dialogParent = nullptr);
    ~UpdatePrompt() override;

    UpdateDialog *dialog() const;

private Q_SLOTS:
    void updater_offerFound(QNetworkReply *runningDownload);

private:
    Q_DISABLE_COPY(UpdatePrompt)

    AppUpdater *m_updater;
    QPointer<QWidget> m_dialogParent;
    QPointer<UpdateDialog> m_dialog;
};

#endif // VELMOR_CONSOLE_UPDATEPROMPT_H
