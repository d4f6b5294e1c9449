#ifndef VELMOR_CONSOLE_FILTERDLG_H
#define VELMOR_CONSOLE_FILTERDLG_H

#include "velmorwire/cabinetprofile.h"
#include "velmorwire/cabinetschedule.h"

#include <QDialog>
#include <QHostAddress>
#include <QList>
#include <QPointer>

class Cabinet;
class EasyListEdit;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMovie;
class QTimer;
class ScheduleWidget;

namespace Ui {
class FilterDlg;
}

namespace Velmor {
class Error;
}

// The filter settings of one profile of the account: categories, the white, black and alias lists, the weekly
// schedule and three options, with the choice of the profile edited and of the one in use, and the profiles
// editor. It works only through the account model: every edit is one operation of the model, and every view
// is rebuilt from what the model reports. Modeless; it deletes itself when closed.
class FilterDlg : public QDialog
{
    Q_OBJECT

public:
    FilterDlg(Cabinet *cabinet, QWidget *parent);
    ~FilterDlg() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void invalidateSystemInfo();
    void invalidateUserInfo();
    void reload();
    void currentTabChanged();
    void cabinetRequestFinished();
    void cabinet_categoriesUpdated();
    void cabinet_userFilterUpdated(quint32 profileId);
    void cabinet_whiteListUpdated(quint32 profileId);
    void cabinet_blackListUpdated(quint32 profileId);
    void cabinet_aliasListUpdated(quint32 profileId);
    void cabinet_profilesChanged();
    void scheduleRequestFinished();
    void resizeToContents();
    void catChanged(quint32 id, bool blocked);
    void updateLodingFrame(int);
    void domainsCleared();
    void newDomain(const QString &domain);
    void newAlias(const QString &domain, const QHostAddress &address);
    void domainRemoved(quint32 domainId);
    void profileRemoved(quint32 id);
    void activateProfile(quint32 id);
    void newProfile(const QString &name);
    void scheduleDayToggled();
    void scheduleTimeFromEdited();
    void scheduleTimeToEdited();
    void scheduleDayChanged();
    void saveSchedule();
    void on_btnProfilesSettings_clicked();
    void on_cmbProfile_currentIndexChanged(int index);
    void cabinet_identificationStateChanged();
    void checkRpcError();
    void on_ckAllowSchedule_clicked();
    void on_ckWhiteOnly_toggled(bool checked);
    void on_pbUseProfile_clicked();
    void on_ckSafeSearch_toggled(bool checked);
    void on_ckBlockUnknown_toggled(bool checked);

private:
    Q_DISABLE_COPY(FilterDlg)

    // The widgets of one day of the schedule; schedWidget owns them.
    struct ScheduleRow
    {
        ScheduleWidget *bar;
        QLineEdit *from;
        QLineEdit *to;
        QCheckBox *on;
    };

    void showRequestError(const Velmor::Error &error);
    void checkAllLoaded();
    void updateProfileOptions();
    void updateTabs();
    // Shows the page at index, or takes it away, making another page current first when it is the current one.
    void setPagePresent(QWidget *page, bool present, int index, const QString &text, QWidget *instead);
    void buildCategoryGrid();
    int listTypeOf(QObject *editor) const;
    void fillProfilesEditor();

    // The edited profile, or null when the model does not hold it.
    QSharedPointer<Velmor::CabinetProfile> editedProfile() const;
    // The plan's number for a feature; absent when the account names none, or not as a number.
    int feature(const char *name, int absent = 0) const;
    // The plan's most entries of a list; -1 (no limit) when the account names none.
    int listLimit(const char *name) const;
    void refillList(EasyListEdit *editor, int type, bool *loaded);
    void setEditedProfile(quint32 id);
    void buildScheduleGrid();
    // The schedule day of the sending row widget, or -1.
    int scheduleDayOf(QObject *widget) const;
    // A typed time the schedule cannot take: the field shows the day's time again, and the hint says why.
    void refuseScheduleTime(QLineEdit *field, const QString &typed);
    void checkTimeZone();

    Ui::FilterDlg *ui;
    Cabinet *m_cabinet;
    quint32 m_profileId;
    QWidget *m_lastTab;
    EasyListEdit *m_whiteList;
    EasyListEdit *m_blackList;
    EasyListEdit *m_aliasList;
    QPointer<QDialog> m_profilesEditor;
    EasyListEdit *m_profilesList;
    bool m_whiteListMode;
    bool m_resized;
    bool m_categoriesLoaded;
    bool m_userFilterLoaded;
    bool m_whiteListLoaded;
    bool m_blackListLoaded;
    bool m_aliasesLoaded;
    bool m_scheduleLoaded;
    QMovie *m_buttonAnimation;
    QMovie *m_placeholderAnimation;
    bool m_errorShown;
    Velmor::CabinetSchedule m_schedule;
    // The profile the held schedule was loaded for: edits are saved for it, whichever profile is edited by then.
    quint32 m_scheduleProfileId;
    QList<ScheduleRow> m_scheduleRows;
    QPointer<QLabel> m_scheduleRefusal;
    QTimer *m_saveTimer;
};

#endif // VELMOR_CONSOLE_FILTERDLG_H
