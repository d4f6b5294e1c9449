#include "schedulewidget.h"

#include "scheduletime.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>

namespace {

const QColor light(0xf8, 0xf8, 0xf8);
const QColor blue(0x44, 0x44, 0xff);
const QColor lineGrey(0xcc, 0xcc, 0xcc);
const QColor hourGrey(0x88, 0x88, 0x88);

// x of a quarter boundary, rounded half up.
int boundaryX(int quarter, int width)
{
    return (2 * quarter * width + ScheduleTime::QuartersPerDay) / (2 * ScheduleTime::QuartersPerDay);
}

} // namespace

ScheduleWidget::ScheduleWidget(QWidget *parent)
    : QWidget(parent)
    , on(true)
    , from(0)
    , to(ScheduleTime::QuartersPerDay)
    , m_dragging(false)
    , m_pressOn(true)
    , m_pressPosition(0, 0)
{
    setMinimumWidth(ScheduleTime::QuartersPerDay);
}

void ScheduleWidget::setPeriod(const QString &from, const QString &to, bool on)
{
    this->on = on;
    this->from = ScheduleTime::quarterOf(from);
    this->to = ScheduleTime::quarterOf(to);
}

void ScheduleWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) {
        event->ignore();
        return;
    }
    event->accept();
    m_pressOn = event->button() == Qt::LeftButton;
    grabMouse();
    m_dragging = true;
    m_pressPosition = event->position().toPoint();
}

void ScheduleWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging)
        return;
    event->accept();
    const int w = width();
    if (w <= 0)
        return;
    const int x = event->position().toPoint().x();
    const int p = m_pressPosition.x();
    const int lo = qMax(0, qMin(p, x));
    const int hi = qMin(w, qMax(p, x));
    on = m_pressOn;
    from = lo * ScheduleTime::QuartersPerDay / w;
    to = qMax(0, hi) * ScheduleTime::QuartersPerDay / w;
    update();
    Q_EMIT changed();
}

void ScheduleWidget::mouseReleaseEvent(QMouseEvent *event)
{
    Q_UNUSED(event)
    m_dragging = false;
    releaseMouse();
}

void ScheduleWidget::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    const int w = width();
    const int h = height();
    QPainter painter(this);

    QLinearGradient gradient(0, -0.3 * h, 0, h);
    gradient.setColorAt(0, light);
    gradient.setColorAt(1, blue);
    const int left = boundaryX(from, w);
    const int right = boundaryX(to, w) - 1;
    const QRect period(left, 0, qMax(0, right - left + 1), h);
    painter.fillRect(rect(), on ? QBrush(light) : QBrush(gradient));
    if (!period.isEmpty())
        painter.fillRect(period, on ? QBrush(gradient) : QBrush(light));

    painter.setPen(lineGrey);
    painter.drawRect(0, 0, w - 1, h - 1);

    if (w > 4 * ScheduleTime::QuartersPerDay) {
        for (int k = 1; k < ScheduleTime::QuartersPerDay; ++k) {
            const int x = k * w / ScheduleTime::QuartersPerDay;
            painter.setPen(k % 4 == 0 ? hourGrey : lineGrey);
            painter.drawLine(x, 0, x, h - 1);
        }
    } else if (w > ScheduleTime::QuartersPerDay) {
        painter.setPen(hourGrey);
        for (int k = 1; k < 24; ++k) {
            const int x = k * w / 24;
            painter.drawLine(x, 0, x, h - 1);
        }
    }
}
