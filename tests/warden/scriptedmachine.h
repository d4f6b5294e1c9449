#ifndef VELMOR_TESTS_SCRIPTEDMACHINE_H
#define VELMOR_TESTS_SCRIPTEDMACHINE_H

#include <QString>

namespace WardenTest {

// Makes root the simulated machine of an in-process server, for the programs that are no test suite (benchmarks,
// fuzz targets): VELMOR_ROOT and a free VELMOR_IPC_PORT, the service's settings store, one protected adapter
// whose own DNS server is 10.0.0.1, the local proxy on a free port of 127.0.0.1, the resolver on 127.0.0.2, the
// block page on any free port and no reachable account service. Returns the adapter's id.
QString prepareScriptedMachine(const QString &root, bool settingsProtected);

} // namespace WardenTest

#endif // VELMOR_TESTS_SCRIPTEDMACHINE_H
