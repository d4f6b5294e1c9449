#include "encrypteddiskcache.h"

#include "synccryptlayer.h"

#include "platform/dataprotection.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDataStream>
#include <QFile>
#include <QRandomGenerator>
#include <QtEndian>

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Velmor {

const qint64 EncryptedDiskCache::maximumItemSize = 64 * 1024 * 1024 + 64 * 1024;

namespace {

const char itemMagic[] = "VCI1";
const int magicSize = 4;
const int maximumMetaDataSize = 64 * 1024;
const char temporaryPrefix[] = ".tmp-";
const char itemSuffix[] = ".d";

// The whole item file, which the call owns from now on; anything but a regular file within the limit is no item.
bool readItemFile(int fd, qint64 limit, QByteArray *data)
{
    struct stat info;
    QFile file;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > limit
        || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    // As large as the file was found, and one byte more to notice a file that grew past the limit since.
    *data = file.read(info.st_size + 1);
    return data->size() <= limit;
}

} // namespace

EncryptedDiskCache::EncryptedDiskCache(QObject *parent)
    : QAbstractNetworkCache(parent)
{ }

EncryptedDiskCache::~EncryptedDiskCache()
{
    const QList<QIODevice *> pending = m_inserting.keys();
    for (QIODevice *device : pending)
        discard(device);
    if (!m_key.isEmpty())
        OPENSSL_cleanse(m_key.data(), size_t(m_key.size()));
}

void EncryptedDiskCache::setCacheDirectory(const QString &directory)
{
    m_directory = directory;
}

void EncryptedDiskCache::setKey(const QString &firstKey, const QString &secondKey)
{
    if (!m_key.isEmpty())
        OPENSSL_cleanse(m_key.data(), size_t(m_key.size()));
    m_key.clear();
    if (firstKey.isEmpty() || secondKey.isEmpty())
        return;
    QByteArray first = firstKey.toUtf8();
    QByteArray second = secondKey.toUtf8();
    if (!Platform::machineDerivedKey(QByteArrayLiteral("velmor account cache"), { first, second }, &m_key)) {
        m_key.clear();
        qWarning("account cache unavailable: the machine key cannot be read");
    }
    OPENSSL_cleanse(first.data(), size_t(first.size()));
    OPENSSL_cleanse(second.data(), size_t(second.size()));
}

int EncryptedDiskCache::openFolder() const
{
    if (m_directory.isEmpty())
        return -1;
    return ::open(QFile::encodeName(m_directory).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

QByteArray EncryptedDiskCache::itemName(const QUrl &url)
{
    return QCryptographicHash::hash(url.toEncoded(), QCryptographicHash::Sha256).toHex().left(32) + itemSuffix;
}

QIODevice *EncryptedDiskCache::prepare(const QNetworkCacheMetaData &metaData)
{
    if (!hasKey() || !metaData.url().isValid())
        return nullptr;
    const int folder = openFolder();
    if (folder < 0)
        return nullptr;

    QByteArray temporaryName;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporaryName = temporaryPrefix + QByteArray::number(QRandomGenerator::system()->generate64(), 16);
        fd = ::openat(folder, temporaryName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0 || ::fchmod(fd, 0600) != 0) {
        if (fd >= 0) {
            ::close(fd);
            ::unlinkat(folder, temporaryName.constData(), 0);
        }
        ::close(folder);
        return nullptr;
    }

    QByteArray nonce(SyncCryptLayer::nonceSize, Qt::Uninitialized);
    QByteArray meta;
    {
        QDataStream stream(&meta, QIODevice::WriteOnly);
        stream.setVersion(QDataStream::Qt_6_0);
        stream << metaData;
    }
    const bool nonceMade = RAND_bytes(reinterpret_cast<unsigned char *>(nonce.data()), SyncCryptLayer::nonceSize) == 1;
    QByteArray header(itemMagic, magicSize);
    header += nonce;
    char length[4];
    qToBigEndian(quint32(meta.size()), length);
    header.append(length, 4);
    header += meta;

    auto *file = new QFile;
    const bool opened = file->open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
    if (!opened)
        ::close(fd);
    if (!opened || !nonceMade || meta.size() > maximumMetaDataSize || file->write(header) != header.size()) {
        delete file;
        ::unlinkat(folder, temporaryName.constData(), 0);
        ::close(folder);
        return nullptr;
    }

    auto *layer = new SyncCryptLayer(m_key, nonce, header + metaData.url().toEncoded());
    layer->setDevice(file);
    m_inserting.insert(layer, Insertion { metaData.url(), temporaryName, folder });
    return layer;
}

void EncryptedDiskCache::insert(QIODevice *device)
{
    const auto found = m_inserting.constFind(device);
    if (found == m_inserting.constEnd()) {
        qWarning("EncryptedDiskCache::insert() called on a device it did not prepare");
        return;
    }
    const Insertion insertion = found.value();
    m_inserting.erase(found);

    auto *layer = static_cast<SyncCryptLayer *>(device);
    auto *file = static_cast<QFile *>(layer->device());
    // No fsync: an item that a crash leaves torn fails its tag, reads as missing and is fetched again, while a
    // full sync writes some hundreds of items.
    bool ok = layer->finish() && file->flush();
    delete layer;
    if (ok) {
        const QByteArray target = itemName(insertion.url);
        ok = ::renameat(insertion.folder, insertion.temporaryName.constData(), insertion.folder, target.constData())
            == 0;
    }
    if (!ok)
        ::unlinkat(insertion.folder, insertion.temporaryName.constData(), 0);
    ::close(insertion.folder);
}

void EncryptedDiskCache::discard(QIODevice *device)
{
    const Insertion insertion = m_inserting.take(device);
    delete device;
    ::unlinkat(insertion.folder, insertion.temporaryName.constData(), 0);
    ::close(insertion.folder);
}

bool EncryptedDiskCache::readItem(
    const QUrl &url, QByteArray *header, QByteArray *nonce, QByteArray *metaData, QByteArray *body) const
{
    const int folder = openFolder();
    if (folder < 0)
        return false;
    // Not blocking: a FIFO planted under an item's name must not hang the open.
    const int fd = ::openat(folder, itemName(url).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    ::close(folder);
    if (fd < 0)
        return false;
    QByteArray content;
    const bool read = readItemFile(fd, maximumItemSize, &content);
    const int fixedSize = magicSize + SyncCryptLayer::nonceSize + 4;
    if (!read || content.size() < fixedSize || !content.startsWith(QByteArray(itemMagic, magicSize)))
        return false;
    const quint32 metaSize = qFromBigEndian<quint32>(content.constData() + magicSize + SyncCryptLayer::nonceSize);
    if (metaSize > quint32(maximumMetaDataSize) || fixedSize + qint64(metaSize) > content.size())
        return false;
    *nonce = content.mid(magicSize, SyncCryptLayer::nonceSize);
    *metaData = content.mid(fixedSize, metaSize);
    *header = content.left(fixedSize + metaSize);
    *body = content.mid(fixedSize + metaSize);
    return true;
}

QIODevice *EncryptedDiskCache::data(const QUrl &url)
{
    if (!hasKey())
        return nullptr;
    QByteArray header;
    QByteArray nonce;
    QByteArray metaData;
    auto *buffer = new QBuffer;
    if (!readItem(url, &header, &nonce, &metaData, &buffer->buffer())) {
        delete buffer;
        return nullptr;
    }
    buffer->open(QIODevice::ReadOnly);
    // The address read for is authenticated too: an item copied under another item's name does not read.
    auto *layer = new SyncCryptLayer(m_key, nonce, header + url.toEncoded());
    layer->setDevice(buffer);
    return layer;
}

QNetworkCacheMetaData EncryptedDiskCache::metaData(const QUrl &url)
{
    QByteArray header;
    QByteArray nonce;
    QByteArray meta;
    QByteArray body;
    if (!hasKey() || !readItem(url, &header, &nonce, &meta, &body))
        return QNetworkCacheMetaData();
    // Meta data is parsed only once its item has authenticated: before that its lengths are anyone's.
    QIODevice *device = data(url);
    if (!device)
        return QNetworkCacheMetaData();
    device->readAll();
    const bool failed = static_cast<SyncCryptLayer *>(device)->hasFailed();
    delete device;
    if (failed)
        return QNetworkCacheMetaData();
    QNetworkCacheMetaData parsed;
    QDataStream stream(meta);
    stream.setVersion(QDataStream::Qt_6_0);
    stream >> parsed;
    return stream.status() == QDataStream::Ok && parsed.url() == url ? parsed : QNetworkCacheMetaData();
}

void EncryptedDiskCache::updateMetaData(const QNetworkCacheMetaData &metaData)
{
    QIODevice *source = data(metaData.url());
    if (!source)
        return;
    const QByteArray body = source->readAll();
    const bool failed = static_cast<SyncCryptLayer *>(source)->hasFailed();
    delete source;
    if (failed)
        return;
    QIODevice *target = prepare(metaData);
    if (!target)
        return;
    target->write(body);
    insert(target);
}

bool EncryptedDiskCache::remove(const QUrl &url)
{
    for (auto it = m_inserting.cbegin(); it != m_inserting.cend(); ++it) {
        if (it.value().url == url) {
            discard(it.key());
            return true;
        }
    }
    const int folder = openFolder();
    if (folder < 0)
        return false;
    const bool removed = ::unlinkat(folder, itemName(url).constData(), 0) == 0;
    ::close(folder);
    return removed;
}

qint64 EncryptedDiskCache::cacheSize() const
{
    const int folder = openFolder();
    if (folder < 0)
        return 0;
    DIR *listing = ::fdopendir(folder);
    if (!listing) {
        ::close(folder);
        return 0;
    }
    qint64 total = 0;
    while (const dirent *entry = ::readdir(listing)) {
        struct stat info;
        if (QByteArray(entry->d_name).endsWith(itemSuffix)
            && ::fstatat(::dirfd(listing), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode))
            total += info.st_size;
    }
    ::closedir(listing);
    return total;
}

void EncryptedDiskCache::clear()
{
    const int folder = openFolder();
    if (folder < 0)
        return;
    DIR *listing = ::fdopendir(folder);
    if (!listing) {
        ::close(folder);
        return;
    }
    QList<QByteArray> names;
    while (const dirent *entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name.endsWith(itemSuffix) || name.startsWith(temporaryPrefix))
            names.append(name);
    }
    for (const QByteArray &name : std::as_const(names))
        ::unlinkat(::dirfd(listing), name.constData(), 0);
    ::closedir(listing);
}

} // namespace Velmor
