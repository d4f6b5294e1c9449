#include "cabinet/encrypteddiskcache.h"
#include "cabinet/jsoncache.h"

#include "velmorwire/json.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>

using Velmor::JsonCache;

namespace {

const QString user = QStringLiteral("ann");
const QString password = QStringLiteral("pw");

// Files the process writes may grow no larger than this while it lives, as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_saved;
    void (*m_handler)(int);
};

QString text(const QVariant &document)
{
    return Velmor::Json::stringify(document);
}

int modeOf(const QString &path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

} // namespace

class tst_JsonCache : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void roundTrip_data();
    void roundTrip();
    void withoutKeyNothingIsStored_data();
    void withoutKeyNothingIsStored();
    void laterDocumentReplacesEarlier();
    void clearRemovesEverything();
    void otherCredentialsReadNothing();
    void damagedItemsReadAsMissing_data();
    void damagedItemsReadAsMissing();
    void anotherMachineReadsNothing();
    void failedWriteKeepsEarlierDocument_data();
    void failedWriteKeepsEarlierDocument();
    void filesArePrivate();

private:
    QString folder() const;
    QStringList items() const;

    std::unique_ptr<QTemporaryDir> m_root;
};

void tst_JsonCache::init()
{
    m_root.reset(new QTemporaryDir);
    QVERIFY(m_root->isValid());
    qputenv("VELMOR_ROOT", QFile::encodeName(m_root->path()));
}

void tst_JsonCache::cleanup()
{
    m_root.reset();
}

QString tst_JsonCache::folder() const
{
    return m_root->filePath(QStringLiteral("appdata/Velmor/velmor-warden/cabinet"));
}

QStringList tst_JsonCache::items() const
{
    return QDir(folder()).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

void tst_JsonCache::roundTrip_data()
{
    QTest::addColumn<QVariant>("document");

    QTest::newRow("a number") << QVariant(7);
    QTest::newRow("a map") << QVariant(QVariantMap { { "actual", 3u }, { "filter", 2u } });
    QTest::newRow("a list") << QVariant(QVariantList { 1, "a/b", true, QVariant() });
    QTest::newRow("text beyond ASCII") << QVariant(QStringLiteral("Профиль 😀"));
    QVariantList large;
    for (int i = 0; i < 10000; ++i)
        large.append(QVariantMap { { "id", i + 1 }, { "domain", QStringLiteral("site-%1.example").arg(i) } });
    QTest::newRow("10,000 entries") << QVariant(large);
}

void tst_JsonCache::roundTrip()
{
    QFETCH(QVariant, document);

    JsonCache cache(QStringLiteral("cabinet"));
    cache.setKey(user, password);
    cache.put("doc", document);
    QCOMPARE(text(cache.get("doc")), text(document));
    QCOMPARE(items().size(), 1);
    // A second store on the same folder and credentials, as after a restart.
    JsonCache again(QStringLiteral("cabinet"));
    again.setKey(user, password);
    QCOMPARE(text(again.get("doc")), text(document));
}

void tst_JsonCache::withoutKeyNothingIsStored_data()
{
    QTest::addColumn<QString>("userName");
    QTest::addColumn<QString>("secret");

    QTest::newRow("no password") << user << QString();
    QTest::newRow("no user name") << QString() << password;
    QTest::newRow("neither") << QString() << QString();
}

void tst_JsonCache::withoutKeyNothingIsStored()
{
    QFETCH(QString, userName);
    QFETCH(QString, secret);

    JsonCache cache(QStringLiteral("cabinet"));
    cache.setKey(userName, secret);
    cache.put("profile", 7);
    QVERIFY(!cache.get("profile").isValid());
    QVERIFY(items().isEmpty());
}

void tst_JsonCache::laterDocumentReplacesEarlier()
{
    JsonCache cache(QStringLiteral("cabinet"));
    cache.setKey(user, password);
    cache.put("profile", 7);
    cache.put("profile", 8);
    QCOMPARE(cache.get("profile"), QVariant(8));
    QCOMPARE(items().size(), 1);
}

void tst_JsonCache::clearRemovesEverything()
{
    JsonCache cache(QStringLiteral("cabinet"));
    cache.setKey(user, password);
    cache.put("profile", 7);
    cache.put("profiles", QVariantList { 1 });
    QCOMPARE(items().size(), 2);
    cache.clear();
    QVERIFY(!cache.get("profile").isValid());
    QVERIFY(items().isEmpty());
}

void tst_JsonCache::otherCredentialsReadNothing()
{
    JsonCache cache(QStringLiteral("cabinet"));
    cache.setKey(user, password);
    cache.put("profile", 7);
    cache.setKey(user, QStringLiteral("other"));
    QVERIFY(!cache.get("profile").isValid());
    // Both strings count, each on its own: "an"+"npw" is not "ann"+"pw".
    cache.setKey(QStringLiteral("an"), QStringLiteral("npw"));
    QVERIFY(!cache.get("profile").isValid());
    cache.setKey(user, password);
    QCOMPARE(cache.get("profile"), QVariant(7));
}

void tst_JsonCache::damagedItemsReadAsMissing_data()
{
    QTest::addColumn<QString>("damage");

    QTest::newRow("magic") << "flip:0";
    QTest::newRow("nonce") << "flip:6";
    QTest::newRow("meta data") << "flip:30";
    QTest::newRow("body") << "flip:-20";
    QTest::newRow("tag") << "flip:-1";
    QTest::newRow("one byte short") << "cut:1";
    QTest::newRow("tag cut off") << "cut:16";
    QTest::newRow("empty file") << "empty";
    QTest::newRow("another document's item") << "foreign";
    QTest::newRow("plain JSON of an old version") << "old";
}

void tst_JsonCache::damagedItemsReadAsMissing()
{
    QFETCH(QString, damage);

    JsonCache cache(QStringLiteral("cabinet"));
    cache.setKey(user, password);
    cache.put("other", QVariantList { 1, 2, 3 });
    const QStringList before = items();
    cache.put("profile", 7);
    QStringList after = items();
    for (const QString &name : before)
        after.removeAll(name);
    QCOMPARE(after.size(), 1);
    const QString path = folder() + QLatin1Char('/') + after.first();

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    file.close();
    const QString kind = damage.section(QLatin1Char(':'), 0, 0);
    const int argument = damage.section(QLatin1Char(':'), 1, 1).toInt();
    if (kind == QLatin1String("flip")) {
        const int index = argument >= 0 ? argument : int(bytes.size()) + argument;
        bytes[index] = char(bytes.at(index) ^ 0x40);
    } else if (kind == QLatin1String("cut")) {
        bytes.chop(argument);
    } else if (kind == QLatin1String("empty")) {
        bytes.clear();
    } else if (kind == QLatin1String("foreign")) {
        QFile other(folder() + QLatin1Char('/') + before.first());
        QVERIFY(other.open(QIODevice::ReadOnly));
        bytes = other.readAll();
    } else {
        bytes = "7";
    }
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();

    QVERIFY(!cache.get("profile").isValid());
    QCOMPARE(cache.get("other"), QVariant(QVariantList { 1, 2, 3 }));
}

void tst_JsonCache::anotherMachineReadsNothing()
{
    {
        JsonCache cache(QStringLiteral("cabinet"));
        cache.setKey(user, password);
        cache.put("profile", 7);
    }
    const QString item = folder() + QLatin1Char('/') + items().first();

    QTemporaryDir otherRoot;
    qputenv("VELMOR_ROOT", QFile::encodeName(otherRoot.path()));
    JsonCache cache(QStringLiteral("cabinet"));
    cache.setKey(user, password);
    cache.put("profile", 8);
    const QString otherFolder = otherRoot.filePath(QStringLiteral("appdata/Velmor/velmor-warden/cabinet"));
    const QString otherItem = otherFolder + QLatin1Char('/') + QDir(otherFolder).entryList(QDir::Files).first();
    QVERIFY(QFile::remove(otherItem));
    QVERIFY(QFile::copy(item, otherItem));
    QVERIFY(!cache.get("profile").isValid());
}

void tst_JsonCache::failedWriteKeepsEarlierDocument_data()
{
    QTest::addColumn<int>("limit");

    QTest::newRow("nothing can be written") << 0;
    QTest::newRow("the item is cut short") << 4096;
}

void tst_JsonCache::failedWriteKeepsEarlierDocument()
{
    QFETCH(int, limit);

    JsonCache cache(QStringLiteral("cabinet"));
    cache.setKey(user, password);
    cache.put("profiles", QVariantList { 1, 2 });
    QVariantList large;
    for (int i = 0; i < 5000; ++i)
        large.append(QStringLiteral("entry-%1.example").arg(i));
    {
        FileSizeLimit full { rlim_t(limit) };
        cache.put("profiles", large);
    }
    QCOMPARE(cache.get("profiles"), QVariant(QVariantList { 1, 2 }));
    // No temporary file is left behind.
    QCOMPARE(items().size(), 1);
    cache.put("profiles", large);
    QCOMPARE(cache.get("profiles").toList().size(), 5000);
}

void tst_JsonCache::filesArePrivate()
{
    const mode_t saved = ::umask(0);
    {
        JsonCache cache(QStringLiteral("cabinet"));
        cache.setKey(user, password);
        cache.put("profile", 7);
    }
    ::umask(saved);
    for (const char *level :
        { "appdata", "appdata/Velmor", "appdata/Velmor/velmor-warden", "appdata/Velmor/velmor-warden/cabinet" })
        QCOMPARE(modeOf(m_root->filePath(QLatin1String(level))), 0700);
    QCOMPARE(items().size(), 1);
    QCOMPARE(modeOf(folder() + QLatin1Char('/') + items().first()), 0600);
}

QTEST_GUILESS_MAIN(tst_JsonCache)
#include "tst_jsoncache.moc"
