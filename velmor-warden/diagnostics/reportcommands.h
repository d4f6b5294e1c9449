#ifndef VELMOR_DIAGNOSTICS_REPORTCOMMANDS_H
#define VELMOR_DIAGNOSTICS_REPORTCOMMANDS_H

#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

class QProcess;

// The console commands of the system report, run side by side, each found on PATH and started as a program with
// its arguments, never through a shell. Their standard output is taken as UTF-8. A command that cannot start, or
// ends in an error state, gives "Failed to get output" at once; one still running when the guard fires gives
// "<Aborted by timeout>" and is asked to terminate. done() comes exactly once.
class ReportCommands : public QObject
{
    Q_OBJECT

public:
    struct Command
    {
        QString program;
        QStringList arguments;
    };

    // The network configuration, the system and the routes: "ip address", "uname -a", "ip route".
    static QList<Command> defaultCommands();

    // The guard, 110000 ms; shortened in-process by the tests of a slow command.
    static int guardLimit();
    static void setGuardLimit(int msec);

    explicit ReportCommands(QObject *parent = nullptr);
    ~ReportCommands() override;

    void start(const QList<Command> &commands = defaultCommands());
    bool isDone() const { return m_done; }
    // "\n> <program and arguments>\n", the command's text and "\n" for each command, in the order they were
    // started, so the report's layout does not depend on which command ended first.
    QString output() const;

Q_SIGNALS:
    void done();

private Q_SLOTS:
    void processFinished();
    void timeout();

private:
    Q_DISABLE_COPY(ReportCommands)

    struct Run
    {
        QString startedProgram;
        QProcess *process = nullptr;
        QString block;
        bool ended = false;
    };

    void end(int index, const QString &text);
    void finishIfDone();

    QList<Run> m_runs;
    QTimer m_timer;
    bool m_done;
};

#endif // VELMOR_DIAGNOSTICS_REPORTCOMMANDS_H
