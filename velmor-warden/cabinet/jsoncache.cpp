#include "jsoncache.h"

#include "encrypteddiskcache.h"
#include "synccryptlayer.h"

#include "platform/appdata.h"
#include "velmorwire/json.h"

#include <QDateTime>
#include <QNetworkCacheMetaData>
#include <QUrl>

namespace Velmor {

namespace {

QUrl documentUrl(const char *name)
{
    return QUrl(QStringLiteral("json://cache/") + QString::fromLatin1(name));
}

} // namespace

JsonCache::JsonCache(const QString &subFolder)
    : m_cache(new EncryptedDiskCache)
{
    // A folder that cannot be made private leaves the store without one: it then keeps nothing.
    m_cache->setCacheDirectory(
        Platform::localAppDataPath({ QStringLiteral("Velmor"), QStringLiteral("velmor-warden"), subFolder }));
}

JsonCache::~JsonCache()
{
    delete m_cache;
}

void JsonCache::setKey(const QString &userName, const QString &password)
{
    m_cache->setKey(userName, password);
}

void JsonCache::put(const char *name, const QVariant &document)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QNetworkCacheMetaData meta;
    meta.setUrl(documentUrl(name));
    meta.setLastModified(now);
    meta.setExpirationDate(now.addYears(1));
    QIODevice *device = m_cache->prepare(meta);
    if (!device)
        return;
    // A failed write is caught by the layer, and insert() then keeps the earlier document.
    device->write(Json::stringify(document).toUtf8());
    m_cache->insert(device);
}

QVariant JsonCache::get(const char *name)
{
    QIODevice *device = m_cache->data(documentUrl(name));
    if (!device)
        return QVariant();
    const QByteArray text = device->readAll();
    const bool failed = static_cast<SyncCryptLayer *>(device)->hasFailed();
    delete device;
    if (failed)
        return QVariant();
    return Json::parse(QString::fromUtf8(text));
}

void JsonCache::clear()
{
    m_cache->clear();
}

} // namespace Velmor
