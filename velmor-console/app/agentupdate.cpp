#include "agent.h"

#include "model/appupdater.h"

#include "platform/shellexecute.h"
#include "platform/userfolders.h"

#include <QFile>

QString Agent::installerPath()
{
    const QString folder = Velmor::Platform::userTempPath();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/new-velmor-agent-setup.exe");
}

void Agent::newVersionDownloadFinished()
{
    const QString downloaded = m_updater->takeDownloadedFile();
    if (downloaded.isEmpty()) {
        qDebug("Download failed? tmp filename is empty");
        return;
    }
    const QString target = installerPath();
    if (target.isEmpty() || (QFile::exists(target) && !QFile::remove(target))) {
        qDebug("Failed to remove old installer");
        QFile::remove(downloaded);
        return;
    }
    if (!QFile::rename(downloaded, target)) {
        qDebug("Failed to rename %s to %s", qPrintable(downloaded), qPrintable(target));
        QFile::remove(downloaded);
        return;
    }
    using namespace Velmor::Platform;
    if (shellExecute(QStringLiteral("open"), target) != SeErrAccessDenied)
        return;
    const quint32 elevated = shellExecute(QStringLiteral("runas"), target);
    if (elevated <= 32)
        qDebug("Failed to start installer: %s errorCode: %d", qPrintable(target), int(elevated));
}
