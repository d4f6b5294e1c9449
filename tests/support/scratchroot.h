#ifndef VELMOR_TESTS_SCRATCHROOT_H
#define VELMOR_TESTS_SCRATCHROOT_H

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// What the suites of every folder share to set up a simulated machine.
namespace TestSupport {

// tests/fixtures/<relative> in the source tree.
QString fixture(const QString &relative);

// A fresh machine root for one test: VELMOR_ROOT names it while it lives and names again what it named before once
// it goes, so roots nest and a suite's own root survives a test's.
class ScratchRoot
{
public:
    ScratchRoot();
    ~ScratchRoot();
    Q_DISABLE_COPY(ScratchRoot)

    bool isValid() const { return m_root.isValid(); }
    // The root, or a path under it.
    QString path(const QString &relative = QString()) const;
    // Points the process's QSettings at this root and names the application as the program does, so that
    // QSettings() opens <root>/settings/Velmor/<application>.ini: "Service" for the service, "Agent" for the
    // desktop program.
    void useSettingsOf(const QString &application) const;

private:
    QTemporaryDir m_root;
    QByteArray m_previous;
    bool m_hadPrevious;
};

} // namespace TestSupport

#endif // VELMOR_TESTS_SCRATCHROOT_H
