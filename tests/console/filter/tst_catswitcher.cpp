#include "filter/catswitcher.h"

#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

class tst_CatSwitcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void nameShowsAmpersands();
    void description_data();
    void description();
    void stateAtConstruction_data();
    void stateAtConstruction();
    void clicksReportIdAndState();
    void takesNoFocus();

private:
    // The dominant hue of the check box's indicator: red for blocked, green for allowed.
    static QString indicatorHue(CatSwitcher *switcher);
};

QString tst_CatSwitcher::indicatorHue(CatSwitcher *switcher)
{
    auto *box = switcher->findChild<QCheckBox *>(QStringLiteral("ckState"));
    const QImage image = box->grab().toImage();
    int red = 0;
    int green = 0;
    for (int y = 0; y < qMin(image.height(), 20); ++y) {
        for (int x = 0; x < qMin(image.width(), 20); ++x) {
            const QColor c = image.pixelColor(x, y);
            red += c.red() > 150 && c.green() < 100;
            green += c.green() > 120 && c.red() < 100;
        }
    }
    return red > 20 && red > green ? QStringLiteral("red") : green > 20 ? QStringLiteral("green") : QString();
}

void tst_CatSwitcher::nameShowsAmpersands()
{
    CatSwitcher switcher(9, QStringLiteral("Dating & chat"), false, QString());
    auto *box = switcher.findChild<QCheckBox *>(QStringLiteral("ckState"));
    QCOMPARE(box->text(), QStringLiteral("Dating && chat"));
    // No mnemonic: Alt+C must not reach the box.
    QVERIFY(QKeySequence::mnemonic(box->text()).isEmpty());
}

void tst_CatSwitcher::description_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<bool>("iconShown");

    QTest::newRow("with text") << "Online games" << true;
    QTest::newRow("empty") << QString() << false;
}

void tst_CatSwitcher::description()
{
    QFETCH(QString, description);
    QFETCH(bool, iconShown);

    CatSwitcher switcher(7, QStringLiteral("Games"), false, description);
    switcher.show();
    auto *icon = switcher.findChild<QLabel *>(QStringLiteral("lblDescr"));
    QCOMPARE(icon->isVisible(), iconShown);
    QCOMPARE(icon->toolTip(), description);
    QVERIFY(!icon->pixmap().isNull());
}

void tst_CatSwitcher::stateAtConstruction_data()
{
    QTest::addColumn<bool>("blocked");
    QTest::addColumn<QString>("hue");

    QTest::newRow("blocked") << true << "red";
    QTest::newRow("allowed") << false << "green";
}

void tst_CatSwitcher::stateAtConstruction()
{
    QFETCH(bool, blocked);
    QFETCH(QString, hue);

    CatSwitcher switcher(5, QStringLiteral("Malware"), blocked, QString());
    switcher.show();
    QCOMPARE(switcher.isBlocked(), blocked);
    QCOMPARE(switcher.findChild<QCheckBox *>(QStringLiteral("ckState"))->isChecked(), blocked);
    QCOMPARE(indicatorHue(&switcher), hue);

    QSignalSpy changed(&switcher, &CatSwitcher::changed);
    switcher.setBlocked(!blocked);
    QCOMPARE(switcher.isBlocked(), !blocked);
    QCOMPARE(changed.count(), 0);
}

void tst_CatSwitcher::clicksReportIdAndState()
{
    CatSwitcher switcher(12, QStringLiteral("News"), false, QString());
    switcher.show();
    QSignalSpy changed(&switcher, &CatSwitcher::changed);
    auto *box = switcher.findChild<QCheckBox *>(QStringLiteral("ckState"));

    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0), (QVariantList { 12u, true }));
    QVERIFY(switcher.isBlocked());

    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.at(1), (QVariantList { 12u, false }));
    QVERIFY(!switcher.isBlocked());
}

void tst_CatSwitcher::takesNoFocus()
{
    CatSwitcher switcher(2, QStringLiteral("Unknown"), false, QString());
    QCOMPARE(switcher.findChild<QCheckBox *>(QStringLiteral("ckState"))->focusPolicy(), Qt::NoFocus);
}

QTEST_MAIN(tst_CatSwitcher)
#include "tst_catswitcher.moc"
