#ifndef VELMOR_TESTS_CABINETTEST_H
#define VELMOR_TESTS_CABINETTEST_H

#include "accountservice.h"

#include "cabinet/legacyhttpcabinet.h"

#include "scratchroot.h"

#include <QVariant>

#include <memory>

namespace CabinetTest {

// A machine root of its own for one test function: VELMOR_ROOT, the service's settings store pointing at the
// fake account service, and the fake's authority among the machine's trusted roots.
class Machine
{
public:
    explicit Machine(const AccountService &service);
    Q_DISABLE_COPY(Machine)

    bool isValid() const { return m_root.isValid(); }
    QString path(const QString &relative = QString()) const;

    void setSetting(const QString &key, const QVariant &value);
    QVariant setting(const QString &key) const;
    // The account's credentials as the account client stores them, read by the next cabinet made.
    void storeCredentials(const QString &user, const QString &password);

private:
    TestSupport::ScratchRoot m_root;
};

// The request manager's deadlines run on a clock the test moves; expireRequests() runs the deadline check.
void useFakeClock();
void advanceClock(qint64 milliseconds);
void expireRequests();

// Nothing of the cabinet is queued, in flight or waiting to be released.
bool isIdle(const Velmor::Cabinet *cabinet);
// Waits until the cabinet is idle; false after the timeout.
bool waitIdle(const Velmor::Cabinet *cabinet, int timeout = 15000);

// The JSON-RPC methods of a POST body, in order.
QStringList methodsOf(const QString &body);

// A cabinet whose protected members a test may drive directly.
class TestCabinet : public Velmor::LegacyHttpCabinet
{
public:
    using Velmor::Cabinet::clear;
    using Velmor::Cabinet::profileData;
    using Velmor::Cabinet::setError;
    using Velmor::Cabinet::setState;
};

// A cabinet of the account whose credentials it stores first, once it has fetched everything; null when it does
// not get there.
std::unique_ptr<TestCabinet> syncedCabinet(Machine &machine, const QString &user, const QString &password);

} // namespace CabinetTest

#endif // VELMOR_TESTS_CABINETTEST_H
