#include "platform/winerror.h"

#include <QThread>
#include <QtTest>

using namespace Velmor;

class tst_WinError : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lastErrorIsPerThread();
    void minusOneResolvesToTheLastError();
    void unknownCodeHasNoText();
    void printRaisesMessageAndText();
};

void tst_WinError::lastErrorIsPerThread()
{
    Platform::setLastError(Platform::ErrorAccessDenied);
    quint32 seenThere = 1;
    QThread *other = QThread::create([&seenThere] {
        seenThere = Platform::lastError();
        Platform::setLastError(Platform::ErrorInvalidData);
    });
    other->start();
    other->wait();
    delete other;
    QCOMPARE(seenThere, quint32(Platform::ErrorSuccess));
    QCOMPARE(Platform::lastError(), quint32(Platform::ErrorAccessDenied));
}

void tst_WinError::minusOneResolvesToTheLastError()
{
    Platform::setLastError(Platform::ErrorInsufficientBuffer);
    int code = -1;
    QCOMPARE(systemErrorString(code), QStringLiteral("The data area passed to a system call is too small."));
    QCOMPARE(code, 122);
}

void tst_WinError::unknownCodeHasNoText()
{
    int code = 424242;
    QCOMPARE(systemErrorString(code), QString());
    QCOMPARE(code, 424242);
}

void tst_WinError::printRaisesMessageAndText()
{
    QTest::ignoreMessage(QtCriticalMsg, "CryptProtectData (Access is denied.)");
    printSystemError(QStringLiteral("CryptProtectData"), Platform::ErrorAccessDenied);
    Platform::setLastError(Platform::ErrorInvalidData);
    QTest::ignoreMessage(QtCriticalMsg, "Decryption error! (The data is invalid.)");
    printSystemError(QStringLiteral("Decryption error!"), -1);
}

QTEST_GUILESS_MAIN(tst_WinError)
#include "tst_winerror.moc"
