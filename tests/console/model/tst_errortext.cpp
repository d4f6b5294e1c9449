#include "model/errortext.h"

#include "velmorwire/error.h"

#include <QCoreApplication>
#include <QTest>
#include <QTranslator>

class tst_ErrorText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void codeText_data();
    void codeText();
    void errorText_data();
    void errorText();
    void translatedInQObjectContext();
};

void tst_ErrorText::codeText_data()
{
    QTest::addColumn<quint32>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0u << QString();
    QTest::newRow("1") << 1u << "Generic error";
    QTest::newRow("2") << 2u << "Network timeout";
    QTest::newRow("3") << 3u << "System service disconnected";
    QTest::newRow("4") << 4u << "No original DNS addresses";
    QTest::newRow("5") << 5u << "Failed to set DNS server addresses";
    QTest::newRow("6") << 6u << "Failed to update connections info";
    QTest::newRow("7") << 7u << QString();
    QTest::newRow("9") << 9u << QString();
    QTest::newRow("30") << 30u << "Invalid login or password";
    QTest::newRow("31") << 31u << "Failed to connect to cabinet";
    QTest::newRow("33") << 33u << QString();
    QTest::newRow("1051") << 1051u << "IP address is inaccessible";
    QTest::newRow("max") << 0xffffffffu << QString();
}

void tst_ErrorText::codeText()
{
    QFETCH(quint32, code);
    QFETCH(QString, text);
    QCOMPARE(errorCodeText(code), text);
}

void tst_ErrorText::errorText_data()
{
    QTest::addColumn<quint32>("code");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("text");
    QTest::newRow("success, no message") << 0u << QString() << QString();
    QTest::newRow("success with a message") << 0u << "all fine"
                                            << "all fine";
    QTest::newRow("unknown code with a message") << 99u << "odd"
                                                 << "odd";
    QTest::newRow("unknown code, no message") << 99u << QString() << QString();
    QTest::newRow("known code, no message") << 3u << QString() << "System service disconnected";
    QTest::newRow("known code and message") << 31u << "host unreachable"
                                            << "Failed to connect to cabinet: host unreachable";
}

void tst_ErrorText::errorText()
{
    QFETCH(quint32, code);
    QFETCH(QString, message);
    QFETCH(QString, text);
    QCOMPARE(::errorText(Velmor::Error(code, message)), text);
}

// Translators find the texts under "QObject"; a translation installed there reaches every caller.
class EchoTranslator : public QTranslator
{
public:
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (qstrcmp(context, "QObject") != 0)
            return QString();
        return QLatin1String("[") + QLatin1String(sourceText) + QLatin1String("]");
    }
    bool isEmpty() const override { return false; }
};

void tst_ErrorText::translatedInQObjectContext()
{
    EchoTranslator translator;
    QCoreApplication::installTranslator(&translator);
    const QString text = ::errorText(Velmor::Error(2, QStringLiteral("late")));
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(text, QStringLiteral("[Network timeout]: late"));
}

QTEST_GUILESS_MAIN(tst_ErrorText)
#include "tst_errortext.moc"
