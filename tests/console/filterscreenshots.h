#ifndef VELMOR_TESTS_FILTERSCREENSHOTS_H
#define VELMOR_TESTS_FILTERSCREENSHOTS_H

#include <QStringList>

// The filter settings editor's pictures, each at scale 1 and 2 (taken by the process at that scale): its four pages for
// the fixture account, the profiles editor, the alias dialog, the error box and the time-zone box.
QStringList filterPictures();
// Those taken at one scale.
QStringList filterPictures(int scale);
// Saves those of this process's scale into folder; returns how many were saved.
int saveFilterPictures(const QString &folder);

#endif // VELMOR_TESTS_FILTERSCREENSHOTS_H
