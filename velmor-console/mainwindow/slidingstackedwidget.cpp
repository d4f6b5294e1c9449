#include "slidingstackedwidget.h"

#include <QParallelAnimationGroup>
#include <QPropertyAnimation>

SlidingStackedWidget::SlidingStackedWidget(QWidget *parent)
    : QStackedWidget(parent)
    , m_vertical(false)
    , m_speed(500)
    , m_animationType(QEasingCurve::OutBack)
    , m_wrap(false)
    , m_active(false)
    , m_now(0)
    , m_next(0)
{
    if (!parent)
        qDebug("ATTENTION: untested mainwindow case !");
}

SlidingStackedWidget::~SlidingStackedWidget() = default;

void SlidingStackedWidget::setSpeed(int speed)
{
    m_speed = speed;
}

void SlidingStackedWidget::setAnimation(QEasingCurve::Type animationtype)
{
    m_animationType = animationtype;
}

void SlidingStackedWidget::setVerticalMode(bool vertical)
{
    m_vertical = vertical;
}

void SlidingStackedWidget::setVerticalMode()
{
    setVerticalMode(true);
}

void SlidingStackedWidget::setWrap(bool wrap)
{
    m_wrap = wrap;
}

void SlidingStackedWidget::slideInNext()
{
    const int now = currentIndex();
    if (m_wrap || now < count() - 1)
        slideInIdx(now + 1, SlideAuto);
}

void SlidingStackedWidget::slideInPrev()
{
    const int now = currentIndex();
    if (m_wrap || now > 0)
        slideInIdx(now - 1, SlideAuto);
}

void SlidingStackedWidget::slideInIdx(int idx, t_direction direction)
{
    const int pages = count();
    if (pages == 0)
        return;
    if (idx >= pages) {
        idx %= pages;
        direction = m_vertical ? SlideDown : SlideLeft;
    } else if (idx < 0) {
        idx = ((idx % pages) + pages) % pages;
        direction = m_vertical ? SlideUp : SlideRight;
    }
    slideToWidget(widget(idx), direction);
}

void SlidingStackedWidget::slideInIdx(int idx)
{
    slideInIdx(idx, SlideAuto);
}

void SlidingStackedWidget::slideInWidget(QWidget *w, t_direction direction)
{
    const int idx = indexOf(w);
    if (idx >= 0)
        slideInIdx(idx, direction);
}

void SlidingStackedWidget::slideInWidget(QWidget *w)
{
    slideInWidget(w, SlideAuto);
}

void SlidingStackedWidget::slideToWidget(QWidget *target, t_direction direction)
{
    if (m_active || !target)
        return;
    m_active = true;
    const int now = currentIndex();
    const int next = indexOf(target);
    if (now == next) {
        m_active = false;
        return;
    }

    const t_direction automatic
        = now < next ? (m_vertical ? SlideDown : SlideLeft) : (m_vertical ? SlideUp : SlideRight);
    if (direction == SlideAuto)
        direction = automatic;

    const int w = frameRect().width();
    const int h = frameRect().height();
    target->setGeometry(0, 0, w, h);
    QPoint offset;
    switch (direction) {
    case SlideRight:
        offset = QPoint(w, 0);
        break;
    case SlideLeft:
        offset = QPoint(-w, 0);
        break;
    case SlideDown:
        offset = QPoint(0, h);
        break;
    case SlideUp:
    default:
        offset = QPoint(0, -h);
        break;
    }

    QWidget *current = widget(now);
    const QPoint pnext = target->pos();
    const QPoint pnow = current->pos();
    m_nowPosition = pnow;
    target->move(pnext - offset);
    target->show();
    target->raise();

    // The group is the stack's child and deletes itself when it stops, so a stack that goes mid-slide takes it
    // along and a finished slide leaves nothing behind.
    auto group = new QParallelAnimationGroup(this);
    auto leaving = new QPropertyAnimation(current, "pos", group);
    leaving->setDuration(m_speed);
    leaving->setEasingCurve(QEasingCurve(m_animationType));
    leaving->setStartValue(pnow);
    leaving->setEndValue(pnow + offset);
    auto entering = new QPropertyAnimation(target, "pos", group);
    entering->setDuration(m_speed);
    entering->setEasingCurve(QEasingCurve(m_animationType));
    entering->setStartValue(pnext - offset);
    entering->setEndValue(pnext);
    group->addAnimation(leaving);
    group->addAnimation(entering);
    connect(group, &QParallelAnimationGroup::finished, this, &SlidingStackedWidget::animationDoneSlot);
    m_now = now;
    m_next = next;
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void SlidingStackedWidget::animationDoneSlot()
{
    setCurrentIndex(m_next);
    if (QWidget *old = widget(m_now)) {
        old->hide();
        old->move(m_nowPosition);
    }
    m_active = false;
    Q_EMIT animationFinished();
}
