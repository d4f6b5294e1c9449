#include "model/appupdater.h"
#include "model/versionfile.h"

#include <QTest>

class tst_VersionFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void numbers_data();
    void numbers();
    void newer_data();
    void newer();
    void read_data();
    void read();
    void contentDisposition_data();
    void contentDisposition();
};

void tst_VersionFile::numbers_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QList<uint>>("numbers");
    QTest::newRow("four") << "2.3.63.4" << QList<uint> { 2, 3, 63, 4 };
    QTest::newRow("trailing zeros dropped") << "2.3.0" << QList<uint> { 2, 3 };
    QTest::newRow("all zeros") << "0.0" << QList<uint> { 0 };
    QTest::newRow("empty parts count 0") << "1..2" << QList<uint> { 1, 0, 2 };
    QTest::newRow("letters count 0") << "1.x.3" << QList<uint> { 1, 0, 3 };
    QTest::newRow("empty text") << "" << QList<uint> { 0 };
}

void tst_VersionFile::numbers()
{
    QFETCH(QString, version);
    QFETCH(QList<uint>, numbers);
    QCOMPARE(AppUpdater::versionNumbers(version), numbers);
}

void tst_VersionFile::newer_data()
{
    QTest::addColumn<QString>("offered");
    QTest::addColumn<bool>("newer");
    QTest::newRow("same") << "2.3.63.4" << false;
    QTest::newRow("a trailing zero") << "2.3.63.4.0" << false;
    QTest::newRow("a fifth number") << "2.3.63.4.1" << true;
    QTest::newRow("2.4") << "2.4" << true;
    QTest::newRow("2.3.64") << "2.3.64" << true;
    QTest::newRow("2.3.9") << "2.3.9" << false;
    QTest::newRow("3") << "3" << true;
    QTest::newRow("older major") << "1.99.99.99" << false;
}

void tst_VersionFile::newer()
{
    QFETCH(QString, offered);
    QFETCH(bool, newer);
    QCOMPARE(isNewerVersion(offered, QStringLiteral("2.3.63.4")), newer);
    if (newer)
        QVERIFY(!isNewerVersion(QStringLiteral("2.3.63.4"), offered));
}

void tst_VersionFile::read_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("notes");

    QTest::newRow("version alone") << QByteArray("2.4\n") << true << "2.4"
                                   << ""
                                   << "";
    QTest::newRow("download and notes") << QByteArray("2.4\r\ndl:https://example.com/a.exe  \r\n Fixes.\nMore.\n")
                                        << true << "2.4"
                                        << "https://example.com/a.exe"
                                        << "Fixes.\nMore.";
    QTest::newRow("no dl: the line starts the notes") << QByteArray("2.4\nWhat is new") << true << "2.4"
                                                      << ""
                                                      << "What is new";
    QTest::newRow("notes in UTF-8") << QByteArray("2.4\n\xc3\xa9t\xc3\xa9") << true << "2.4"
                                    << "" << QStringLiteral("\u00e9t\u00e9");
    QTest::newRow("five numbers are refused") << QByteArray("2.3.63.4.1\n") << false << ""
                                              << ""
                                              << "";
    QTest::newRow("a letter first") << QByteArray("v2.4\n") << false << ""
                                    << ""
                                    << "";
    QTest::newRow("empty") << QByteArray() << false << ""
                           << ""
                           << "";
    QTest::newRow("a bad address stays empty") << QByteArray("2.4\ndl:ht tp://x\n") << true << "2.4"
                                               << ""
                                               << "";
}

void tst_VersionFile::read()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, valid);
    QFETCH(QString, version);
    QFETCH(QString, url);
    QFETCH(QString, notes);
    const VersionFile file = readVersionFile(body);
    QCOMPARE(file.valid, valid);
    if (!valid)
        return;
    QCOMPARE(file.version, version);
    QCOMPARE(file.downloadUrl.isValid() ? file.downloadUrl.toString() : QString(), url);
    QCOMPARE(file.notes, notes);
}

void tst_VersionFile::contentDisposition_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QString>("name");
    QTest::newRow("quoted path") << QByteArray("attachment; filename=\"files/2.4/velmor-setup-2.4.exe\"")
                                 << "velmor-setup-2.4.exe";
    QTest::newRow("quoted name") << QByteArray(" attachment; filename=\"setup.exe\" ") << "setup.exe";
    QTest::newRow("unquoted") << QByteArray("attachment; filename=setup.exe") << "";
    QTest::newRow("followed by a parameter") << QByteArray("attachment; filename=\"setup.exe\"; size=3") << "";
    QTest::newRow("empty quotes") << QByteArray("attachment; filename=\"\"") << "";
    QTest::newRow("a folder only") << QByteArray("attachment; filename=\"dir/\"") << "";
    QTest::newRow("cut at a zero byte") << QByteArray("attachment; filename=\"a.exe\"\0tail", 34) << "a.exe";
    QTest::newRow("none") << QByteArray("inline") << "";
}

void tst_VersionFile::contentDisposition()
{
    QFETCH(QByteArray, header);
    QFETCH(QString, name);
    QCOMPARE(contentDispositionFileName(header), name);
}

QTEST_GUILESS_MAIN(tst_VersionFile)
#include "tst_versionfile.moc"
