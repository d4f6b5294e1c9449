#ifndef VELMOR_TESTS_WIDGETPICTURES_H
#define VELMOR_TESTS_WIDGETPICTURES_H

#include <QString>

class QWidget;

// The widget as drawn at both scales, once its pending events are through: logical pixels, drawn once more at twice
// the density, saved as <name>@1x.png and <name>@2x.png in folder. Returns how many were saved.
int saveAtBothScales(QWidget *widget, const QString &folder, const QString &name);
// The widget as this process shows it, at the process's own scale (QT_SCALE_FACTOR), so icons and pictures are drawn
// for that density: saved as <name>@<scale>x.png in folder. Returns how many were saved.
int saveAtOwnScale(QWidget *widget, const QString &folder, const QString &name);

#endif // VELMOR_TESTS_WIDGETPICTURES_H
