#include "timeruler.h"

#include <QPainter>

TimeRuler::TimeRuler(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
}

QSize TimeRuler::sizeHint() const
{
    return QSize(24, fontMetrics().height() + 5);
}

int TimeRuler::labelSpacing(int width, int room)
{
    int spacing = 1;
    while (room > width) {
        room /= 2;
        ++spacing;
    }
    return spacing;
}

void TimeRuler::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    const int w = width();
    const int h = height();
    const QFontMetrics metrics = fontMetrics();
    const int spacing = labelSpacing(w, 20 * metrics.horizontalAdvance(QStringLiteral("888")));
    const QColor number(0x44, 0x44, 0x44);
    const QColor tick(0x88, 0x88, 0x88);

    QPainter painter(this);
    for (int hour = 1; hour <= 24; ++hour) {
        const int x = w * hour / 24;
        if (hour < 24 && hour % spacing == 0) {
            const QString text = QString::number(hour);
            painter.setPen(number);
            painter.drawText(x - metrics.horizontalAdvance(text) / 2, h - 5, text);
        }
        painter.setPen(tick);
        painter.drawLine(x, h - 4, x, h - 1);
    }
}
