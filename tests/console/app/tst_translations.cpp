#include "app/appearance.h"

#include "platform/settingsstore.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>

// The program's texts go to translators through lupdate's template, and come back as message files found
// beside the program or in the working folder.
class tst_Translations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();

    void lupdateFindsTheContexts_data();
    void lupdateFindsTheContexts();
    void templateHoldsEveryText();
    void templateHoldsTheContexts();
    void programTranslation_data();
    void programTranslation();
    void libraryTranslationBesideProgramOnly();

private:
    // A message file <name>.qm in folder whose one text of context translates to translation.
    bool makeMessageFile(
        const QString &folder, const QString &name, const char *context, const char *source, const char *translation);
    static QSet<QString> contextsOf(const QString &tsFile);
    // Every text of the file as "context|source".
    static QSet<QString> messagesOf(const QString &tsFile);

    QTemporaryDir m_root;
    QTemporaryDir m_work;
    QString m_besideProgram;
    QString m_originalCwd;
};

bool tst_Translations::makeMessageFile(
    const QString &folder, const QString &name, const char *context, const char *source, const char *translation)
{
    QDir().mkpath(folder);
    const QString ts = m_work.filePath(name + QLatin1String(".ts"));
    QFile file(ts);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n<TS version=\"2.1\" "
                              "language=\"de\">\n<context><name>%1</name><message><source>%2</source><translation>%3"
                              "</translation></message></context>\n</TS>\n")
                   .arg(QLatin1String(context), QLatin1String(source), QString::fromUtf8(translation))
                   .toUtf8());
    file.close();
    return QProcess::execute(QStringLiteral(VELMOR_LRELEASE),
               { QStringLiteral("-silent"), ts, QStringLiteral("-qm"),
                   folder + QLatin1Char('/') + name + QLatin1String(".qm") })
        == 0;
}

QSet<QString> tst_Translations::contextsOf(const QString &tsFile)
{
    QSet<QString> contexts;
    QFile file(tsFile);
    if (!file.open(QIODevice::ReadOnly))
        return contexts;
    QXmlStreamReader xml(&file);
    QStringList path;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            path.append(xml.name().toString());
            if (path == QStringList { "TS", "context", "name" })
                contexts.insert(xml.readElementText());
            if (xml.isEndElement())
                path.removeLast();
        } else if (xml.isEndElement()) {
            path.removeLast();
        }
    }
    return contexts;
}

void tst_Translations::initTestCase()
{
    qputenv("VELMOR_ROOT", QFile::encodeName(m_root.path()));
    QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
    QCoreApplication::setApplicationName(QStringLiteral("Agent"));
    Velmor::Platform::useRootSettings();
    m_besideProgram = QCoreApplication::applicationDirPath() + QLatin1String("/translations");
    QVERIFY2(!QFile::exists(m_besideProgram), "a translations folder is already beside the test program");
    m_originalCwd = QDir::currentPath();
}

void tst_Translations::cleanup()
{
    const QList<QTranslator *> translators = qApp->findChildren<QTranslator *>();
    qDeleteAll(translators);
    QDir(m_besideProgram).removeRecursively();
    QDir::setCurrent(m_originalCwd);
}

void tst_Translations::cleanupTestCase()
{
    QDir(m_besideProgram).removeRecursively();
}

void tst_Translations::lupdateFindsTheContexts_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("contexts");
    QTest::newRow("app") << "app" << QStringList { "Agent", "SystemTrayIcon" };
    // The status texts keep the context they had in the program's top.
    QTest::newRow("model") << "model"
                           << QStringList { "Agent", "AppUpdater", "Cabinet", "QObject", "ServiceConnector" };
    // A form's texts are found under the form's own name.
    QTest::newRow("main window") << "mainwindow"
                                 << QStringList { "MainWidget", "MemoryMsgBox", "SystemReportDlg", "UpdateDialog",
                                        "VarQuestionDlg" };
}

void tst_Translations::lupdateFindsTheContexts()
{
    QFETCH(QString, folder);
    QFETCH(QStringList, contexts);
    const QString sources = qEnvironmentVariable("VELMOR_SOURCE_DIR") + QLatin1String("/velmor-console/") + folder;
    const QString ts = m_work.filePath(folder + QLatin1String(".ts"));
    QProcess lupdate;
    lupdate.start(QStringLiteral(VELMOR_LUPDATE), { QStringLiteral("-silent"), sources, QStringLiteral("-ts"), ts });
    QVERIFY(lupdate.waitForFinished(60000));
    QCOMPARE(lupdate.exitCode(), 0);
    QCOMPARE(contextsOf(ts), QSet<QString>(contexts.cbegin(), contexts.cend()));
}

QSet<QString> tst_Translations::messagesOf(const QString &tsFile)
{
    QSet<QString> messages;
    QFile file(tsFile);
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    QXmlStreamReader xml(&file);
    QString context;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("name"))
            context = xml.readElementText();
        else if (xml.name() == QLatin1String("source"))
            messages.insert(context + QLatin1Char('|') + xml.readElementText());
    }
    return messages;
}

// Every text the program can show is in the template translators get: the template is made anew from the sources
// and compared.
void tst_Translations::templateHoldsEveryText()
{
    const QString sources = qEnvironmentVariable("VELMOR_SOURCE_DIR") + QLatin1String("/velmor-console");
    const QString fresh = m_work.filePath(QStringLiteral("fresh.ts"));
    QProcess lupdate;
    lupdate.start(QStringLiteral(VELMOR_LUPDATE),
        { QStringLiteral("-silent"), QStringLiteral("-locations"), QStringLiteral("none"), sources,
            QStringLiteral("-ts"), fresh });
    QVERIFY(lupdate.waitForFinished(120000));
    QCOMPARE(lupdate.exitCode(), 0);
    const QSet<QString> wanted = messagesOf(fresh);
    QVERIFY(wanted.size() > 100);
    const QSet<QString> held = messagesOf(sources + QLatin1String("/resources/translations/velmor-console.ts"));
    QStringList missing = (wanted - held).values();
    missing.sort();
    QVERIFY2(missing.isEmpty(),
        qPrintable(QStringLiteral("missing from the template (run the velmor-console_lupdate target): ")
            + missing.join(QLatin1String("; "))));
}

void tst_Translations::templateHoldsTheContexts()
{
    const QSet<QString> contexts = contextsOf(qEnvironmentVariable("VELMOR_SOURCE_DIR")
        + QLatin1String("/velmor-console/resources/translations/velmor-console.ts"));
    for (const char *context : { "Agent", "AppUpdater", "Cabinet", "QObject", "ServiceConnector", "SystemReportDlg",
             "SystemTrayIcon", "UpdateDialog", "MainWidget", "MemoryMsgBox", "VarQuestionDlg" })
        QVERIFY2(contexts.contains(QLatin1String(context)), context);
}

void tst_Translations::programTranslation_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("place");
    QTest::addColumn<bool>("translated");
    QTest::newRow("de beside the program") << "de"
                                           << "program" << true;
    QTest::newRow("de in the working folder") << "de"
                                              << "cwd" << true;
    QTest::newRow("de nowhere") << "de"
                                << "none" << false;
    QTest::newRow("fr finds no de") << "fr"
                                    << "program" << false;
}

void tst_Translations::programTranslation()
{
    QFETCH(QString, language);
    QFETCH(QString, place);
    QFETCH(bool, translated);
    QSettings().setValue(QStringLiteral("language"), language);
    if (place == QLatin1String("program")) {
        QVERIFY(makeMessageFile(m_besideProgram, QStringLiteral("velmor-console_de"), "Agent", "System service error!",
            "Systemdienstfehler!"));
    } else if (place == QLatin1String("cwd")) {
        QTemporaryDir cwd;
        QVERIFY(makeMessageFile(cwd.filePath(QStringLiteral("translations")), QStringLiteral("velmor-console_de"),
            "Agent", "System service error!", "Systemdienstfehler!"));
        QDir::setCurrent(cwd.path());
        installTranslators();
        QDir::setCurrent(m_originalCwd);
        QCOMPARE(QCoreApplication::translate("Agent", "System service error!"), QStringLiteral("Systemdienstfehler!"));
        return;
    }
    installTranslators();
    QCOMPARE(QCoreApplication::translate("Agent", "System service error!"),
        translated ? QStringLiteral("Systemdienstfehler!") : QStringLiteral("System service error!"));
}

void tst_Translations::libraryTranslationBesideProgramOnly()
{
    QSettings().setValue(QStringLiteral("language"), QStringLiteral("de"));
    QTemporaryDir cwd;
    QVERIFY(makeMessageFile(cwd.filePath(QStringLiteral("translations")), QStringLiteral("qt_de"), "QDialogButtonBox",
        "Cancel", "Abbrechen"));
    QDir::setCurrent(cwd.path());
    installTranslators();
    QCOMPARE(QCoreApplication::translate("QDialogButtonBox", "Cancel"), QStringLiteral("Cancel"));
    cleanup();

    QVERIFY(makeMessageFile(m_besideProgram, QStringLiteral("qt_de"), "QDialogButtonBox", "Cancel", "Abbrechen"));
    installTranslators();
    QCOMPARE(QCoreApplication::translate("QDialogButtonBox", "Cancel"), QStringLiteral("Abbrechen"));
}

QTEST_MAIN(tst_Translations)
#include "tst_translations.moc"
