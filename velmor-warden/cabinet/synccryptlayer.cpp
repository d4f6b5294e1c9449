#include "synccryptlayer.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cstring>

namespace Velmor {

namespace {

// The largest body a layer reads back; the store never writes one near it.
const qint64 maximumBodySize = 64 * 1024 * 1024;

const unsigned char *bytes(const QByteArray &array)
{
    return reinterpret_cast<const unsigned char *>(array.constData());
}

} // namespace

SyncCryptLayer::SyncCryptLayer(const QByteArray &key, const QByteArray &nonce, const QByteArray &associatedData)
    : QIODevice(nullptr)
    , m_device(nullptr)
    , m_key(key)
    , m_nonce(nonce)
    , m_associatedData(associatedData)
    , m_cipher(nullptr)
    , m_direction(Unused)
    , m_failed(false)
    , m_readPosition(0)
{ }

SyncCryptLayer::~SyncCryptLayer()
{
    EVP_CIPHER_CTX_free(m_cipher);
    if (!m_key.isEmpty())
        OPENSSL_cleanse(m_key.data(), size_t(m_key.size()));
    if (!m_plain.isEmpty())
        OPENSSL_cleanse(m_plain.data(), size_t(m_plain.size()));
    delete m_device;
}

void SyncCryptLayer::setDevice(QIODevice *device)
{
    m_device = device;
    if (device) {
        connect(device, &QIODevice::aboutToClose, this, &QIODevice::aboutToClose);
        connect(device, &QIODevice::bytesWritten, this, &QIODevice::bytesWritten);
        connect(device, &QIODevice::readChannelFinished, this, &QIODevice::readChannelFinished);
        connect(device, &QIODevice::readyRead, this, &QIODevice::readyRead);
    }
    open(QIODevice::ReadWrite);
}

bool SyncCryptLayer::startCipher(bool encrypt)
{
    m_direction = encrypt ? Writing : Reading;
    m_cipher = EVP_CIPHER_CTX_new();
    int ignored = 0;
    const bool ok = m_device && m_cipher && m_key.size() == keySize && m_nonce.size() == nonceSize
        && EVP_CipherInit_ex(m_cipher, EVP_aes_256_gcm(), nullptr, nullptr, nullptr, encrypt ? 1 : 0) == 1
        && EVP_CIPHER_CTX_ctrl(m_cipher, EVP_CTRL_GCM_SET_IVLEN, nonceSize, nullptr) == 1
        && EVP_CipherInit_ex(m_cipher, nullptr, nullptr, bytes(m_key), bytes(m_nonce), encrypt ? 1 : 0) == 1
        && (m_associatedData.isEmpty()
            || EVP_CipherUpdate(m_cipher, nullptr, &ignored, bytes(m_associatedData), int(m_associatedData.size()))
                == 1);
    if (!ok)
        m_failed = true;
    return ok;
}

qint64 SyncCryptLayer::writeData(const char *data, qint64 size)
{
    if (m_failed || m_direction == Reading || m_direction == Finished) {
        m_failed = true;
        return -1;
    }
    if (m_direction == Unused && !startCipher(true))
        return -1;
    if (size <= 0)
        return 0;
    // GCM encrypts as a stream: a body written in pieces is the same ciphertext as one written at once.
    QByteArray encrypted(size, Qt::Uninitialized);
    qint64 done = 0;
    while (done < size) {
        const int chunk = int(qMin<qint64>(size - done, 1 << 20));
        int produced = 0;
        if (EVP_EncryptUpdate(m_cipher, reinterpret_cast<unsigned char *>(encrypted.data()) + done, &produced,
                reinterpret_cast<const unsigned char *>(data) + done, chunk)
            != 1) {
            m_failed = true;
            return -1;
        }
        done += produced;
    }
    if (m_device->write(encrypted) != size) {
        m_failed = true;
        return -1;
    }
    return size;
}

bool SyncCryptLayer::finish()
{
    if (m_failed || m_direction == Reading || m_direction == Finished) {
        m_failed = true;
        return false;
    }
    if (m_direction == Unused && !startCipher(true))
        return false;
    m_direction = Finished;
    unsigned char tail[EVP_MAX_BLOCK_LENGTH];
    int produced = 0;
    QByteArray tag(tagSize, Qt::Uninitialized);
    if (EVP_EncryptFinal_ex(m_cipher, tail, &produced) != 1 || produced != 0
        || EVP_CIPHER_CTX_ctrl(m_cipher, EVP_CTRL_GCM_GET_TAG, tagSize, tag.data()) != 1
        || m_device->write(tag) != tagSize) {
        m_failed = true;
        return false;
    }
    return true;
}

bool SyncCryptLayer::decryptBody()
{
    if (!startCipher(false))
        return false;
    QByteArray body;
    while (true) {
        const QByteArray piece = m_device->read(64 * 1024);
        if (piece.isEmpty())
            break;
        body += piece;
        if (body.size() > maximumBodySize + tagSize) {
            m_failed = true;
            return false;
        }
    }
    if (body.size() < tagSize) {
        m_failed = true;
        return false;
    }
    const qsizetype cipherSize = body.size() - tagSize;
    QByteArray plain(cipherSize, Qt::Uninitialized);
    int produced = 0;
    int tail = 0;
    unsigned char *out = reinterpret_cast<unsigned char *>(plain.data());
    const bool ok = EVP_DecryptUpdate(m_cipher, out, &produced, bytes(body), int(cipherSize)) == 1
        && EVP_CIPHER_CTX_ctrl(m_cipher, EVP_CTRL_GCM_SET_TAG, tagSize, body.data() + cipherSize) == 1
        && EVP_DecryptFinal_ex(m_cipher, out + produced, &tail) == 1;
    if (!ok) {
        OPENSSL_cleanse(plain.data(), size_t(plain.size()));
        m_failed = true;
        return false;
    }
    m_plain = plain;
    return true;
}

qint64 SyncCryptLayer::readData(char *data, qint64 maxSize)
{
    if (m_failed || m_direction == Writing || m_direction == Finished) {
        m_failed = true;
        return -1;
    }
    if (m_direction == Unused && !decryptBody())
        return -1;
    const qint64 count = qMin<qint64>(maxSize, m_plain.size() - m_readPosition);
    if (count <= 0)
        return 0;
    std::memcpy(data, m_plain.constData() + m_readPosition, size_t(count));
    m_readPosition += count;
    return count;
}

} // namespace Velmor
