#include "cabinet/encrypteddiskcache.h"

#include "platform/appdata.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QNetworkCacheMetaData>
#include <QTemporaryDir>
#include <QTest>

using Velmor::EncryptedDiskCache;

class tst_EncryptedDiskCache : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void networkCacheInterface();
    void removeCancelsPreparedItem();
    void insertOfUnknownDevice();
    void metaDataIsReadOnlyWhenAuthentic();

private:
    QStringList files() const { return QDir(m_folder).entryList(QDir::Files | QDir::Hidden); }
    static QNetworkCacheMetaData meta(const QString &name, const QDateTime &expires);

    QTemporaryDir m_root;
    QString m_folder;
};

void tst_EncryptedDiskCache::initTestCase()
{
    QVERIFY(m_root.isValid());
    qputenv("VELMOR_ROOT", QFile::encodeName(m_root.path()));
    m_folder = Velmor::Platform::localAppDataPath({ QStringLiteral("cache") });
    QVERIFY(!m_folder.isEmpty());
}

QNetworkCacheMetaData tst_EncryptedDiskCache::meta(const QString &name, const QDateTime &expires)
{
    QNetworkCacheMetaData data;
    data.setUrl(QUrl(QStringLiteral("json://cache/") + name));
    data.setLastModified(expires.addYears(-1));
    data.setExpirationDate(expires);
    return data;
}

void tst_EncryptedDiskCache::networkCacheInterface()
{
    EncryptedDiskCache cache;
    cache.setCacheDirectory(m_folder);
    cache.setKey(QStringLiteral("ann"), QStringLiteral("pw"));
    const QDateTime expires = QDateTime(QDate(2030, 1, 2), QTime(3, 4, 5), Qt::UTC);
    QIODevice *device = cache.prepare(meta(QStringLiteral("a"), expires));
    QVERIFY(device);
    device->write("{}");
    cache.insert(device);

    const QUrl url(QStringLiteral("json://cache/a"));
    QCOMPARE(cache.metaData(url).expirationDate(), expires);
    QVERIFY(cache.cacheSize() > 2);
    cache.updateMetaData(meta(QStringLiteral("a"), expires.addDays(1)));
    QCOMPARE(cache.metaData(url).expirationDate(), expires.addDays(1));
    QIODevice *reader = cache.data(url);
    QVERIFY(reader);
    QCOMPARE(reader->readAll(), QByteArray("{}"));
    delete reader;
    QVERIFY(!cache.metaData(QUrl(QStringLiteral("json://cache/b"))).isValid());

    QVERIFY(cache.remove(url));
    QVERIFY(!cache.remove(url));
    QCOMPARE(cache.cacheSize(), 0);
    QVERIFY(files().isEmpty());
}

void tst_EncryptedDiskCache::removeCancelsPreparedItem()
{
    EncryptedDiskCache cache;
    cache.setCacheDirectory(m_folder);
    cache.setKey(QStringLiteral("ann"), QStringLiteral("pw"));
    QIODevice *device = cache.prepare(meta(QStringLiteral("c"), QDateTime::currentDateTimeUtc()));
    QVERIFY(device);
    device->write("[1]");
    QCOMPARE(files().size(), 1);
    QVERIFY(cache.remove(QUrl(QStringLiteral("json://cache/c"))));
    QVERIFY(files().isEmpty());
    QVERIFY(!cache.data(QUrl(QStringLiteral("json://cache/c"))));

    // An item prepared and never inserted goes with the cache.
    QVERIFY(cache.prepare(meta(QStringLiteral("d"), QDateTime::currentDateTimeUtc())));
}

void tst_EncryptedDiskCache::insertOfUnknownDevice()
{
    EncryptedDiskCache cache;
    cache.setCacheDirectory(m_folder);
    cache.setKey(QStringLiteral("ann"), QStringLiteral("pw"));
    QFile stranger;
    QTest::ignoreMessage(QtWarningMsg, "EncryptedDiskCache::insert() called on a device it did not prepare");
    cache.insert(&stranger);
    QVERIFY(files().isEmpty());
}

void tst_EncryptedDiskCache::metaDataIsReadOnlyWhenAuthentic()
{
    EncryptedDiskCache cache;
    cache.setCacheDirectory(m_folder);
    cache.setKey(QStringLiteral("ann"), QStringLiteral("pw"));
    const QUrl url(QStringLiteral("json://cache/profiles"));
    QIODevice *device = cache.prepare(meta(QStringLiteral("profiles"), QDateTime::currentDateTimeUtc()));
    QVERIFY(device);
    device->write("[]");
    cache.insert(device);
    QCOMPARE(files().size(), 1);

    // An item whose meta data claims lengths of gigabytes, found by fuzzing: it must be refused by its tag before
    // anything reads those lengths.
    QFile item(m_folder + QLatin1Char('/') + files().first());
    QVERIFY(item.open(QIODevice::WriteOnly | QIODevice::Truncate));
    item.write(QByteArray::fromBase64(
        "VkNJMfWRtRjC0m+"
        "PsTRqYQAAADwAAAAVanNvbjovL2NhY2hlL3Byb2ZpbGVzAAAAAAAlkDYDrCJbAQAAHAAAJY7JA6wiWwEBAAAAAFUAAADGDP0V"
        "/ORl20egt0/KeIECyZG5z8MCjyTX6d7EzK6cUQ4xHgAAAFYAZQBsAMKhk9RX/3R9Cpj2FJ7uDoOuR32RgTF52FSn0A1S////////"
        "p0kSZwXwmD/"
        "qSGFh7Q=="));
    item.close();
    QVERIFY(!cache.metaData(url).isValid());
    QIODevice *reader = cache.data(url);
    QVERIFY(reader);
    QVERIFY(reader->readAll().isEmpty());
    delete reader;
    cache.clear();
}

QTEST_GUILESS_MAIN(tst_EncryptedDiskCache)
#include "tst_encrypteddiskcache.moc"
