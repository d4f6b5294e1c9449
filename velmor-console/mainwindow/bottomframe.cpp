#include "bottomframe.h"

BottomFrame::BottomFrame(QWidget *parent)
    : QFrame(parent)
{ }

BottomFrame::~BottomFrame() = default;
