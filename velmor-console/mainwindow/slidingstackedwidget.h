#ifndef VELMOR_CONSOLE_SLIDINGSTACKEDWIDGET_H
#define VELMOR_CONSOLE_SLIDINGSTACKEDWIDGET_H

#include <QEasingCurve>
#include <QPoint>
#include <QStackedWidget>

// A page stack that slides the old page out and the new one in, both at once. A slide asked for while one runs
// is dropped, not queued; during a slide currentIndex() still names the page being left.
class SlidingStackedWidget : public QStackedWidget
{
    Q_OBJECT

public:
    // The way both pages move; SlideAuto takes the one the index order gives.
    enum t_direction {
        SlideRight = 0,
        SlideLeft = 1,
        SlideDown = 2,
        SlideUp = 3,
        SlideAuto = 4,
    };
    Q_ENUM(t_direction)

    explicit SlidingStackedWidget(QWidget *parent);
    ~SlidingStackedWidget() override;

    bool isSliding() const { return m_active; }

public Q_SLOTS:
    // The setters take effect from the next slide on.
    void setSpeed(int speed);
    void setAnimation(QEasingCurve::Type animationtype);
    void setVerticalMode(bool vertical);
    void setVerticalMode();
    void setWrap(bool wrap);

    void slideInNext();
    void slideInPrev();
    // An index past either end wraps round, and the direction then follows the way it wrapped.
    void slideInIdx(int idx, t_direction direction);
    void slideInIdx(int idx);
    void slideInWidget(QWidget *w, t_direction direction);
    void slideInWidget(QWidget *w);

Q_SIGNALS:
    // Once at the end of every slide that ran, after the new page became current.
    void animationFinished();

protected Q_SLOTS:
    void animationDoneSlot();

protected:
    void slideToWidget(QWidget *target, t_direction direction);

private:
    Q_DISABLE_COPY(SlidingStackedWidget)

    bool m_vertical;
    int m_speed;
    QEasingCurve::Type m_animationType;
    bool m_wrap;
    bool m_active;
    int m_now;
    int m_next;
    QPoint m_nowPosition;
};

#endif // VELMOR_CONSOLE_SLIDINGSTACKEDWIDGET_H
