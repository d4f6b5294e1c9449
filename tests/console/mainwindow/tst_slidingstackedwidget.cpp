#include "mainwindow/slidingstackedwidget.h"

#include <QAbstractAnimation>
#include <QApplication>
#include <QParallelAnimationGroup>
#include <QPointer>
#include <QPropertyAnimation>
#include <QSignalSpy>
#include <QTest>

// The main window's page stack: pages slide in and out together, a request during a slide is dropped, and a
// slide leaves nothing behind.
class tst_SlidingStackedWidget : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void defaults();
    void directions_data();
    void directions();
    void requestDuringSlideIsDropped();
    void sameIndexDoesNothing();
    void oldPageRestored();
    void wrap_data();
    void wrap();
    void newSpeedWaitsForNextSlide();
    void thousandSlidesLeaveNothing();
    void deletedMidSlide();

private:
    static constexpr int width = 300;
    static constexpr int height = 200;

    QWidget *m_window = nullptr;
    SlidingStackedWidget *m_stack = nullptr;
};

void tst_SlidingStackedWidget::init()
{
    m_window = new QWidget;
    m_stack = new SlidingStackedWidget(m_window);
    m_stack->setObjectName(QStringLiteral("stackedWidget"));
    m_stack->setFrameShape(QFrame::NoFrame);
    for (int i = 0; i < 5; ++i) {
        auto page = new QWidget;
        page->setObjectName(QStringLiteral("page%1").arg(i));
        m_stack->addWidget(page);
    }
    m_stack->setGeometry(0, 0, width, height);
    m_window->resize(width, height);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void tst_SlidingStackedWidget::cleanup()
{
    delete m_window;
    m_window = nullptr;
    m_stack = nullptr;
}

void tst_SlidingStackedWidget::defaults()
{
    QTest::ignoreMessage(QtDebugMsg, "ATTENTION: untested mainwindow case !");
    SlidingStackedWidget orphan(nullptr);
    QCOMPARE(orphan.count(), 0);
    QCOMPARE(m_stack->currentIndex(), 0);
    QVERIFY(!m_stack->isSliding());
    QCOMPARE(int(SlidingStackedWidget::SlideRight), 0);
    QCOMPARE(int(SlidingStackedWidget::SlideAuto), 4);
}

void tst_SlidingStackedWidget::directions_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<int>("asked");
    QTest::addColumn<int>("landed");
    QTest::addColumn<QPoint>("enteringAt"); // where the new page starts: off the frame on its side

    const int automatic = SlidingStackedWidget::SlideAuto;
    QTest::newRow("forwards: left") << 2 << 4 << false << automatic << 4 << QPoint(width, 0);
    QTest::newRow("backwards: right") << 4 << 2 << false << automatic << 2 << QPoint(-width, 0);
    QTest::newRow("vertical forwards: down") << 1 << 3 << true << automatic << 3 << QPoint(0, -height);
    QTest::newRow("vertical backwards: up") << 3 << 1 << true << automatic << 1 << QPoint(0, height);
    QTest::newRow("asked direction against the order")
        << 1 << 3 << false << int(SlidingStackedWidget::SlideRight) << 3 << QPoint(-width, 0);
    QTest::newRow("past the end: first page, forced left")
        << 2 << 5 << false << int(SlidingStackedWidget::SlideRight) << 0 << QPoint(width, 0);
    QTest::newRow("below zero: last page, forced right")
        << 2 << -1 << false << int(SlidingStackedWidget::SlideLeft) << 4 << QPoint(-width, 0);
    QTest::newRow("vertical past the end: forced down")
        << 2 << 6 << true << int(SlidingStackedWidget::SlideUp) << 1 << QPoint(0, -height);
    QTest::newRow("vertical below zero: forced up")
        << 2 << -2 << true << int(SlidingStackedWidget::SlideDown) << 3 << QPoint(0, height);
}

void tst_SlidingStackedWidget::directions()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(bool, vertical);
    QFETCH(int, asked);
    QFETCH(int, landed);
    QFETCH(QPoint, enteringAt);
    m_stack->setCurrentIndex(from);
    m_stack->setVerticalMode(vertical);
    m_stack->setSpeed(60000);
    QSignalSpy finished(m_stack, &SlidingStackedWidget::animationFinished);
    m_stack->slideInIdx(to, SlidingStackedWidget::t_direction(asked));
    QVERIFY(m_stack->isSliding());
    QCOMPARE(m_stack->currentIndex(), from);
    QWidget *entering = m_stack->widget(landed);
    QCOMPARE(entering->pos(), enteringAt);
    QVERIFY(entering->isVisible());

    // The same slide, fast: both pages arrive and the new page is current.
    cleanup();
    init();
    m_stack->setCurrentIndex(from);
    m_stack->setVerticalMode(vertical);
    m_stack->setSpeed(20);
    QSignalSpy done(m_stack, &SlidingStackedWidget::animationFinished);
    m_stack->slideInIdx(to, SlidingStackedWidget::t_direction(asked));
    QTRY_COMPARE(done.size(), 1);
    QCOMPARE(m_stack->currentIndex(), landed);
    QCOMPARE(m_stack->widget(landed)->pos(), QPoint(0, 0));
    QVERIFY(!m_stack->widget(from)->isVisible());
}

void tst_SlidingStackedWidget::requestDuringSlideIsDropped()
{
    m_stack->setSpeed(50);
    QSignalSpy finished(m_stack, &SlidingStackedWidget::animationFinished);
    m_stack->slideInIdx(2);
    m_stack->slideInIdx(3);
    m_stack->slideInWidget(m_stack->widget(4));
    m_stack->slideInNext();
    QCOMPARE(m_stack->currentIndex(), 0);
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(m_stack->currentIndex(), 2);
    // Nothing was queued: a kept request would have started as the slide ended.
    QVERIFY(!m_stack->isSliding());
}

void tst_SlidingStackedWidget::sameIndexDoesNothing()
{
    QSignalSpy finished(m_stack, &SlidingStackedWidget::animationFinished);
    m_stack->slideInIdx(0);
    QVERIFY(!m_stack->isSliding());
    m_stack->setSpeed(0);
    m_stack->slideInIdx(1);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(m_stack->currentIndex(), 1);
}

void tst_SlidingStackedWidget::oldPageRestored()
{
    m_stack->setSpeed(20);
    QWidget *first = m_stack->widget(0);
    const QPoint home = first->pos();
    QSignalSpy finished(m_stack, &SlidingStackedWidget::animationFinished);
    m_stack->slideInIdx(1);
    QTRY_COMPARE(finished.size(), 1);
    QVERIFY(first->isHidden());
    QCOMPARE(first->pos(), home);
    // Back again: the first page starts off the frame on the left and ends where it was.
    m_stack->setSpeed(60000);
    m_stack->slideInIdx(0);
    QCOMPARE(first->pos(), home - QPoint(width, 0));
    QCOMPARE(m_stack->widget(1)->pos(), QPoint(0, 0));
}

void tst_SlidingStackedWidget::wrap_data()
{
    QTest::addColumn<bool>("wrap");
    QTest::addColumn<int>("from");
    QTest::addColumn<bool>("next");
    QTest::addColumn<int>("landed");
    QTest::addColumn<QPoint>("enteringAt");
    QTest::newRow("wrap, next on the last page") << true << 4 << true << 0 << QPoint(width, 0);
    QTest::newRow("wrap, previous on the first page") << true << 0 << false << 4 << QPoint(-width, 0);
    QTest::newRow("no wrap, next on the last page") << false << 4 << true << 4 << QPoint();
    QTest::newRow("no wrap, previous on the first page") << false << 0 << false << 0 << QPoint();
    QTest::newRow("no wrap, next in the middle") << false << 2 << true << 3 << QPoint(width, 0);
}

void tst_SlidingStackedWidget::wrap()
{
    QFETCH(bool, wrap);
    QFETCH(int, from);
    QFETCH(bool, next);
    QFETCH(int, landed);
    QFETCH(QPoint, enteringAt);
    m_stack->setCurrentIndex(from);
    m_stack->setWrap(wrap);
    m_stack->setSpeed(60000);
    if (next)
        m_stack->slideInNext();
    else
        m_stack->slideInPrev();
    QCOMPARE(m_stack->isSliding(), landed != from);
    if (landed != from)
        QCOMPARE(m_stack->widget(landed)->pos(), enteringAt);
}

void tst_SlidingStackedWidget::newSpeedWaitsForNextSlide()
{
    m_stack->setSpeed(60000);
    QSignalSpy finished(m_stack, &SlidingStackedWidget::animationFinished);
    m_stack->slideInIdx(1);
    m_stack->setSpeed(0);
    m_stack->setAnimation(QEasingCurve::Linear);
    QCoreApplication::processEvents();
    QVERIFY(m_stack->isSliding());
    QCOMPARE(finished.size(), 0);
    const auto running = m_stack->findChildren<QPropertyAnimation *>();
    QCOMPARE(running.size(), 2);
    for (QPropertyAnimation *animation : running) {
        QCOMPARE(animation->duration(), 60000);
        QCOMPARE(animation->easingCurve().type(), QEasingCurve::OutBack);
    }
}

void tst_SlidingStackedWidget::thousandSlidesLeaveNothing()
{
    m_stack->setSpeed(0);
    QSignalSpy finished(m_stack, &SlidingStackedWidget::animationFinished);
    for (int i = 1; i <= 1000; ++i)
        m_stack->slideInIdx(i % m_stack->count());
    QCOMPARE(finished.size(), 1000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(m_stack->findChildren<QAbstractAnimation *>().size(), 0);
    QCOMPARE(m_stack->currentIndex(), 1000 % m_stack->count());
}

void tst_SlidingStackedWidget::deletedMidSlide()
{
    m_stack->setSpeed(60000);
    m_stack->slideInIdx(3);
    QVERIFY(m_stack->isSliding());
    QPointer<QAbstractAnimation> group = m_stack->findChild<QParallelAnimationGroup *>();
    QVERIFY(group);
    delete m_window;
    m_window = nullptr;
    m_stack = nullptr;
    QVERIFY(group.isNull());
}

QTEST_MAIN(tst_SlidingStackedWidget)
#include "tst_slidingstackedwidget.moc"
