#include "filter/timeruler.h"

#include <QtTest>

class tst_TimeRuler : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sizeHint();
    void labelSpacing_data();
    void labelSpacing();
    void labels_data();
    void labels();
};

void tst_TimeRuler::sizeHint()
{
    TimeRuler ruler;
    QCOMPARE(ruler.sizeHint(), QSize(24, ruler.fontMetrics().height() + 5));
    QCOMPARE(ruler.sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(ruler.sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
}

void tst_TimeRuler::labelSpacing_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("spacing");

    // Room 600: each halving of it adds one hour, not a doubling.
    QTest::newRow("wider than the room") << 900 << 1;
    QTest::newRow("the room") << 600 << 1;
    QTest::newRow("just under it") << 599 << 2;
    QTest::newRow("half") << 300 << 2;
    QTest::newRow("under half") << 299 << 3;
    QTest::newRow("quarter") << 150 << 3;
    QTest::newRow("eighth") << 75 << 4;
    QTest::newRow("nothing") << 0 << 11;
}

void tst_TimeRuler::labelSpacing()
{
    QFETCH(int, width);
    QFETCH(int, spacing);
    QCOMPARE(TimeRuler::labelSpacing(width, 600), spacing);
}

void tst_TimeRuler::labels_data()
{
    QTest::addColumn<int>("divisor");
    QTest::addColumn<int>("spacing");

    QTest::newRow("L") << 1 << 1;
    QTest::newRow("L/2") << 2 << 2;
    QTest::newRow("L/4") << 4 << 3;
}

void tst_TimeRuler::labels()
{
    QFETCH(int, divisor);
    QFETCH(int, spacing);

    TimeRuler ruler;
    const QFontMetrics metrics = ruler.fontMetrics();
    const int room = 20 * metrics.horizontalAdvance(QStringLiteral("888"));
    const int width = room / divisor;
    const int height = ruler.sizeHint().height();
    ruler.setFixedSize(width, height);
    ruler.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ruler));
    const QImage image = ruler.grab().toImage();
    const auto dark = [&image, height](int left, int right) {
        for (int x = qMax(0, left); x <= qMin(image.width() - 1, right); ++x) {
            for (int y = 0; y < height - 4; ++y) {
                if (qGray(image.pixel(x, y)) < 0x90)
                    return true;
            }
        }
        return false;
    };

    for (int hour = 1; hour <= 24; ++hour) {
        const int x = width * hour / 24;
        // Every hour has its tick; the one of 24 falls on the edge, outside.
        if (x < width)
            QCOMPARE(image.pixelColor(x, height - 2), QColor(0x88, 0x88, 0x88));
        const int textWidth = metrics.horizontalAdvance(QString::number(hour));
        const bool labelled = hour < 24 && hour % spacing == 0;
        if (labelled) {
            QVERIFY2(dark(x - textWidth / 2, x - textWidth / 2 + textWidth - 1), qPrintable(QString::number(hour)));
        } else if (hour < 10 || spacing < 3) {
            // The column of an hour without a number stays clear (two-digit neighbours may reach it at L/4).
            QVERIFY2(!dark(x, x), qPrintable(QString::number(hour)));
        }
    }
}

QTEST_MAIN(tst_TimeRuler)
#include "tst_timeruler.moc"
