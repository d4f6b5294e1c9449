#include "shellexecute.h"

#include "registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtEndian>

#include <unistd.h>

namespace Velmor {
namespace Platform {

namespace {

const char layersKey[] = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";

bool isMarkedRunAsAdministrator(const QString &program)
{
    Registry::Value value;
    if (Registry::queryValue(QLatin1String(layersKey), QDir::toNativeSeparators(program), &value) != ErrorSuccess)
        return false;
    const QString layers = value.type == Registry::MultiString ? value.texts.join(QLatin1Char(' ')) : value.text;
    return layers.split(QLatin1Char(' '), Qt::SkipEmptyParts).contains(QLatin1String("RUNASADMIN"));
}

template<typename T>
T readAt(const QByteArray &bytes, qsizetype offset, bool *ok)
{
    if (offset < 0 || offset + qsizetype(sizeof(T)) > bytes.size()) {
        *ok = false;
        return T();
    }
    return qFromLittleEndian<T>(bytes.constData() + offset);
}

// The program loader an ELF file names (its PT_INTERP segment); empty for a static program or another format.
QString elfInterpreter(QFile &file)
{
    const QByteArray header = file.read(64);
    if (header.size() < 52
        || !header.startsWith("\x7f"
                              "ELF")
        || header.at(5) != 1)
        return QString();
    const bool is64 = header.at(4) == 2;
    bool ok = true;
    const quint64 phoff = is64 ? readAt<quint64>(header, 32, &ok) : readAt<quint32>(header, 28, &ok);
    const quint16 phentsize = readAt<quint16>(header, is64 ? 54 : 42, &ok);
    const quint16 phnum = readAt<quint16>(header, is64 ? 56 : 44, &ok);
    if (!ok || phentsize < (is64 ? 56 : 32) || phnum > 512 || !file.seek(qint64(phoff)))
        return QString();
    const QByteArray table = file.read(qint64(phentsize) * phnum);
    for (int i = 0; i < phnum && qsizetype(i + 1) * phentsize <= table.size(); ++i) {
        const qsizetype entry = qsizetype(i) * phentsize;
        if (readAt<quint32>(table, entry, &ok) != 3) // PT_INTERP
            continue;
        const quint64 offset = is64 ? readAt<quint64>(table, entry + 8, &ok) : readAt<quint32>(table, entry + 4, &ok);
        const quint64 size = is64 ? readAt<quint64>(table, entry + 32, &ok) : readAt<quint32>(table, entry + 16, &ok);
        if (!ok || size == 0 || size > 4096 || !file.seek(qint64(offset)))
            return QString();
        const QByteArray path = file.read(qint64(size));
        return QFile::decodeName(path.constData());
    }
    return QString();
}

// The command that runs file, whatever its mode bits; 0 or the ShellExecute code of the failure.
quint32 launchCommand(const QString &file, QStringList *command)
{
    const QFileInfo info(file);
    if (!info.absoluteDir().exists())
        return SeErrPathNotFound;
    if (!info.exists())
        return SeErrFileNotFound;
    if (info.isDir())
        return SeErrNoAssociation;
    QFile program(info.absoluteFilePath());
    if (!program.open(QIODevice::ReadOnly))
        return SeErrAccessDenied;
    const QString path = info.absoluteFilePath();
    const QByteArray start = program.peek(256);
    if (start.startsWith("#!")) {
        const QByteArray line = start.mid(2, start.indexOf('\n') < 0 ? -1 : start.indexOf('\n') - 2).trimmed();
        const qsizetype blank = line.indexOf(' ');
        *command = QStringList { QFile::decodeName(blank < 0 ? line : line.left(blank)) };
        if (blank >= 0)
            command->append(QFile::decodeName(line.mid(blank + 1).trimmed()));
        if (command->first().isEmpty())
            return SeErrBadFormat;
        command->append(path);
        return 0;
    }
    if (start.startsWith("\x7f"
                         "ELF")) {
        if (::access(QFile::encodeName(path).constData(), X_OK) == 0) {
            *command = QStringList { path };
            return 0;
        }
        const QString loader = elfInterpreter(program);
        if (loader.isEmpty())
            return SeErrBadFormat;
        *command = QStringList { loader, path };
        return 0;
    }
    return SeErrNoAssociation;
}

} // namespace

quint32 shellExecute(const QString &verb, const QString &file, const QString &parameters)
{
    const bool open = verb.isEmpty() || verb.compare(QLatin1String("open"), Qt::CaseInsensitive) == 0;
    const bool runas = verb.compare(QLatin1String("runas"), Qt::CaseInsensitive) == 0;
    if (!open && !runas)
        return SeErrNoAssociation;
    QStringList command;
    const quint32 status = launchCommand(file, &command);
    if (status != 0)
        return status;
    command += QProcess::splitCommand(parameters);
    if (open && isMarkedRunAsAdministrator(QFileInfo(file).absoluteFilePath()))
        return SeErrAccessDenied;
    if (runas) {
        const QStringList elevation = QProcess::splitCommand(elevationCommand());
        if (elevation.isEmpty())
            return SeErrFileNotFound;
        command = elevation + command;
    }
    const QString program = command.takeFirst();
    return QProcess::startDetached(program, command) ? ShellExecuteStarted : SeErrFileNotFound;
}

bool setRunAsAdministrator(const QString &program, bool on)
{
    const QString key = QLatin1String(layersKey);
    const QString name = QDir::toNativeSeparators(QFileInfo(program).absoluteFilePath());
    if (!on)
        return !Registry::keyExists(key) || Registry::deleteValue(key, name) == ErrorSuccess
            || !isMarkedRunAsAdministrator(program);
    return Registry::createKey(key) == ErrorSuccess
        && Registry::setString(key, name, QStringLiteral("~ RUNASADMIN")) == ErrorSuccess;
}

QString elevationCommand()
{
    const QString configured = qEnvironmentVariable("VELMOR_ELEVATE_COMMAND").trimmed();
    return configured.isEmpty() ? QStringLiteral("pkexec") : configured;
}

} // namespace Platform
} // namespace Velmor
