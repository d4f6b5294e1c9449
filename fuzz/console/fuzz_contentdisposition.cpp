// The file name of a "Content-Disposition" header: no crash, and never a folder in what is shown.
#include "model/versionfile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray header(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString name = contentDispositionFileName(header);
    if (name.contains(QLatin1Char('/')) || name.contains(QChar(0)))
        std::abort();
    return 0;
}
