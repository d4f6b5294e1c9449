// The DNS codec on the proxy's hot path beside glibc's resolver library on the same bytes: reading a typical
// answer, matching it to its request, appending the identification record and building a query. Prints
// nanoseconds per operation and the ratio ours / libresolv (below 1 is faster).
#include "dns/packet.h"

#include <benchmark/benchmark.h>

#include <arpa/nameser.h>
#include <chrono>
#include <cstdio>
#include <functional>
#include <resolv.h>

using namespace Velmor::DNS;

namespace {

double nanosecondsPerRun(const std::function<void()> &operation)
{
    const int runs = 200000;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i)
        operation();
    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / runs;
}

void report(const char *name, const std::function<void()> &ours, const std::function<void()> &peer)
{
    // The best of several rounds, taken in turns, so a busy machine costs accuracy rather than skewing one side.
    double a = 1e30;
    double b = 1e30;
    for (int round = 0; round < 9; ++round) {
        a = std::min(a, nanosecondsPerRun(ours));
        b = std::min(b, nanosecondsPerRun(peer));
    }
    std::printf("%-22s velmor %8.1f ns   libresolv %8.1f ns   ratio %.2f\n", name, a, b, a / b);
}

// A resolver's answer for www.example.test A: two addresses and an OPT record, names compressed.
const QByteArray Request
    = QByteArray::fromHex("abcd 0120 0001 0000 0000 0001 03777777 076578616d706c65 0474657374 00 0001 "
                          "0001 00 0029 04d0 00000000 0000");
const QByteArray Answer
    = QByteArray::fromHex("abcd 8180 0001 0002 0000 0001 03777777 076578616d706c65 0474657374 00 0001 "
                          "0001 c00c 0001 0001 0000012c 0004 5db8d822 c00c 0001 0001 0000012c 0004 "
                          "5db8d823 00 0029 04d0 00000000 0000");

bool libresolvParse(const QByteArray &bytes)
{
    ns_msg message;
    if (ns_initparse(reinterpret_cast<const unsigned char *>(bytes.constData()), int(bytes.size()), &message) != 0)
        return false;
    ns_rr record;
    for (const ns_sect section : { ns_s_qd, ns_s_an }) {
        for (int i = 0; i < ns_msg_count(message, section); ++i) {
            if (ns_parserr(&message, section, i, &record) != 0)
                return false;
            benchmark::DoNotOptimize(record);
        }
    }
    return true;
}

} // namespace

int main()
{
    const auto *request = reinterpret_cast<const unsigned char *>(Request.constData());
    const auto *answer = reinterpret_cast<const unsigned char *>(Answer.constData());

    report(
        "parse answer",
        [] {
            const Packet message(Answer);
            benchmark::DoNotOptimize(message.isWellFormed());
            benchmark::DoNotOptimize(message.answers().size());
        },
        [] { benchmark::DoNotOptimize(libresolvParse(Answer)); });

    report(
        "isResponseTo",
        [] {
            const Packet message(Answer);
            const Packet query(Request);
            benchmark::DoNotOptimize(message.isResponseTo(query));
        },
        [&] {
            // res_queriesmatch compares the questions only; the parse gives it the well-formedness ours checks.
            benchmark::DoNotOptimize(libresolvParse(Answer));
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
            benchmark::DoNotOptimize(
                res_queriesmatch(request, request + Request.size(), answer, answer + Answer.size()));
#pragma GCC diagnostic pop
        });

    report(
        "appendIdentification",
        [] {
            Packet message(Request);
            benchmark::DoNotOptimize(message.appendIdentification(7));
            benchmark::DoNotOptimize(message.rawData().size());
        },
        [] {
            // The least libresolv does to a request before touching it: reading its header and sections.
            QByteArray copy = Request;
            ns_msg message;
            benchmark::DoNotOptimize(
                ns_initparse(reinterpret_cast<const unsigned char *>(copy.constData()), int(copy.size()), &message));
            copy.append(QByteArray::fromRawData("\0\xff\xed\0\x01\0\0\0\0\0\x04\0\0\0\x07", 15));
            benchmark::DoNotOptimize(copy.size());
        });

    report(
        "makeQuery",
        [] {
            Packet query = Packet::makeQuery("www.example.test", 1);
            benchmark::DoNotOptimize(query.toByteArray().size());
        },
        [] {
            unsigned char buffer[512];
            benchmark::DoNotOptimize(res_mkquery(
                ns_o_query, "www.example.test", ns_c_in, ns_t_a, nullptr, 0, nullptr, buffer, sizeof buffer));
        });
    return 0;
}
