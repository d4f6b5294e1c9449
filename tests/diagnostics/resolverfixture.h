#ifndef VELMOR_TESTS_RESOLVERFIXTURE_H
#define VELMOR_TESTS_RESOLVERFIXTURE_H

#include <QProcess>
#include <QStringList>

// tests/fixtures/resolver.py serving on 127.0.0.2 for one test, with the given options after "serve".
class ResolverFixture
{
public:
    explicit ResolverFixture(const QStringList &options);
    ~ResolverFixture();
    Q_DISABLE_COPY(ResolverFixture)

    quint16 port() const { return m_port; }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

// A UDP and TCP port free together on 127.0.0.1.
quint16 freeLocalPort();

#endif // VELMOR_TESTS_RESOLVERFIXTURE_H
