#include "filter/schedulewidget.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

class tst_ScheduleWidget : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void setPeriod_data();
    void setPeriod();
    void painting_data();
    void painting();
    void drag_data();
    void drag();
    void pressWithoutMoveChangesNothing_data();
    void pressWithoutMoveChangesNothing();
    void otherButtonsIgnored();

private:
    ScheduleWidget *make(int width);
    void sendMouse(QEvent::Type type, Qt::MouseButton button, int x);

    std::unique_ptr<ScheduleWidget> m_bar;
};

void tst_ScheduleWidget::cleanup()
{
    m_bar.reset();
}

ScheduleWidget *tst_ScheduleWidget::make(int width)
{
    m_bar = std::make_unique<ScheduleWidget>();
    m_bar->setFixedSize(width, 24);
    m_bar->show();
    if (!QTest::qWaitForWindowExposed(m_bar.get()))
        qWarning("the bar is not exposed");
    return m_bar.get();
}

void tst_ScheduleWidget::sendMouse(QEvent::Type type, Qt::MouseButton button, int x)
{
    const QPointF local(x, 12);
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, local, m_bar->mapToGlobal(local), type == QEvent::MouseMove ? Qt::NoButton : button,
        buttons, Qt::NoModifier);
    QApplication::sendEvent(m_bar.get(), &event);
}

void tst_ScheduleWidget::setPeriod_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<int>("fromQuarter");
    QTest::addColumn<int>("toQuarter");

    QTest::newRow("office hours") << "08:00"
                                  << "17:00" << 32 << 68;
    QTest::newRow("truncated to the quarter") << "09:40"
                                              << "12:15" << 38 << 49;
    QTest::newRow("whole day") << "00:00"
                               << "24:00" << 0 << 96;
    QTest::newRow("one-digit hour") << "7:30"
                                    << "9:00" << 30 << 36;
}

void tst_ScheduleWidget::setPeriod()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(int, fromQuarter);
    QFETCH(int, toQuarter);

    ScheduleWidget bar;
    QSignalSpy changed(&bar, &ScheduleWidget::changed);
    bar.setPeriod(from, to, false);
    QCOMPARE(bar.from, fromQuarter);
    QCOMPARE(bar.to, toQuarter);
    QCOMPARE(bar.on, false);
    QCOMPARE(changed.count(), 0);
}

void tst_ScheduleWidget::painting_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("on");
    // The grid lines' x and whether each is an hour line.
    QTest::addColumn<QList<int>>("lines");
    QTest::addColumn<QList<bool>>("hourLines");

    for (int width : { 400, 200, 96 }) {
        QList<int> lines;
        QList<bool> hours;
        if (width > 384) {
            for (int k = 1; k < 96; ++k) {
                lines.append(k * width / 96);
                hours.append(k % 4 == 0);
            }
        } else if (width > 96) {
            for (int k = 1; k < 24; ++k) {
                lines.append(k * width / 24);
                hours.append(true);
            }
        }
        for (bool on : { true, false }) {
            QTest::addRow("width %d, %s", width, on ? "on" : "off") << width << on << lines << hours;
        }
    }
}

void tst_ScheduleWidget::painting()
{
    QFETCH(int, width);
    QFETCH(bool, on);
    QFETCH(QList<int>, lines);
    QFETCH(QList<bool>, hourLines);

    make(width);
    m_bar->setPeriod(QStringLiteral("08:00"), QStringLiteral("17:00"), on);
    const QImage image = m_bar->grab().toImage();
    QCOMPARE(image.width(), width);
    const int y = 12;
    const QColor light(0xf8, 0xf8, 0xf8);
    const QColor lineGrey(0xcc, 0xcc, 0xcc);
    const QColor hourGrey(0x88, 0x88, 0x88);

    // The period runs from round(32 × W / 96) to round(68 × W / 96) - 1, half rounded up.
    const int first = int(std::floor(32.0 * width / 96 + 0.5));
    const int last = int(std::floor(68.0 * width / 96 + 0.5)) - 1;
    for (int x = 1; x < width - 1; ++x) {
        const qsizetype line = lines.indexOf(x);
        const QColor pixel = image.pixelColor(x, y);
        if (line >= 0) {
            QCOMPARE(pixel, hourLines.at(line) ? hourGrey : lineGrey);
            continue;
        }
        const bool marked = (x >= first && x <= last) == on;
        if (marked)
            QVERIFY2(pixel.blue() > pixel.red() + 40, qPrintable(QStringLiteral("x %1").arg(x)));
        else
            QVERIFY2(pixel == light, qPrintable(QStringLiteral("x %1").arg(x)));
    }
    // The frame.
    QCOMPARE(image.pixelColor(0, y), lineGrey);
    QCOMPARE(image.pixelColor(width - 1, y), lineGrey);
    QCOMPARE(image.pixelColor(width / 2 + 1, 0), lines.contains(width / 2 + 1) ? hourGrey : lineGrey);
    QCOMPARE(image.pixelColor(width / 2 + 1, 23), lines.contains(width / 2 + 1) ? hourGrey : lineGrey);
}

void tst_ScheduleWidget::drag_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<int>("press");
    QTest::addColumn<int>("move");
    QTest::addColumn<bool>("on");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");

    // Width 192: two pixels a quarter.
    QTest::newRow("left, right edge to 0") << Qt::LeftButton << 191 << 0 << true << 0 << 95;
    QTest::newRow("right, right edge to 0") << Qt::RightButton << 191 << 0 << false << 0 << 95;
    QTest::newRow("past the right edge") << Qt::LeftButton << 10 << 400 << true << 5 << 96;
    QTest::newRow("past the left edge") << Qt::RightButton << 100 << -30 << false << 0 << 50;
    QTest::newRow("within a cell") << Qt::LeftButton << 64 << 65 << true << 32 << 32;
}

void tst_ScheduleWidget::drag()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(int, press);
    QFETCH(int, move);
    QFETCH(bool, on);
    QFETCH(int, from);
    QFETCH(int, to);

    make(192);
    m_bar->on = !on;
    QSignalSpy changed(m_bar.get(), &ScheduleWidget::changed);
    sendMouse(QEvent::MouseButtonPress, button, press);
    sendMouse(QEvent::MouseMove, button, (press + move) / 2);
    sendMouse(QEvent::MouseMove, button, move);
    sendMouse(QEvent::MouseButtonRelease, button, move);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(m_bar->on, on);
    QCOMPARE(m_bar->from, from);
    QCOMPARE(m_bar->to, to);

    // After the release, moves mark nothing.
    sendMouse(QEvent::MouseMove, Qt::NoButton, 0);
    QCOMPARE(changed.count(), 2);
}

void tst_ScheduleWidget::pressWithoutMoveChangesNothing_data()
{
    QTest::addColumn<Qt::MouseButton>("button");

    QTest::newRow("left on an off day") << Qt::LeftButton;
    QTest::newRow("right on an on day") << Qt::RightButton;
}

void tst_ScheduleWidget::pressWithoutMoveChangesNothing()
{
    QFETCH(Qt::MouseButton, button);

    make(192);
    m_bar->setPeriod(QStringLiteral("08:00"), QStringLiteral("17:00"), button == Qt::RightButton);
    QSignalSpy changed(m_bar.get(), &ScheduleWidget::changed);
    sendMouse(QEvent::MouseButtonPress, button, 20);
    sendMouse(QEvent::MouseButtonRelease, button, 20);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(m_bar->on, button == Qt::RightButton);
    QCOMPARE(m_bar->from, 32);
    QCOMPARE(m_bar->to, 68);
}

void tst_ScheduleWidget::otherButtonsIgnored()
{
    make(192);
    QSignalSpy changed(m_bar.get(), &ScheduleWidget::changed);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 12), m_bar->mapToGlobal(QPointF(10, 12)), Qt::MiddleButton,
        Qt::MiddleButton, Qt::NoModifier);
    QApplication::sendEvent(m_bar.get(), &press);
    QVERIFY(!press.isAccepted());
    sendMouse(QEvent::MouseMove, Qt::NoButton, 100);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(m_bar->from, 0);
    QCOMPARE(m_bar->to, 96);
}

QTEST_MAIN(tst_ScheduleWidget)
#include "tst_schedulewidget.moc"
