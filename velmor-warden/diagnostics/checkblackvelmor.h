#ifndef VELMOR_DIAGNOSTICS_CHECKBLACKVELMOR_H
#define VELMOR_DIAGNOSTICS_CHECKBLACKVELMOR_H

#include "blackanswer.h"

#include "velmorwire/basetest.h"

// Asks the filtering resolver, by the path the computer's own queries take, what it knows of this computer. The
// answer is only read here; the report compares it with the service's state.
class CheckBlackVelmor : public base_test
{
public:
    explicit CheckBlackVelmor(BlackTestResult *record);

    // How long the check waits for the answer, 30 s; shortened by the tests of a silent resolver.
    static int answerLimit();
    static void setAnswerLimit(int msec);

protected:
    bool test() override;

private:
    BlackTestResult *blackRecord;
};

#endif // VELMOR_DIAGNOSTICS_CHECKBLACKVELMOR_H
