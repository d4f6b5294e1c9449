#ifndef VELMOR_TESTRESULT_H
#define VELMOR_TESTRESULT_H

#include <QString>

// The outcome and log of one diagnostic check, owned by whoever runs the check and written once, when the
// check's test has returned.
struct TestResult
{
    bool result = false;
    QString text;
};

#endif // VELMOR_TESTRESULT_H
