#ifndef VELMOR_SYNCCRYPTLAYER_H
#define VELMOR_SYNCCRYPTLAYER_H

#include <QByteArray>
#include <QIODevice>

struct evp_cipher_ctx_st;

namespace Velmor {

// Sits between the account cache and one item's file: what is written is encrypted with AES-256-GCM on its way
// to the inner device, what is read is decrypted on its way back. A layer is used in one direction only, fixed
// by its first read or write. Reading authenticates the whole body before it gives out a single byte: a body
// that was altered, cut short or made under another key reads as a failure (-1), never as other text.
class SyncCryptLayer : public QIODevice
{
public:
    static const int keySize = 32;
    static const int nonceSize = 12;
    static const int tagSize = 16;

    // The key, the item's nonce and the bytes authenticated with the body (the item's header).
    SyncCryptLayer(const QByteArray &key, const QByteArray &nonce, const QByteArray &associatedData);
    ~SyncCryptLayer() override;

    // Takes the inner device (owned from now on), forwards its signals and opens the layer for reading and
    // writing, whatever the inner device's own mode.
    void setDevice(QIODevice *device);
    QIODevice *device() const { return m_device; }

    // Writes the tag after the body. False when a write was refused or came out short, or the cipher failed;
    // nothing is written after it.
    bool finish();
    // A write or read failed; the item is not to be committed or used.
    bool hasFailed() const { return m_failed; }

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    Q_DISABLE_COPY(SyncCryptLayer)

    enum Direction { Unused, Writing, Reading, Finished };

    bool startCipher(bool encrypt);
    bool decryptBody();

    QIODevice *m_device;
    QByteArray m_key;
    QByteArray m_nonce;
    QByteArray m_associatedData;
    ::evp_cipher_ctx_st *m_cipher;
    Direction m_direction;
    bool m_failed;
    QByteArray m_plain;
    qint64 m_readPosition;
};

} // namespace Velmor

#endif // VELMOR_SYNCCRYPTLAYER_H
