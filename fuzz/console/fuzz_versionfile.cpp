// A version file as the updater reads it, and its version set against another text: no crash, an offer only for one
// to four numbers, and never newer both ways.
#include "fuzzsupport.h"

#include "model/versionfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const VersionFile file = readVersionFile(bytes);
    if (file.valid) {
        Fuzz::check(!file.version.isEmpty() && file.version.count(QLatin1Char('.')) <= 3);
        Fuzz::check(versionNumbers(file.version).size() <= 4);
    }
    // The input's halves as two version texts, whatever they hold.
    const qsizetype half = bytes.size() / 2;
    const QString a = QString::fromLatin1(bytes.left(half));
    const QString b = QString::fromLatin1(bytes.mid(half));
    const QList<uint> numbers = versionNumbers(a);
    Fuzz::check(!numbers.isEmpty() && (numbers.size() == 1 || numbers.last() != 0));
    Fuzz::check(!(isNewerVersion(a, b) && isNewerVersion(b, a)));
    Fuzz::check(!isNewerVersion(a, a));
    isAcceptableDownloadUrl(file.downloadUrl);
    return 0;
}
