// Runs the real DNS proxy and block page outside the service, for the end-to-end tests and the benchmarks:
//   velmor-dnshost --listen ADDRESS:PORT --upstream ADDRESS:PORT
// The block page listens at "httpd-port" of the service settings under $VELMOR_ROOT. Each line on standard input
// is a profile token (decimal, 0 for none) for the requests that follow; the end of input stops the program.
// Once both listen it prints "ready"; a failed start prints the reason and exits with 1, a wrong command line its
// usage with 2.

#include "staticserverstate.h"

#include "dns/dnsproxy.h"
#include "dns/httpserver.h"
#include "platform/settingsstore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

namespace {

// Token lines from standard input; the end of input quits the application.
class TokenReader : public QObject
{
public:
    explicit TokenReader(Velmor::StaticServerState *state)
        : m_state(state)
        , m_notifier(STDIN_FILENO, QSocketNotifier::Read)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, &TokenReader::readLines);
    }

private:
    void readLines()
    {
        char bytes[4096];
        const ssize_t count = ::read(STDIN_FILENO, bytes, sizeof bytes);
        if (count <= 0) {
            m_notifier.setEnabled(false);
            QCoreApplication::quit();
            return;
        }
        m_pending.append(bytes, count);
        qsizetype end;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            const QByteArray line = m_pending.left(end).trimmed();
            m_pending.remove(0, end + 1);
            bool ok = false;
            const quint32 token = line.toUInt(&ok, 10);
            if (ok && !line.startsWith('+')) {
                m_state->token = token;
                std::printf("token %u\n", token);
                std::fflush(stdout);
            } else if (!line.isEmpty()) {
                std::fprintf(stderr, "not a token: %s\n", line.constData());
            }
        }
    }

    Velmor::StaticServerState *m_state;
    QSocketNotifier m_notifier;
    QByteArray m_pending;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
    QCoreApplication::setApplicationName(QStringLiteral("Service"));
    Velmor::Platform::useRootSettings();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Runs the DNS proxy and the block page."));
    const QCommandLineOption listen(
        QStringLiteral("listen"), QStringLiteral("The proxy's address and port."), QStringLiteral("address:port"));
    const QCommandLineOption upstream(
        QStringLiteral("upstream"), QStringLiteral("The filtering resolver."), QStringLiteral("address:port"));
    const QCommandLineOption help = parser.addHelpOption();
    parser.addOption(listen);
    parser.addOption(upstream);
    // As the service and the desktop program do: a mistyped option is refused with 2 and the usage, not the 1 of a
    // failed start.
    const auto refuse = [&parser](const QString &problem) {
        std::fprintf(stderr, "velmor-dnshost: %s\n%s", qPrintable(problem), qPrintable(parser.helpText()));
        return 2;
    };
    if (!parser.parse(QCoreApplication::arguments()))
        return refuse(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().constFirst()));

    Velmor::StaticServerState state;
    if (!Velmor::parseEndpoint(parser.value(listen), &state.localAddress, &state.localPort)
        || !Velmor::parseEndpoint(parser.value(upstream), &state.upstreamAddress, &state.upstreamPort))
        return refuse(QStringLiteral("--listen and --upstream take ADDRESS:PORT"));

    // As identification starts them: the block page first, then the proxy.
    auto *httpServer = new Velmor::HttpServer(&state);
    auto *proxy = new Velmor::DNSProxy(&state);
    if (!httpServer->start()) {
        std::fprintf(stderr, "%s\n", qPrintable(httpServer->errorString()));
        return 1;
    }
    if (!proxy->start()) {
        httpServer->close();
        std::fprintf(stderr, "%s\n", qPrintable(proxy->errorString()));
        return 1;
    }
    std::printf("ready dns=%s:%u http=127.0.0.1:%u\n", qPrintable(state.localAddress.toString()), state.localPort,
        httpServer->serverPort());
    std::fflush(stdout);

    TokenReader tokens(&state);
    const int status = app.exec();
    proxy->stop();
    httpServer->close();
    return status;
}
