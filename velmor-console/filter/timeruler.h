#ifndef VELMOR_CONSOLE_TIMERULER_H
#define VELMOR_CONSOLE_TIMERULER_H

#include <QWidget>

// The hour scale over the day bars: a tick at every hour, and as many hour numbers as the width has room for.
class TimeRuler : public QWidget
{
    Q_OBJECT

public:
    explicit TimeRuler(QWidget *parent = nullptr);

    QSize sizeHint() const override;

    // Every how many hours a number is drawn on a ruler of this width, where room is the width all 23 numbers
    // need: 1 with the room, one hour more for each halving of it.
    static int labelSpacing(int width, int room);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Q_DISABLE_COPY(TimeRuler)
};

#endif // VELMOR_CONSOLE_TIMERULER_H
