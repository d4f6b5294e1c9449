#include "reportcommands.h"

#include <QAtomicInt>
#include <QProcess>
#include <QStandardPaths>
#include <QVariant>

namespace {

QAtomicInt guard(110000);

const char runIndexProperty[] = "reportCommandIndex";

} // namespace

QList<ReportCommands::Command> ReportCommands::defaultCommands()
{
    return {
        { QStringLiteral("ip"), { QStringLiteral("address") } },
        { QStringLiteral("uname"), { QStringLiteral("-a") } },
        { QStringLiteral("ip"), { QStringLiteral("route") } },
    };
}

int ReportCommands::guardLimit()
{
    return guard.loadRelaxed();
}

void ReportCommands::setGuardLimit(int msec)
{
    guard.storeRelaxed(msec);
}

ReportCommands::ReportCommands(QObject *parent)
    : QObject(parent)
    , m_done(false)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ReportCommands::timeout);
}

ReportCommands::~ReportCommands() = default;

void ReportCommands::start(const QList<Command> &commands)
{
    m_runs.resize(commands.size());
    for (int i = 0; i < commands.size(); ++i) {
        const Command &command = commands.at(i);
        Run &run = m_runs[i];
        run.startedProgram = command.program + QLatin1Char(' ') + command.arguments.join(QLatin1Char(' '));
        const QString path = QStandardPaths::findExecutable(command.program);
        if (path.isEmpty()) {
            end(i, QStringLiteral("Failed to get output"));
            continue;
        }
        run.process = new QProcess(this);
        run.process->setProperty(runIndexProperty, i);
        run.process->setProperty("startedProgram", run.startedProgram);
        run.process->setStandardInputFile(QProcess::nullDevice());
        run.process->setStandardErrorFile(QProcess::nullDevice());
        connect(run.process, &QProcess::finished, this, &ReportCommands::processFinished);
        connect(run.process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            // A program that never started reports no end of its own.
            if (error == QProcess::FailedToStart)
                processFinished();
        });
        run.process->start(path, command.arguments, QIODevice::ReadOnly);
    }
    m_timer.start(guardLimit());
    // Commands that could not start have ended already; the answer still comes from the event loop.
    QMetaObject::invokeMethod(this, &ReportCommands::finishIfDone, Qt::QueuedConnection);
}

QString ReportCommands::output() const
{
    QString text;
    for (const Run &run : m_runs)
        text += run.block;
    return text;
}

void ReportCommands::processFinished()
{
    auto *process = qobject_cast<QProcess *>(sender());
    if (!process || m_done)
        return;
    const int index = process->property(runIndexProperty).toInt();
    if (index < 0 || index >= m_runs.size() || m_runs.at(index).ended)
        return;
    const QString text = process->error() != QProcess::UnknownError
        ? QStringLiteral("Failed to get output")
        : QString::fromUtf8(process->readAllStandardOutput());
    end(index, text);
    finishIfDone();
}

void ReportCommands::timeout()
{
    if (m_done)
        return;
    for (Run &run : m_runs) {
        if (run.ended)
            continue;
        run.ended = true;
        run.block = QStringLiteral("\n> %1\n<Aborted by timeout>\n").arg(run.startedProgram);
        if (run.process) {
            run.process->disconnect(this);
            run.process->terminate();
        }
    }
    finishIfDone();
}

void ReportCommands::end(int index, const QString &text)
{
    Run &run = m_runs[index];
    run.ended = true;
    run.block = QStringLiteral("\n> %1\n").arg(run.startedProgram) + text + QLatin1Char('\n');
}

void ReportCommands::finishIfDone()
{
    if (m_done)
        return;
    for (const Run &run : std::as_const(m_runs)) {
        if (!run.ended)
            return;
    }
    m_done = true;
    m_timer.stop();
    Q_EMIT done();
}
