#include "scratchroot.h"

#include "model/consolesettings.h"

#include <QFile>
#include <QRect>
#include <QSettings>
#include <QTest>

#include <memory>

// The desktop program's store, one key at a time: what each getter gives for an absent key, the text each setter
// writes, and what each getter makes of that text in the file.
class tst_ConsoleSettings : public QObject
{
    Q_OBJECT

public:
    enum Value { FirstStart, NewVersionChecks, Geometry, Language, RememberedAnswer };
    Q_ENUM(Value)

private Q_SLOTS:
    void init();
    void cleanup();

    void values_data();
    void values();

private:
    static QVariant read(Value value);
    // Through the value's setter; false for a value the program only reads.
    static bool write(Value value, const QVariant &written);
    static QByteArray storedFile();

    std::unique_ptr<TestSupport::ScratchRoot> m_root;
};

void tst_ConsoleSettings::init()
{
    m_root = std::make_unique<TestSupport::ScratchRoot>();
    m_root->useSettingsOf(QStringLiteral("Agent"));
}

void tst_ConsoleSettings::cleanup()
{
    m_root.reset();
}

QVariant tst_ConsoleSettings::read(Value value)
{
    const ConsoleSettings settings;
    switch (value) {
    case FirstStart:
        return settings.isFirstStart();
    case NewVersionChecks:
        return settings.newVersionChecks();
    case Geometry:
        return settings.mainWidgetGeometry();
    case Language:
        return settings.language();
    case RememberedAnswer:
        return settings.rememberedAnswer(QStringLiteral("autostart-close"));
    }
    return QVariant();
}

bool tst_ConsoleSettings::write(Value value, const QVariant &written)
{
    ConsoleSettings settings;
    switch (value) {
    case FirstStart:
        settings.setFirstStart(written.toBool());
        return true;
    case NewVersionChecks:
        settings.setNewVersionChecks(written.toBool());
        return true;
    case Geometry:
        settings.setMainWidgetGeometry(written.toRect());
        return true;
    case Language:
        return false;
    case RememberedAnswer:
        settings.setRememberedAnswer(QStringLiteral("autostart-close"), written);
        return true;
    }
    return false;
}

QByteArray tst_ConsoleSettings::storedFile()
{
    QFile file(QSettings().fileName());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void tst_ConsoleSettings::values_data()
{
    QTest::addColumn<Value>("value");
    QTest::addColumn<QVariant>("absent");
    // Whether the row goes through the setter, what the setter is given, and the line it leaves in the file.
    QTest::addColumn<bool>("set");
    QTest::addColumn<QVariant>("written");
    QTest::addColumn<QByteArray>("line");
    // What the getter makes of that line.
    QTest::addColumn<QVariant>("parsed");

    QTest::newRow("first start") << FirstStart << QVariant(true) << true << QVariant(false)
                                 << QByteArray("firststart=false") << QVariant(false);
    QTest::newRow("update checks") << NewVersionChecks << QVariant(true) << true << QVariant(false)
                                   << QByteArray("new-version-checks=false") << QVariant(false);
    QTest::newRow("window geometry") << Geometry << QVariant(QRect()) << true << QVariant(QRect(10, 20, 300, 400))
                                     << QByteArray("mainwidget-geometry=@Rect(10 20 300 400)")
                                     << QVariant(QRect(10, 20, 300, 400));
    QTest::newRow("geometry not a rectangle") << Geometry << QVariant(QRect()) << false << QVariant()
                                              << QByteArray("mainwidget-geometry=wide") << QVariant(QRect());
    QTest::newRow("language") << Language << QVariant(QString()) << false << QVariant() << QByteArray("language=de")
                              << QVariant(QStringLiteral("de"));
    QTest::newRow("language with commas") << Language << QVariant(QString()) << false << QVariant()
                                          << QByteArray("language=de,at") << QVariant(QStringLiteral("de,at"));
    QTest::newRow("remembered answer") << RememberedAnswer << QVariant() << true << QVariant(1)
                                       << QByteArray("vq-autostart-close=1") << QVariant(QStringLiteral("1"));
    QTest::newRow("remembered without answer") << RememberedAnswer << QVariant() << true << QVariant()
                                               << QByteArray("vq-autostart-close=@Invalid()") << QVariant();
}

void tst_ConsoleSettings::values()
{
    QFETCH(Value, value);
    QFETCH(QVariant, absent);
    QFETCH(bool, set);
    QFETCH(QVariant, written);
    QFETCH(QByteArray, line);
    QFETCH(QVariant, parsed);

    QCOMPARE(read(value), absent);
    if (set) {
        QVERIFY(write(value, written));
        QCOMPARE(storedFile(), QByteArray("[General]\n") + line + '\n');
    }

    QFile file(QSettings().fileName());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray("[General]\n") + line + '\n');
    file.close();
    QCOMPARE(read(value), parsed);
}

QTEST_GUILESS_MAIN(tst_ConsoleSettings)
#include "tst_consolesettings.moc"
