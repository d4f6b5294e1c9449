#ifndef VELMOR_ENCRYPTEDDISKCACHE_H
#define VELMOR_ENCRYPTEDDISKCACHE_H

#include <QAbstractNetworkCache>
#include <QHash>

namespace Velmor {

class SyncCryptLayer;

// A network cache whose item bodies are encrypted under a key bound to this machine and to two key strings (the
// account's user name and password). Without both strings it keeps and gives out nothing.
//
// Each item is one file in the cache folder: a magic, a fresh random nonce and the item's meta data, then the
// AES-256-GCM ciphertext of the body and its tag, which authenticates the header and the item's address too. An item is
// written under a temporary name (mode 0600, never through a symlink) and renamed over the earlier one only when all of
// it was written, so a short or failed write keeps the earlier item.
class EncryptedDiskCache : public QAbstractNetworkCache
{
    Q_OBJECT

public:
    // The largest item file the cache reads back.
    static const qint64 maximumItemSize;

    explicit EncryptedDiskCache(QObject *parent = nullptr);
    ~EncryptedDiskCache() override;

    // The folder of the item files; it must exist and be private to this user.
    QString cacheDirectory() const { return m_directory; }
    void setCacheDirectory(const QString &directory);

    // Derives the item key from the machine key and both strings; an empty string, or a machine key that cannot
    // be read, leaves the cache without a key. The key is kept in memory only.
    void setKey(const QString &firstKey, const QString &secondKey);
    bool hasKey() const { return !m_key.isEmpty(); }

    QNetworkCacheMetaData metaData(const QUrl &url) override;
    void updateMetaData(const QNetworkCacheMetaData &metaData) override;
    // A layer that reads the item's body, owned by the caller; null without a key or an item.
    QIODevice *data(const QUrl &url) override;
    // Removes the item, or cancels an insertion of it that was prepared and not yet inserted.
    bool remove(const QUrl &url) override;
    qint64 cacheSize() const override;
    // A layer to write the body into, to be handed to insert() or cancelled with remove(); null without a key.
    QIODevice *prepare(const QNetworkCacheMetaData &metaData) override;
    // Writes the tag and commits the item, unless any write failed: then the earlier item stays.
    void insert(QIODevice *device) override;

public Q_SLOTS:
    // Removes every item file of the folder.
    void clear() override;

private:
    struct Insertion
    {
        QUrl url;
        QByteArray temporaryName;
        int folder = -1;
    };

    int openFolder() const;
    static QByteArray itemName(const QUrl &url);
    // Reads an item file and splits it; nothing of it is trusted before its body authenticates. False for a
    // missing item or one whose layout is wrong.
    bool readItem(const QUrl &url, QByteArray *header, QByteArray *nonce, QByteArray *metaData, QByteArray *body) const;
    void discard(QIODevice *device);

    QString m_directory;
    QByteArray m_key;
    QHash<QIODevice *, Insertion> m_inserting;
};

} // namespace Velmor

#endif // VELMOR_ENCRYPTEDDISKCACHE_H
