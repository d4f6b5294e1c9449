#include "model/brand.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

class tst_Brand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emptyWithoutFile();
    void readsBrandFileBesideProgram();
};

void tst_Brand::emptyWithoutFile()
{
    QTranslator *translator = brandTranslator();
    QVERIFY(translator);
    QCOMPARE(translator->translate("MainWidget", "STYLE_header"), QString());
    QCOMPARE(brandTranslator(), translator);
    QCOMPARE(applicationDir(), QCoreApplication::applicationDirPath());
}

// A helper run of this suite's own program beside a brand file: the translator reads "brand.qm" there once,
// and later calls return the same translator.
void tst_Brand::readsBrandFileBesideProgram()
{
    if (qEnvironmentVariableIsSet("BRAND_CHILD")) {
        QTranslator *first = brandTranslator();
        printf("%s|%d\n", qPrintable(first->translate("MainWidget", "STYLE_header")), brandTranslator() == first);
        return;
    }
    QTemporaryDir folder;
    const QString ts = folder.filePath(QStringLiteral("brand.ts"));
    QFile source(ts);
    QVERIFY(source.open(QIODevice::WriteOnly));
    source.write("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n<TS version=\"2.1\">\n"
                 "<context><name>MainWidget</name><message><source>STYLE_header</source>"
                 "<translation>background: #123456;</translation></message></context>\n</TS>\n");
    source.close();
    QCOMPARE(QProcess::execute(QStringLiteral(VELMOR_LRELEASE), { QStringLiteral("-silent"), ts }), 0);
    const QString copy = folder.filePath(QStringLiteral("tst_brand"));
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("BRAND_CHILD"), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.start(copy, { QStringLiteral("readsBrandFileBesideProgram") });
    QVERIFY(child.waitForFinished(30000));
    QVERIFY(child.readAllStandardOutput().contains("background: #123456;|1"));
}

QTEST_GUILESS_MAIN(tst_Brand)
#include "tst_brand.moc"
