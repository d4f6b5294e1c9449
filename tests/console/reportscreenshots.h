#ifndef VELMOR_TESTS_REPORTSCREENSHOTS_H
#define VELMOR_TESTS_REPORTSCREENSHOTS_H

#include <QStringList>

// The pictures of the update and the report, each at scale 1 and 2: the update dialog offering a version with
// notes, the same with its details open, the report's wait box and the report dialog.
QStringList reportPictures();
// Saves them into folder, against the vendor's test site and a fake service; returns how many were saved.
int saveReportPictures(const QString &folder);

#endif // VELMOR_TESTS_REPORTSCREENSHOTS_H
