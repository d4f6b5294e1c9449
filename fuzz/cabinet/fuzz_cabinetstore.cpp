// Stored data the account client reads back: the item files of its cache and the protected credentials. The
// first byte picks the reader, the rest is the stored bytes. Nothing stored may crash a reader or read back as
// anything but what was written.
//
// The machine key is fixed, so seeds made by this program (VELMOR_FUZZ_SEEDS=<folder> writes them and exits)
// authenticate and lead the fuzzer into the readers behind the checks.
#include "fuzzsupport.h"

#include "cabinet/encrypteddiskcache.h"
#include "cabinet/jsoncache.h"
#include "cabinet/synccryptlayer.h"

#include "platform/dataprotection.h"
#include "velmorwire/cabinetdomain.h"
#include "velmorwire/cabinetprofile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

using namespace Velmor;

namespace {

QTemporaryDir *root = nullptr;
JsonCache *cache = nullptr;
QString itemPath;

const QVariant document()
{
    return QVariantList { QVariantMap { { "id", 101u }, { "token", 707u }, { "name", "Profile 1" },
        { "is_schedule_enabled", false }, { "safe_search_enabled", false }, { "default", true } } };
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    Fuzz::silenceMessages();
    root = new QTemporaryDir;
    qputenv("VELMOR_ROOT", QFile::encodeName(root->path()));
    QDir().mkpath(root->filePath(QStringLiteral("keys")));
    QFile::setPermissions(
        root->filePath(QStringLiteral("keys")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeFile(root->filePath(QStringLiteral("keys/machine.key")), QByteArray(32, '\x5a'));
    QFile::setPermissions(root->filePath(QStringLiteral("keys/machine.key")), QFile::ReadOwner | QFile::WriteOwner);

    cache = new JsonCache(QStringLiteral("cabinet"));
    cache->setKey(QStringLiteral("ann"), QStringLiteral("pw"));
    cache->put("profiles", document());
    const QString folder = cache->cache()->cacheDirectory();
    itemPath = folder + QLatin1Char('/') + QDir(folder).entryList(QDir::Files).value(0);
    if (cache->get("profiles") != document())
        std::abort();

    const QByteArray seeds = qgetenv("VELMOR_FUZZ_SEEDS");
    if (!seeds.isEmpty()) {
        QByteArray blob;
        Platform::cryptProtectData("Sup3r-s3cret", QStringLiteral("Velmor password"), &blob);
        writeFile(QString::fromLocal8Bit(seeds) + QStringLiteral("/blob"), QByteArray(1, '\0') + blob);
        writeFile(QString::fromLocal8Bit(seeds) + QStringLiteral("/item"), QByteArray(1, '\1') + readFile(itemPath));
        auto *body = new QBuffer;
        body->open(QIODevice::WriteOnly);
        SyncCryptLayer layer(QByteArray(32, 'k'), QByteArray(12, 'n'), QByteArray("header"));
        layer.setDevice(body);
        layer.write("{\"profile\":7}");
        layer.finish();
        writeFile(QString::fromLocal8Bit(seeds) + QStringLiteral("/layer"), QByteArray(1, '\2') + body->data());
        std::exit(0);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray stored(reinterpret_cast<const char *>(data + 1), int(size - 1));
    switch (data[0] % 3) {
    case 0: {
        QString description;
        QByteArray plain;
        if (Platform::cryptUnprotectData(stored, &description, &plain) && plain != "Sup3r-s3cret")
            std::abort();
        break;
    }
    case 1: {
        writeFile(itemPath, stored);
        const QVariant value = cache->get("profiles");
        if (value.isValid() && value != document())
            std::abort();
        CabinetProfiles profiles;
        profiles.fromVariant(value);
        CabinetDomains domains;
        domains.fromVariant(value, CabinetDomain::Alias);
        break;
    }
    default: {
        auto *buffer = new QBuffer;
        buffer->setData(stored);
        buffer->open(QIODevice::ReadOnly);
        SyncCryptLayer layer(QByteArray(32, 'k'), QByteArray(12, 'n'), QByteArray("header"));
        layer.setDevice(buffer);
        const QByteArray plain = layer.readAll();
        if (layer.hasFailed() && !plain.isEmpty())
            std::abort();
        break;
    }
    }
    return 0;
}
