#include "cabinet/synccryptlayer.h"

#include <QBuffer>
#include <QTest>

using Velmor::SyncCryptLayer;

namespace {

const QByteArray key(32, 'k');
const QByteArray nonce(12, 'n');
const QByteArray header("item header");
const QByteArray body("{\"profile\":7}");

// Takes at most `room` bytes in all, then refuses, as a full disk would.
class ShortDevice : public QIODevice
{
public:
    explicit ShortDevice(qint64 room)
        : m_room(room)
    {
        open(QIODevice::WriteOnly);
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 size) override
    {
        if (m_room <= 0)
            return -1;
        const qint64 taken = qMin(size, m_room);
        m_room -= taken;
        return taken;
    }

private:
    qint64 m_room;
};

// The layer's output for a body written in these pieces.
QByteArray encrypt(const QList<int> &pieces, const QByteArray &plain, const QByteArray &itemKey = key,
    const QByteArray &itemNonce = nonce, const QByteArray &associated = header)
{
    auto *output = new QBuffer;
    output->open(QIODevice::WriteOnly);
    SyncCryptLayer layer(itemKey, itemNonce, associated);
    layer.setDevice(output);
    int offset = 0;
    for (const int piece : pieces) {
        if (layer.write(plain.constData() + offset, piece) != piece)
            return QByteArray();
        offset += piece;
    }
    if (!layer.finish())
        return QByteArray();
    return output->data();
}

// What a layer reads back from the encrypted bytes, and whether it failed.
QByteArray decrypt(const QByteArray &encrypted, bool *failed, const QByteArray &itemKey = key,
    const QByteArray &itemNonce = nonce, const QByteArray &associated = header)
{
    auto *input = new QBuffer;
    input->setData(encrypted);
    input->open(QIODevice::ReadOnly);
    SyncCryptLayer layer(itemKey, itemNonce, associated);
    layer.setDevice(input);
    const QByteArray plain = layer.readAll();
    *failed = layer.hasFailed();
    return plain;
}

} // namespace

class tst_SyncCryptLayer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTrip_data();
    void roundTrip();
    void piecesMakeOneBody();
    void freshNoncesDiffer();
    void damagedItems_data();
    void damagedItems();
    void failingDevice_data();
    void failingDevice();
    void oneDirectionOnly();
};

void tst_SyncCryptLayer::roundTrip_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QList<int>>("pieces");

    QTest::newRow("one write") << body << QList<int> { int(body.size()) };
    QTest::newRow("5 and 9 bytes") << QByteArray("0123456789abcd") << QList<int> { 5, 9 };
    QTest::newRow("byte by byte") << QByteArray("abc") << QList<int> { 1, 1, 1 };
    QTest::newRow("empty body") << QByteArray() << QList<int>();
    const QByteArray large(3 * 1024 * 1024 + 7, 'x');
    QTest::newRow("3 MiB") << large << QList<int> { int(large.size()) };
}

void tst_SyncCryptLayer::roundTrip()
{
    QFETCH(QByteArray, plain);
    QFETCH(QList<int>, pieces);

    const QByteArray encrypted = encrypt(pieces, plain);
    QCOMPARE(encrypted.size(), plain.size() + SyncCryptLayer::tagSize);
    if (plain.size() > 4)
        QVERIFY(!encrypted.contains(plain.left(4)));
    bool failed = true;
    QCOMPARE(decrypt(encrypted, &failed), plain);
    QVERIFY(!failed);
}

void tst_SyncCryptLayer::piecesMakeOneBody()
{
    const QByteArray plain("0123456789abcd");
    QCOMPARE(encrypt({ 5, 9 }, plain), encrypt({ 14 }, plain));
}

void tst_SyncCryptLayer::freshNoncesDiffer()
{
    QVERIFY(encrypt({ int(body.size()) }, body) != encrypt({ int(body.size()) }, body, key, QByteArray(12, 'm')));
}

void tst_SyncCryptLayer::damagedItems_data()
{
    QTest::addColumn<QByteArray>("encrypted");
    QTest::addColumn<QByteArray>("itemKey");
    QTest::addColumn<QByteArray>("itemNonce");
    QTest::addColumn<QByteArray>("associated");

    const QByteArray good = encrypt({ int(body.size()) }, body);
    const auto flipped = [&good](int index) {
        QByteArray copy = good;
        copy[index] = char(copy.at(index) ^ 0x01);
        return copy;
    };
    QTest::newRow("first body byte flipped") << flipped(0) << key << nonce << header;
    QTest::newRow("last tag byte flipped") << flipped(good.size() - 1) << key << nonce << header;
    QTest::newRow("one byte short") << good.left(good.size() - 1) << key << nonce << header;
    QTest::newRow("tag only") << good.right(SyncCryptLayer::tagSize) << key << nonce << header;
    QTest::newRow("shorter than a tag") << good.left(5) << key << nonce << header;
    QTest::newRow("empty") << QByteArray() << key << nonce << header;
    QTest::newRow("another key") << good << QByteArray(32, 'K') << nonce << header;
    QTest::newRow("another nonce") << good << key << QByteArray(12, 'N') << header;
    QTest::newRow("another header") << good << key << nonce << QByteArray("item headeR");
    QTest::newRow("a key of the wrong size") << good << QByteArray(16, 'k') << nonce << header;
}

void tst_SyncCryptLayer::damagedItems()
{
    QFETCH(QByteArray, encrypted);
    QFETCH(QByteArray, itemKey);
    QFETCH(QByteArray, itemNonce);
    QFETCH(QByteArray, associated);

    bool failed = false;
    QCOMPARE(decrypt(encrypted, &failed, itemKey, itemNonce, associated), QByteArray());
    QVERIFY(failed);
}

void tst_SyncCryptLayer::failingDevice_data()
{
    QTest::addColumn<qint64>("room");

    QTest::newRow("refuses at once") << qint64(0);
    QTest::newRow("short write") << qint64(4);
    QTest::newRow("no room for the tag") << qint64(body.size());
}

void tst_SyncCryptLayer::failingDevice()
{
    QFETCH(qint64, room);

    SyncCryptLayer layer(key, nonce, header);
    layer.setDevice(new ShortDevice(room));
    const bool bodyWritten = layer.write(body) == body.size();
    QCOMPARE(bodyWritten, room >= body.size());
    QVERIFY(!layer.finish());
    QVERIFY(layer.hasFailed());
    // Nothing more goes out after a failure.
    QCOMPARE(layer.write("x"), qint64(-1));
}

void tst_SyncCryptLayer::oneDirectionOnly()
{
    SyncCryptLayer layer(key, nonce, header);
    auto *buffer = new QBuffer;
    buffer->open(QIODevice::ReadWrite);
    layer.setDevice(buffer);
    QCOMPARE(layer.write(body), qint64(body.size()));
    QCOMPARE(layer.read(4), QByteArray());
    QVERIFY(layer.hasFailed());
    QVERIFY(!layer.finish());
}

QTEST_GUILESS_MAIN(tst_SyncCryptLayer)
#include "tst_synccryptlayer.moc"
