#include "root.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <unistd.h>

namespace Velmor {
namespace Platform {

QString rootPath()
{
    QString root = qEnvironmentVariable("VELMOR_ROOT");
    if (root.isEmpty()) {
        if (::geteuid() == 0) {
            root = QStringLiteral("/var/lib/velmor");
        } else {
            QString state = qEnvironmentVariable("XDG_STATE_HOME");
            if (state.isEmpty())
                state = QDir::homePath() + QStringLiteral("/.local/state");
            root = state + QStringLiteral("/velmor");
        }
    }
    QDir().mkpath(root);
    return root;
}

QString rootPath(const QString &relative)
{
    const QString path = rootPath() + QLatin1Char('/') + relative;
    QDir().mkpath(QFileInfo(path).absolutePath());
    return path;
}

bool writeFileAtomically(const QString &path, const QByteArray &data)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(data) != data.size())
        return false;
    return file.commit();
}

} // namespace Platform
} // namespace Velmor
