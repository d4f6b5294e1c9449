#include "scratchroot.h"

#include "platform/settingsstore.h"

#include <QCoreApplication>
#include <QFile>

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

void ScratchRoot::useSettingsOf(const QString &application) const
{
    QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
    QCoreApplication::setApplicationName(application);
    Velmor::Platform::useRootSettings();
}

} // namespace TestSupport
