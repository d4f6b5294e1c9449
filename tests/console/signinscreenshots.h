#ifndef VELMOR_TESTS_SIGNINSCREENSHOTS_H
#define VELMOR_TESTS_SIGNINSCREENSHOTS_H

#include <QStringList>

// Pictures of what a parent sees when the account does not take something: the window after a sign-in with a wrong
// password that the service refused (filtering goes on), and the filter editor's box for an addition made while the
// account service could not be reached. Those taken at one scale.
QStringList refusalPictures(int scale);
// Saves those of this process's scale into folder; returns how many were saved.
int saveRefusalPictures(const QString &folder);

#endif // VELMOR_TESTS_SIGNINSCREENSHOTS_H
