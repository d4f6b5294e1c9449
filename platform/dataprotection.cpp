#include "dataprotection.h"

#include "privatefolder.h"
#include "root.h"
#include "winerror.h"

#include <QRandomGenerator>
#include <QtEndian>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Velmor {
namespace Platform {

namespace {

const int machineKeySize = 32;
const int nonceSize = 12;
const int tagSize = 16;
const char blobMagic[] = "VDP1";
const char keyFileName[] = "machine.key";

WinError errnoToWinError(int error)
{
    switch (error) {
    case ENOENT:
        return ErrorFileNotFound;
    case EACCES:
    case EPERM:
        return ErrorAccessDenied;
    case ENOMEM:
        return ErrorNotEnoughMemory;
    default:
        return ErrorInvalidData;
    }
}

bool fail(WinError code)
{
    setLastError(code);
    return false;
}

// Reads exactly the key's size; a longer or shorter file is no key.
bool readKeyFile(int folder, QByteArray *key)
{
    const int fd = ::openat(folder, keyFileName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    QByteArray buffer(machineKeySize + 1, Qt::Uninitialized);
    qint64 total = 0;
    while (total < buffer.size()) {
        const ssize_t got = ::read(fd, buffer.data() + total, size_t(buffer.size() - total));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        total += got;
    }
    ::close(fd);
    if (total != machineKeySize) {
        OPENSSL_cleanse(buffer.data(), size_t(buffer.size()));
        errno = EINVAL;
        return false;
    }
    buffer.truncate(machineKeySize);
    *key = buffer;
    return true;
}

// Writes a new key under a temporary name and links it into place, so a concurrent reader never sees half a key
// and a key that already exists is never replaced.
bool createKeyFile(int folder)
{
    QByteArray fresh(machineKeySize, Qt::Uninitialized);
    if (RAND_bytes(reinterpret_cast<unsigned char *>(fresh.data()), machineKeySize) != 1) {
        errno = EIO;
        return false;
    }
    const QByteArray temporary
        = QByteArrayLiteral(".machine.key-") + QByteArray::number(QRandomGenerator::system()->generate64(), 16);
    const int fd = ::openat(folder, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, 0600) == 0 && ::write(fd, fresh.constData(), size_t(fresh.size())) == fresh.size()
        && ::fsync(fd) == 0;
    int saved = errno;
    ::close(fd);
    OPENSSL_cleanse(fresh.data(), size_t(fresh.size()));
    if (ok && ::linkat(folder, temporary.constData(), folder, keyFileName, 0) != 0 && errno != EEXIST) {
        saved = errno;
        ok = false;
    }
    ::unlinkat(folder, temporary.constData(), 0);
    errno = saved;
    return ok;
}

void appendLengthPrefixed(QByteArray *input, const QByteArray &part)
{
    char length[4];
    qToBigEndian(quint32(part.size()), length);
    input->append(length, 4);
    input->append(part);
}

QByteArray descriptionBytes(const QString &description)
{
    QByteArray bytes;
    bytes.reserve(description.size() * 2);
    for (const QChar c : description) {
        char unit[2];
        qToLittleEndian(c.unicode(), unit);
        bytes.append(unit, 2);
    }
    return bytes;
}

bool protectionKey(QByteArray *key)
{
    return machineDerivedKey(QByteArrayLiteral("velmor data protection"), QByteArrayList(), key);
}

struct CipherContext
{
    CipherContext()
        : context(EVP_CIPHER_CTX_new())
    { }
    ~CipherContext() { EVP_CIPHER_CTX_free(context); }
    EVP_CIPHER_CTX *context;
};

} // namespace

bool machineKey(QByteArray *key)
{
    const int folder = openPrivateFolder(rootPath(), QStringList { QStringLiteral("keys") });
    if (folder < 0)
        return fail(errnoToWinError(errno));
    bool ok = readKeyFile(folder, key);
    if (!ok && errno == ENOENT)
        ok = createKeyFile(folder) && readKeyFile(folder, key);
    const int saved = errno;
    ::close(folder);
    if (!ok)
        return fail(saved == EINVAL ? ErrorInvalidData : errnoToWinError(saved));
    return true;
}

bool machineDerivedKey(const QByteArray &label, const QByteArrayList &parts, QByteArray *key)
{
    QByteArray secret;
    if (!machineKey(&secret))
        return false;
    QByteArray input;
    appendLengthPrefixed(&input, label);
    for (const QByteArray &part : parts)
        appendLengthPrefixed(&input, part);
    QByteArray derived(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int length = 0;
    const bool ok = HMAC(EVP_sha256(), secret.constData(), secret.size(),
                        reinterpret_cast<const unsigned char *>(input.constData()), size_t(input.size()),
                        reinterpret_cast<unsigned char *>(derived.data()), &length)
        != nullptr;
    OPENSSL_cleanse(secret.data(), size_t(secret.size()));
    OPENSSL_cleanse(input.data(), size_t(input.size()));
    if (!ok)
        return fail(ErrorInvalidData);
    derived.truncate(int(length));
    *key = derived;
    return true;
}

bool cryptProtectData(const QByteArray &data, const QString &description, QByteArray *blob)
{
    blob->clear();
    QByteArray key;
    if (!protectionKey(&key))
        return false;

    const QByteArray text = descriptionBytes(description);
    QByteArray header(blobMagic, 4);
    char length[4];
    qToLittleEndian(quint32(text.size()), length);
    header.append(length, 4);
    header.append(text);

    QByteArray nonce(nonceSize, Qt::Uninitialized);
    QByteArray output(header.size() + nonceSize + data.size() + tagSize, Qt::Uninitialized);
    CipherContext cipher;
    int produced = 0;
    int finalBytes = 0;
    auto *out = reinterpret_cast<unsigned char *>(output.data()) + header.size() + nonceSize;
    const bool ok = cipher.context && RAND_bytes(reinterpret_cast<unsigned char *>(nonce.data()), nonceSize) == 1
        && EVP_EncryptInit_ex(cipher.context, EVP_aes_256_gcm(), nullptr, nullptr, nullptr) == 1
        && EVP_CIPHER_CTX_ctrl(cipher.context, EVP_CTRL_GCM_SET_IVLEN, nonceSize, nullptr) == 1
        && EVP_EncryptInit_ex(cipher.context, nullptr, nullptr,
               reinterpret_cast<const unsigned char *>(key.constData()),
               reinterpret_cast<const unsigned char *>(nonce.constData()))
            == 1
        && EVP_EncryptUpdate(cipher.context, nullptr, &produced,
               reinterpret_cast<const unsigned char *>(header.constData()), header.size())
            == 1
        && EVP_EncryptUpdate(
               cipher.context, out, &produced, reinterpret_cast<const unsigned char *>(data.constData()), data.size())
            == 1
        && EVP_EncryptFinal_ex(cipher.context, out + produced, &finalBytes) == 1
        && EVP_CIPHER_CTX_ctrl(cipher.context, EVP_CTRL_GCM_GET_TAG, tagSize, out + data.size()) == 1;
    OPENSSL_cleanse(key.data(), size_t(key.size()));
    if (!ok)
        return fail(ErrorInvalidData);
    std::copy(header.cbegin(), header.cend(), output.begin());
    std::copy(nonce.cbegin(), nonce.cend(), output.begin() + header.size());
    *blob = output;
    return true;
}

bool cryptUnprotectData(const QByteArray &blob, QString *description, QByteArray *data)
{
    if (description)
        description->clear();
    data->clear();
    if (blob.size() < 8 || !blob.startsWith(QByteArray(blobMagic, 4)))
        return fail(ErrorInvalidData);
    const quint32 textSize = qFromLittleEndian<quint32>(blob.constData() + 4);
    const qint64 headerSize = 8 + qint64(textSize);
    if (textSize % 2 != 0 || headerSize + nonceSize + tagSize > blob.size())
        return fail(ErrorInvalidData);

    QByteArray key;
    if (!protectionKey(&key))
        return false;

    const auto *bytes = reinterpret_cast<const unsigned char *>(blob.constData());
    const int cipherSize = int(blob.size() - headerSize - nonceSize - tagSize);
    QByteArray tag = blob.right(tagSize);
    QByteArray plain(cipherSize, Qt::Uninitialized);
    CipherContext cipher;
    int produced = 0;
    int finalBytes = 0;
    auto *out = reinterpret_cast<unsigned char *>(plain.data());
    const bool ok = cipher.context
        && EVP_DecryptInit_ex(cipher.context, EVP_aes_256_gcm(), nullptr, nullptr, nullptr) == 1
        && EVP_CIPHER_CTX_ctrl(cipher.context, EVP_CTRL_GCM_SET_IVLEN, nonceSize, nullptr) == 1
        && EVP_DecryptInit_ex(cipher.context, nullptr, nullptr,
               reinterpret_cast<const unsigned char *>(key.constData()), bytes + headerSize)
            == 1
        && EVP_DecryptUpdate(cipher.context, nullptr, &produced, bytes, int(headerSize)) == 1
        && EVP_DecryptUpdate(cipher.context, out, &produced, bytes + headerSize + nonceSize, cipherSize) == 1
        && EVP_CIPHER_CTX_ctrl(cipher.context, EVP_CTRL_GCM_SET_TAG, tagSize, tag.data()) == 1
        && EVP_DecryptFinal_ex(cipher.context, out + produced, &finalBytes) == 1;
    OPENSSL_cleanse(key.data(), size_t(key.size()));
    if (!ok) {
        OPENSSL_cleanse(plain.data(), size_t(plain.size()));
        return fail(ErrorInvalidData);
    }
    if (description) {
        QString text(int(textSize / 2), Qt::Uninitialized);
        for (quint32 i = 0; i < textSize / 2; ++i)
            text[int(i)] = QChar(qFromLittleEndian<quint16>(blob.constData() + 8 + 2 * i));
        *description = text;
    }
    *data = plain;
    return true;
}

} // namespace Platform
} // namespace Velmor
