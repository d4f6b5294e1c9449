#include "cabinet.h"

#include "jsoncache.h"
#include "protecteddata.h"

#include "base/servicesettings.h"

namespace Velmor {

namespace {

const quint16 firstReconnectDelay = 30;
const quint16 longestReconnectDelay = 3600;

} // namespace

Cabinet::Cabinet(QObject *parent)
    : QObject(parent)
    , m_state(Disconnected)
    , m_store(new JsonCache(QStringLiteral("cabinet")))
    , m_reconnectDelay(firstReconnectDelay)
    , m_credentialsAccepted(false)
    , m_chosenProfileId(0)
{
    m_reconnectTimer.setSingleShot(true);

    const ServiceSettings settings;
    const QByteArray storedUser = settings.storedUser();
    if (!storedUser.isEmpty()) {
        m_user = QString::fromUtf8(unprotectData(storedUser, false));
        m_password = QString::fromUtf8(unprotectData(settings.storedPassword(), false));
    }
    m_store->setKey(m_user, m_password);
    // Stored credentials were the ones filtering ran on: until the account service refuses them they stay.
    m_credentialsAccepted = !m_user.isEmpty();

    // What the cache holds is shown until the account service answers; a rejected document is simply not used.
    m_profiles.fromVariant(m_store->get("profiles"));
    m_userInfo.fromVariant(m_store->get("userinfo"));
    for (auto it = m_profiles.cbegin(); it != m_profiles.cend(); ++it) {
        ProfileData record(it.key(), m_store);
        record.load();
        m_profileData.insert(it.key(), record);
    }

    connect(&m_reconnectTimer, &QTimer::timeout, this, &Cabinet::connectToServer);
    connect(&m_activityTimer, &QTimer::timeout, this, &Cabinet::updateProfileActivity);
    QTimer::singleShot(0, this, &Cabinet::init);
}

Cabinet::~Cabinet()
{
    delete m_store;
}

void Cabinet::init()
{
    selectProfile(ProfileData::storedNumber(m_store->get("profile")));
    systemInfo();
    categories();
    invalidateSettings();
}

QString Cabinet::agentName() const
{
    return ServiceSettings().agentName();
}

void Cabinet::invalidateSettings()
{
    if (!m_user.isEmpty() && !m_password.isEmpty()) {
        for (ProfileData &record : m_profileData)
            record.resetVersions();
        profiles();
        userInfo();
        return;
    }
    clear();
    m_lastError = Error(Error::AuthenticationFailed, QString());
    Q_EMIT error();
}

bool Cabinet::holdsCredentials(const QString &user, const QString &password) const
{
    return user == m_user && password == m_password && m_state == Connected;
}

bool Cabinet::setCredentials(const QString &user, const QString &password)
{
    m_activityTimer.stop();
    if (holdsCredentials(user, password))
        return false;

    ServiceSettings().setStoredCredentials(protectData(user.toUtf8(), QStringLiteral("Velmor user")),
        protectData(password.toUtf8(), QStringLiteral("Velmor password")));

    // The account already held signs in again: what is known of it, and the filtering that runs on it, stays
    // while the account service is asked again.
    if (m_credentialsAccepted && user == m_user && !password.isEmpty()) {
        if (password != m_password) {
            m_password = password;
            m_store->setKey(user, password);
            saveAll();
        }
        // The outcome to wait for is this attempt's, not the failure that came before it.
        m_lastError = Error();
        connectToServer();
        Q_EMIT credentialsUpdated();
        return true;
    }
    const bool sameAccount = user == m_user;
    m_credentialsAccepted = false;

    for (ProfileData &record : m_profileData)
        record.dropRequests();
    const bool hadCurrentProfile = !m_currentProfile.isNull();
    clear();
    if (!sameAccount)
        m_chosenProfileId = 0;
    m_user = user;
    m_password = password;
    m_store->setKey(user, password);
    updateCurrentProfile();
    // clear() dropped the current profile without a word; its receivers still have to learn that it is gone.
    if (hadCurrentProfile)
        Q_EMIT currentProfileChanged();
    connectToServer();
    Q_EMIT credentialsUpdated();
    return true;
}

void Cabinet::clear()
{
    if (m_selectedProfile)
        m_chosenProfileId = m_selectedProfile->id;
    m_store->clear();
    m_userInfo = CabinetUserInfo();
    m_profiles.clear();
    m_selectedProfile.reset();
    m_currentProfile.reset();
    m_profileData.clear();
    m_lastError = Error();
    m_ip = QHostAddress();
}

void Cabinet::saveAll()
{
    m_store->clear();
    saveProfiles();
    m_store->put("userinfo", m_userInfo.toVariant());
    for (const ProfileData &record : std::as_const(m_profileData))
        record.save();
}

void Cabinet::setState(int state)
{
    if (state == m_state)
        return;
    m_state = state;
    if (state == Connected) {
        m_credentialsAccepted = true;
        m_reconnectTimer.stop();
        m_reconnectDelay = firstReconnectDelay;
    }
    Q_EMIT stateChanged();
}

void Cabinet::setError(const Error &failure)
{
    m_lastError = Error(failure.code(), failure.message());
    Q_EMIT error();
    m_reconnectTimer.start(int(m_reconnectDelay) * 1000);
    m_reconnectDelay
        = m_reconnectDelay <= longestReconnectDelay / 2 ? quint16(m_reconnectDelay * 2) : longestReconnectDelay;
    setState(Disconnected);
}

} // namespace Velmor
