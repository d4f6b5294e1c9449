#ifndef VELMOR_BASETEST_H
#define VELMOR_BASETEST_H

#include "testresult.h"
#include "velmorwire_global.h"

#include <QRunnable>
#include <QString>

#include <functional>

// One diagnostic check, run by a thread pool that deletes it afterwards. The test appends its lines to log and
// answers pass or fail; only when it has returned are both copied into the record, so the owner may read the
// record once it knows the check is done.
class VELMORWIRE_EXPORT base_test : public QRunnable
{
public:
    explicit base_test(TestResult *record);
    ~base_test() override;

    void run() override;

    // Called on the check's thread right after the record is written: how an owner that must not block learns
    // that this check is done.
    void setFinishedHandler(std::function<void()> handler);

protected:
    virtual bool test() = 0;

    TestResult *record;
    bool outcome;
    QString log;

private:
    Q_DISABLE_COPY(base_test)

    std::function<void()> m_finished;
};

#endif // VELMOR_BASETEST_H
