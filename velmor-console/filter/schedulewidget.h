#ifndef VELMOR_CONSOLE_SCHEDULEWIDGET_H
#define VELMOR_CONSOLE_SCHEDULEWIDGET_H

#include <QPoint>
#include <QWidget>

// The bar of one day: 96 quarter-hour cells and one marked period. A left drag marks the time the profile is
// on, a right drag the time it is off. The owner reads and writes on, from and to directly (writing emits
// nothing; call update() after it) and hears of the user's marks through changed().
class ScheduleWidget : public QWidget
{
    Q_OBJECT

public:
    explicit ScheduleWidget(QWidget *parent = nullptr);

    // Times as "hh:mm"; neither repaints nor emits.
    void setPeriod(const QString &from, const QString &to, bool on);

    // The period is the profile's on-time when set, its off-time when clear.
    bool on;
    // First quarter of the period and the quarter where it ends, not included.
    int from;
    int to;

Q_SIGNALS:
    void changed();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    Q_DISABLE_COPY(ScheduleWidget)

    bool m_dragging;
    // The flag the pressed button stands for; it takes effect with the first move, so a bare click marks nothing.
    bool m_pressOn;
    QPoint m_pressPosition;
};

#endif // VELMOR_CONSOLE_SCHEDULEWIDGET_H
