#include "core/service.h"

#include "platform/eventlog.h"

#include "scratchroot.h"

#include <QThread>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

using namespace Velmor::Platform;

// Every diagnostic of the service process becomes an Application event log entry under the service's name.
class tst_EventLogMessageHandler : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void typesMapToEventTypes();
    void otherThreadsWriteToo();
    void fatalIsWrittenThenAborts();

private:
    static QStringList entries()
    {
        QStringList lines;
        const QList<EventLog::Entry> all = EventLog::entries();
        for (const EventLog::Entry &entry : all)
            lines.append(entry.source + QLatin1Char('|') + EventLog::typeName(entry.type) + QLatin1Char('|')
                + QString::number(entry.id) + QLatin1Char('|') + entry.text);
        return lines;
    }

    std::unique_ptr<TestSupport::ScratchRoot> m_root;
    std::unique_ptr<Service> m_service;
    int m_argc = 1;
    char m_program[16] = "velmor-warden";
    char *m_argv[2] = { m_program, nullptr };
};

void tst_EventLogMessageHandler::init()
{
    m_root = std::make_unique<TestSupport::ScratchRoot>();
    // Installs the handler; the test's own application object stays the process's.
    m_service.reset(new Service(m_argc, m_argv));
}

void tst_EventLogMessageHandler::cleanup()
{
    m_service.reset();
    m_root.reset();
}

void tst_EventLogMessageHandler::typesMapToEventTypes()
{
    qDebug("a debug message");
    qInfo("an info message");
    qWarning("a warning with\ttab and\nline feed");
    qCritical("a critical message: %d", 42);
    // Written by the log's own thread.
    QTRY_COMPARE(entries(),
        QStringList(
            { "Velmor Agent|Information|0|a debug message", "Velmor Agent|Warning|0|a warning with\ttab and\nline feed",
                "Velmor Agent|Error|0|a critical message: 42" }));
}

void tst_EventLogMessageHandler::otherThreadsWriteToo()
{
    QThread *thread = QThread::create([] {
        for (int i = 0; i < 20; ++i)
            qWarning("from a worker %d", i);
    });
    thread->start();
    for (int i = 0; i < 20; ++i)
        qDebug("from the main thread %d", i);
    QVERIFY(thread->wait(30000));
    delete thread;
    QTRY_COMPARE(entries().size(), 40);
    const QStringList lines = entries();
    QCOMPARE(lines.filter(QStringLiteral("|Warning|0|from a worker ")).size(), 20);
    QCOMPARE(lines.filter(QStringLiteral("|Information|0|from the main thread ")).size(), 20);
}

void tst_EventLogMessageHandler::fatalIsWrittenThenAborts()
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGABRT, SIG_DFL); // not the test framework's crash report
        eventLogMessageHandler(QtFatalMsg, QMessageLogContext(), QStringLiteral("cannot go on"));
        ::_exit(0); // not reached when the handler aborts
    }
    QVERIFY(child > 0);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFSIGNALED(status));
    QCOMPARE(WTERMSIG(status), SIGABRT);
    QCOMPARE(entries(), QStringList({ "Velmor Agent|Error|0|cannot go on" }));
}

QTEST_GUILESS_MAIN(tst_EventLogMessageHandler)
#include "tst_eventlogmessagehandler.moc"
