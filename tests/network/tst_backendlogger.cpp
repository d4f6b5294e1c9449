#include "network/backendlogger.h"

#include <QThread>
#include <QtTest>

#include <memory>

using Velmor::Logger;
using Velmor::Private::BackendLogger;

namespace {

struct Message
{
    QtMsgType type;
    QString text;
    Qt::HANDLE thread;
};

QList<Message> captured;

void capture(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    captured.append(Message { type, text, QThread::currentThreadId() });
}

} // namespace

// The process's log sink while a backend exists: any thread writes, Qt's message output receives on the main
// thread.
class tst_BackendLogger : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void messagesReachTheMainThread();
};

void tst_BackendLogger::messagesReachTheMainThread()
{
    auto *logger = new BackendLogger;
    Logger::setLogger(logger);
    QCOMPARE(Logger::instance(), static_cast<Logger *>(logger));
    captured.clear();
    const QtMessageHandler previous = qInstallMessageHandler(capture);
    std::unique_ptr<QThread> writer(QThread::create([] {
        Logger::write(Logger::DebugMsg, "debug %d", 1);
        Logger::write(Logger::WarningMsg, "warning");
        Logger::write(Logger::CriticalMsg, "critical");
        Logger::write(Logger::MsgType(7), "unknown type");
    }));
    writer->start();
    QVERIFY(writer->wait(10000));
    QTRY_COMPARE(captured.size(), 4);
    qInstallMessageHandler(previous);

    const QList<QtMsgType> types { QtDebugMsg, QtWarningMsg, QtCriticalMsg, QtDebugMsg };
    const QStringList texts { "\"debug 1\" ", "\"warning\" ", "\"critical\" ", "\"unknown type\" " };
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(captured.at(i).type, types.at(i));
        QCOMPARE(captured.at(i).text, texts.at(i));
        QCOMPARE(captured.at(i).thread, QThread::currentThreadId());
    }
    delete logger;
    QCOMPARE(Logger::instance(), static_cast<Logger *>(nullptr));
}

QTEST_GUILESS_MAIN(tst_BackendLogger)
#include "tst_backendlogger.moc"
