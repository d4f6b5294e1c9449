#ifndef VELMOR_JSONCACHE_H
#define VELMOR_JSONCACHE_H

#include <QString>
#include <QVariant>

namespace Velmor {

class EncryptedDiskCache;

// A store of named JSON documents, encrypted under the account's credentials, kept between runs in the local
// application data folder (Velmor/velmor-warden/<sub-folder>). Without a key it stores and reads nothing.
class JsonCache
{
public:
    explicit JsonCache(const QString &subFolder);
    ~JsonCache();

    void setKey(const QString &userName, const QString &password);

    // Stores the document under the name, replacing an earlier one; a failed write keeps the earlier one.
    void put(const char *name, const QVariant &document);
    // The stored document; an invalid QVariant when there is none or it cannot be read.
    QVariant get(const char *name);
    // Removes every document.
    void clear();

    EncryptedDiskCache *cache() const { return m_cache; }

private:
    Q_DISABLE_COPY(JsonCache)

    EncryptedDiskCache *m_cache;
};

} // namespace Velmor

#endif // VELMOR_JSONCACHE_H
