#include "platform/dataprotection.h"
#include "platform/winerror.h"

#include "scratchroot.h"

#include <QFile>
#include <QtEndian>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

using namespace Velmor;

namespace {

int modeOf(const QString &path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

QByteArray protect(const QByteArray &data, const QString &description)
{
    QByteArray blob;
    return Platform::cryptProtectData(data, description, &blob) ? blob : QByteArray();
}

} // namespace

class tst_DataProtection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void roundTrip_data();
    void roundTrip();
    void blobLayout();
    void damagedBlobs_data();
    void damagedBlobs();
    void anotherMachineCannotRead();
    void machineKeyIsMadeOncePrivately();
    void badMachineKeyIsNeverReplaced_data();
    void badMachineKeyIsNeverReplaced();
    void derivedKeysSeparateTheirParts();

private:
    QString keyPath() const { return m_root->path(QStringLiteral("keys/machine.key")); }

    std::unique_ptr<TestSupport::ScratchRoot> m_root;
};

void tst_DataProtection::init()
{
    m_root = std::make_unique<TestSupport::ScratchRoot>();
    QVERIFY(m_root->isValid());
}

void tst_DataProtection::cleanup()
{
    m_root.reset();
}

void tst_DataProtection::roundTrip_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("description");

    QByteArray binary;
    for (int i = 0; i < 256; ++i)
        binary.append(char(i));
    QTest::newRow("a user name") << QByteArray("ann") << "Velmor user";
    QTest::newRow("empty data") << QByteArray() << "Velmor password";
    QTest::newRow("no description") << QByteArray("pw") << QString();
    QTest::newRow("every byte") << binary << "bytes";
    QTest::newRow("a description beyond ASCII") << QByteArray("Пароль").append('\0') << "Пароль 😀";
    QTest::newRow("a megabyte") << QByteArray(1024 * 1024, 'x') << "large";
}

void tst_DataProtection::roundTrip()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, description);

    QByteArray blob;
    QVERIFY(Platform::cryptProtectData(data, description, &blob));
    QString readDescription;
    QByteArray readData;
    QVERIFY(Platform::cryptUnprotectData(blob, &readDescription, &readData));
    QCOMPARE(readData, data);
    QCOMPARE(readDescription, description);
    QVERIFY(Platform::cryptUnprotectData(blob, nullptr, &readData));
    QCOMPARE(readData, data);
}

void tst_DataProtection::blobLayout()
{
    const QString description = QStringLiteral("Velmor user");
    const QByteArray blob = protect("ann", description);
    QVERIFY(blob.startsWith("VDP1"));
    QCOMPARE(qFromLittleEndian<quint32>(blob.constData() + 4), quint32(description.size() * 2));
    QCOMPARE(
        QString::fromUtf16(reinterpret_cast<const char16_t *>(blob.constData() + 8), description.size()), description);
    QCOMPARE(blob.size(), 8 + description.size() * 2 + 12 + 3 + 16);
    QVERIFY(!blob.contains("ann"));
    // A fresh nonce every time.
    QVERIFY(protect("ann", description) != blob);
}

void tst_DataProtection::damagedBlobs_data()
{
    QTest::addColumn<QByteArray>("blob");

    const QByteArray good = protect("secret", QStringLiteral("Velmor user"));
    const auto flipped = [&good](int index) {
        QByteArray copy = good;
        copy[index] = char(copy.at(index) ^ 0x01);
        return copy;
    };
    QTest::newRow("magic") << flipped(0);
    QTest::newRow("description length") << flipped(4);
    QTest::newRow("description") << flipped(8);
    QTest::newRow("nonce") << flipped(8 + 22);
    QTest::newRow("ciphertext") << flipped(8 + 22 + 12);
    QTest::newRow("tag") << flipped(good.size() - 1);
    QTest::newRow("one byte short") << good.left(good.size() - 1);
    QTest::newRow("header only") << good.left(8 + 22);
    QTest::newRow("empty") << QByteArray();
    QByteArray huge = good;
    qToLittleEndian(quint32(0xfffffffe), huge.data() + 4);
    QTest::newRow("description longer than the blob") << huge;
    QByteArray swapped = good;
    swapped.replace(8, 22, QByteArray("V\0e\0l\0m\0o\0r\0 \0u\0s\0e\0x\0", 22));
    QTest::newRow("another description of the same length") << swapped;
}

void tst_DataProtection::damagedBlobs()
{
    QFETCH(QByteArray, blob);

    Platform::setLastError(Platform::ErrorSuccess);
    QString description = QStringLiteral("stale");
    QByteArray data = "stale";
    QVERIFY(!Platform::cryptUnprotectData(blob, &description, &data));
    QCOMPARE(Platform::lastError(), quint32(Platform::ErrorInvalidData));
    QVERIFY(data.isEmpty());
    QVERIFY(description.isEmpty());
}

void tst_DataProtection::anotherMachineCannotRead()
{
    const QByteArray blob = protect("secret", QStringLiteral("Velmor password"));
    const TestSupport::ScratchRoot other;
    QByteArray data;
    QVERIFY(!Platform::cryptUnprotectData(blob, nullptr, &data));
    QCOMPARE(Platform::lastError(), quint32(Platform::ErrorInvalidData));
    QVERIFY(data.isEmpty());
}

void tst_DataProtection::machineKeyIsMadeOncePrivately()
{
    const mode_t saved = ::umask(0);
    QByteArray first;
    const bool made = Platform::machineKey(&first);
    ::umask(saved);
    QVERIFY(made);
    QCOMPARE(first.size(), 32);
    QCOMPARE(modeOf(keyPath()), 0600);
    QCOMPARE(modeOf(m_root->path(QStringLiteral("keys"))), 0700);
    QByteArray second;
    QVERIFY(Platform::machineKey(&second));
    QCOMPARE(second, first);
    QFile file(keyPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), first);
    // Only the key itself is left in its folder.
    QCOMPARE(QDir(m_root->path(QStringLiteral("keys"))).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void tst_DataProtection::badMachineKeyIsNeverReplaced_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("31 bytes") << "short";
    QTest::newRow("33 bytes") << "long";
    QTest::newRow("a symlink") << "symlink";
    QTest::newRow("a folder") << "folder";
}

void tst_DataProtection::badMachineKeyIsNeverReplaced()
{
    QFETCH(QString, kind);

    QVERIFY(QDir().mkpath(m_root->path(QStringLiteral("keys"))));
    const QString target = m_root->path(QStringLiteral("elsewhere"));
    QFile file(kind == QLatin1String("symlink") ? target : keyPath());
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(keyPath()));
    } else {
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(kind == QLatin1String("long") ? 33 : kind == QLatin1String("short") ? 31 : 32, 'k'));
        file.close();
    }
    if (kind == QLatin1String("symlink"))
        QVERIFY(QFile::link(target, keyPath()));
    const QFileInfo before(keyPath());

    QByteArray key;
    QVERIFY(!Platform::machineKey(&key));
    QVERIFY(key.isEmpty());
    QVERIFY(Platform::lastError() != Platform::ErrorSuccess);
    QByteArray blob;
    QVERIFY(!Platform::cryptProtectData("secret", QString(), &blob));
    QVERIFY(blob.isEmpty());

    const QFileInfo after(keyPath());
    QCOMPARE(after.isSymLink(), before.isSymLink());
    QCOMPARE(after.isDir(), before.isDir());
    QCOMPARE(after.size(), before.size());
}

void tst_DataProtection::derivedKeysSeparateTheirParts()
{
    QByteArray a;
    QByteArray b;
    QByteArray c;
    QVERIFY(Platform::machineDerivedKey("label", { "ann", "pw" }, &a));
    QVERIFY(Platform::machineDerivedKey("label", { "an", "npw" }, &b));
    QVERIFY(Platform::machineDerivedKey("other", { "ann", "pw" }, &c));
    QCOMPARE(a.size(), 32);
    QVERIFY(a != b);
    QVERIFY(a != c);
    QByteArray again;
    QVERIFY(Platform::machineDerivedKey("label", { "ann", "pw" }, &again));
    QCOMPARE(again, a);
}

QTEST_GUILESS_MAIN(tst_DataProtection)
#include "tst_dataprotection.moc"
