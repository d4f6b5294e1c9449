#ifndef VELMOR_CONSOLE_VERSIONFILE_H
#define VELMOR_CONSOLE_VERSIONFILE_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

// The published version file: the offered version on the first line, optionally "dl:" and the installer's
// address on the second, release notes after that.
struct VersionFile
{
    // The first line holds one to four decimal numbers separated by dots.
    bool valid = false;
    QString version;
    // The address of a "dl:" line, whatever it is; empty without one.
    QUrl downloadUrl;
    QString notes;
};

VersionFile readVersionFile(const QByteArray &body);

// Only an https address is a download the updater may fetch: the installer is started once it is complete.
bool isAcceptableDownloadUrl(const QUrl &url);

// The numbers of a version text; empty or non-numeric parts count 0, trailing zeros are dropped, at least one
// number remains.
QList<uint> versionNumbers(const QString &version);
bool isNewerVersion(const QString &offered, const QString &current);

// The file name a "Content-Disposition" header names in double quotes, without any folder; empty when it names
// none that way.
QString contentDispositionFileName(const QByteArray &header);

#endif // VELMOR_CONSOLE_VERSIONFILE_H
