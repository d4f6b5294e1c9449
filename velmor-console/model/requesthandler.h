#ifndef VELMOR_CONSOLE_REQUESTHANDLER_H
#define VELMOR_CONSOLE_REQUESTHANDLER_H

#include <QObject>
#include <QVariant>

class Cabinet;
class ServiceStatus;

// Where the service's notifications enter the desktop: the link calls the slot of the same name and
// parameter count. Each slot updates the service status or the account model, whose signals the windows follow.
// The slots are the service's vocabulary: keep their names, parameter counts and order.
class RequestHandler : public QObject
{
    Q_OBJECT

public:
    RequestHandler(ServiceStatus *status, Cabinet *cabinet);
    ~RequestHandler() override;

public Q_SLOTS:
    void setSettings(const QVariantMap &settings);
    void setSystemInfo(const QVariant &si);
    void setCategories(const QVariant &v);
    void setIdentification(quint32 type, const QVariant &data);
    void setIdentificationError(quint32 type, const QVariant &data);
    void setCredentials(const QString &user, const QString &password);
    void setUserInfo(const QVariantMap &userInfo);
    void setProfiles(const QVariantList &vl, quint32 selectedProfile);
    void setSelectedProfile(quint32 selectedProfile);
    void setProfileScheduleActivity(quint32 profileId, bool active);
    void setNetworks(const QVariantMap &vm);
    void setSettingsLocked(bool state);
    void setGlobalFiltering(bool state);
    void setNetworkProtection(const QString &id, bool state);
    void setUserFilter(quint32 profileId, const QVariantList &vl);
    void setDomains(quint32 profileId, int type, const QVariantList &vl);

private:
    Q_DISABLE_COPY(RequestHandler)

    // The identification notification ends the service's initial push.
    void completeConnection(bool wasComplete);

    ServiceStatus *m_status;
    Cabinet *m_cabinet;
};

#endif // VELMOR_CONSOLE_REQUESTHANDLER_H
