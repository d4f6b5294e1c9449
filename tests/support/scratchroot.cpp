#include "scratchroot.h"

#include "platform/settingsstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace TestSupport {

QString fixture(const QString &relative)
{
    return qEnvironmentVariable("VELMOR_SOURCE_DIR") + QLatin1String("/tests/fixtures/") + relative;
}

ScratchRoot::ScratchRoot()
    : m_previous(qgetenv("VELMOR_ROOT"))
    , m_hadPrevious(qEnvironmentVariableIsSet("VELMOR_ROOT"))
{
    qputenv("VELMOR_ROOT", QFile::encodeName(m_root.path()));
}

ScratchRoot::~ScratchRoot()
{
    if (m_hadPrevious)
        qputenv("VELMOR_ROOT", m_previous);
    else
        qunsetenv("VELMOR_ROOT");
}

QString ScratchRoot::path(const QString &relative) const
{
    return relative.isEmpty() ? m_root.path() : m_root.filePath(relative);
}

bool ScratchRoot::writeFile(const QString &relative, const QByteArray &content) const
{
    const QString fileName = path(relative);
    if (!QDir().mkpath(QFileInfo(fileName).absolutePath()))
        return false;
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

void ScratchRoot::useSettingsOf(const QString &application) const
{
    QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
    QCoreApplication::setApplicationName(application);
    Velmor::Platform::useRootSettings();
}

QProcessEnvironment ScratchRoot::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELMOR_ROOT"), m_root.path());
    return environment;
}

} // namespace TestSupport
