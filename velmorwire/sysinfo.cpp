#include "sysinfo.h"
#include "sysinfo_p.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>

namespace Velmor {

namespace {

QByteArray buildUserAgent()
{
    const QString system = QStringLiteral("Windows/%1").arg(SysInfoPrivate::WindowsVersion);
    // One arg() call with every part, so nothing inside a part is taken for a placeholder.
    return QStringLiteral("Velmor-Agent/%1 %2 (%3)")
        .arg(QStringLiteral("2.3.63.4"), QStringLiteral("velmor"), system)
        .toLatin1();
}

QString unimplemented()
{
    return QStringLiteral("<unimplemented>");
}

} // namespace

const QByteArray &SysInfo::userAgent()
{
    static const QByteArray agent = buildUserAgent();
    return agent;
}

QString SysInfo::systemLog()
{
    return SysInfoPrivate::systemLog(30000);
}

namespace SysInfoPrivate {

QString queryTool()
{
    const QString name = QStringLiteral("wevtutil");
    // Windows searches the program's own folder before the system path; so do we.
    if (QCoreApplication::instance()) {
        const QFileInfo beside(QCoreApplication::applicationDirPath() + QLatin1Char('/') + name);
        if (beside.isFile() && beside.isExecutable())
            return beside.filePath();
    }
    return QStandardPaths::findExecutable(name);
}

QString systemLog(int timeoutMs)
{
    QString result = unimplemented();
    const QString tool = queryTool();
    if (!tool.isEmpty()) {
        QProcess process;
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(tool,
            { QStringLiteral("qe"), QStringLiteral("Application"),
                QStringLiteral("/q:*[System[Provider[@Name='Velmor Agent'] and "
                               "TimeCreated[timediff(@SystemTime) <= 86400000]]]"),
                QStringLiteral("/uni:true"), QStringLiteral("/f:text") },
            QIODevice::ReadWrite);
        process.closeWriteChannel();
        if (process.waitForFinished(timeoutMs)) {
            // A non-zero exit status still delivers the tool's output; a crash does not.
            if (process.exitStatus() == QProcess::NormalExit && process.error() == QProcess::UnknownError) {
                QStringDecoder decoder(QStringConverter::Utf16LE);
                result = decoder(process.readAllStandardOutput());
                const qsizetype end = result.indexOf(QChar(0));
                if (end >= 0)
                    result.truncate(end);
            }
        } else if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(-1);
        }
    }
    return redacted(result);
}

QString redacted(const QString &text)
{
    // The line feed is optional so that a last line without one is cut too.
    static const QRegularExpression credentials(QStringLiteral("setCredentials[^\\n]*(\\n?)"));
    QString result = text;
    return result.replace(credentials, QStringLiteral("<credentials cutted out>\\1"));
}

} // namespace SysInfoPrivate

} // namespace Velmor
