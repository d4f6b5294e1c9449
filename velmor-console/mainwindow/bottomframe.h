#ifndef VELMOR_CONSOLE_BOTTOMFRAME_H
#define VELMOR_CONSOLE_BOTTOMFRAME_H

#include <QFrame>

// The button bar at the foot of the main window's pages. It has no behaviour: the application style sheet
// draws the bars by this class name.
class BottomFrame : public QFrame
{
    Q_OBJECT

public:
    explicit BottomFrame(QWidget *parent = nullptr);
    ~BottomFrame() override;

private:
    Q_DISABLE_COPY(BottomFrame)
};

#endif // VELMOR_CONSOLE_BOTTOMFRAME_H
