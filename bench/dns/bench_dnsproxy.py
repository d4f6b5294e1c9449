#!/usr/bin/env python3
"""The local DNS proxy under dnsperf, beside dnsmasq answering directly and a dnsmasq forwarder, all on loopback:
  direct     dnsmasq on 127.0.0.2, answering from its configuration
  forwarder  dnsmasq on 127.0.0.3 forwarding to it (--cache-size=0, --dns-forward-max above the outstanding count)
  proxy      the host program (the real proxy, token 7) on 127.0.0.1 forwarding to it
One query file for all. First the highest rate each takes (QPS, lost queries), then the per-query latencies at a
fixed moderate rate (p50, and the proxy's and forwarder's p50 above the direct one), and the proxy's descriptors
before any query and once its upstream sockets have closed again (they are shared for up to a few seconds)."""

import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HOST = "@VELMOR_PROGRAM_DIR@/velmor-dnshost"
DURATION = 5
OUTSTANDING = 100
RATE = 2000
# Seconds the proxy's idle upstream sockets may take to close.
SETTLE = 10


def free_port(address):
    for _ in range(50):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as udp, \
                socket.socket(socket.AF_INET, socket.SOCK_STREAM) as tcp:
            udp.bind((address, 0))
            port = udp.getsockname()[1]
            try:
                tcp.bind((address, port))
                return port
            except OSError:
                continue
    sys.exit("no free port on " + address)


def wait_for_answer(address, port):
    for _ in range(100):
        result = subprocess.run(["dig", "@" + address, "-p", str(port), "q0.bench.test", "+short", "+tries=1",
                                 "+timeout=1"], capture_output=True, text=True)
        if result.stdout.strip() == "10.0.0.1":
            return
        time.sleep(0.1)
    sys.exit("no answer from %s:%d" % (address, port))


def dnsperf(address, port, queries, extra):
    result = subprocess.run(["dnsperf", "-s", address, "-p", str(port), "-d", queries] + extra,
                            capture_output=True, text=True, timeout=120)
    figures = {"lost": None, "qps": None, "latencies": []}
    for line in result.stdout.splitlines():
        line = line.strip()
        if line.startswith("Queries lost:"):
            figures["lost"] = int(line.split()[2])
        elif line.startswith("Queries per second:"):
            figures["qps"] = float(line.split()[3])
        elif line.startswith("> "):
            figures["latencies"].append(float(line.split()[-1]))
    if figures["qps"] is None:
        sys.exit("dnsperf failed:\n" + result.stdout + result.stderr)
    return figures


def descriptors(pid):
    return len(os.listdir("/proc/%d/fd" % pid))


def settled_descriptors(pid, count):
    """The descriptor count once it is back to count, or the last one seen after SETTLE seconds; and the wait."""
    start = time.monotonic()
    while True:
        now = descriptors(pid)
        waited = time.monotonic() - start
        if now <= count or waited > SETTLE:
            return now, waited
        time.sleep(0.1)


def main():
    for tool in ("dnsmasq", "dnsperf", "dig"):
        if not shutil.which(tool):
            sys.exit(tool + " is missing; scripts/install-deps installs it")
    work = tempfile.mkdtemp(prefix="bench-dns-")
    processes = []
    user = ["--user=root"] if os.geteuid() == 0 else []
    common = ["-k", "--no-hosts", "--bind-interfaces", "--pid-file=", "--log-facility=/dev/null"] + user
    try:
        direct = ("127.0.0.2", free_port("127.0.0.2"))
        forwarder = ("127.0.0.3", free_port("127.0.0.3"))
        proxy = ("127.0.0.1", free_port("127.0.0.1"))
        processes.append(subprocess.Popen(["dnsmasq", "--no-resolv", "--listen-address=" + direct[0],
                                           "--port=%d" % direct[1], "--address=/bench.test/10.0.0.1"] + common))
        processes.append(subprocess.Popen(["dnsmasq", "--no-resolv", "--listen-address=" + forwarder[0],
                                           "--port=%d" % forwarder[1], "--cache-size=0",
                                           "--dns-forward-max=%d" % (OUTSTANDING * 4),
                                           "--server=%s#%d" % direct] + common))
        os.makedirs(os.path.join(work, "settings", "Velmor"))
        with open(os.path.join(work, "settings", "Velmor", "Service.ini"), "w", encoding="utf-8") as ini:
            ini.write("[General]\nhttpd-port=0\n")
        host = subprocess.Popen([HOST, "--listen", "%s:%d" % proxy, "--upstream", "%s:%d" % direct],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                env=dict(os.environ, VELMOR_ROOT=work))
        processes.append(host)
        if not host.stdout.readline().startswith("ready"):
            sys.exit("the host program did not start")
        host.stdin.write("7\n")
        host.stdin.flush()
        host.stdout.readline()
        before = descriptors(host.pid)
        for target in (direct, forwarder, proxy):
            wait_for_answer(*target)

        queries = os.path.join(work, "queries")
        with open(queries, "w", encoding="utf-8") as out:
            for i in range(1000):
                out.write("q%d.bench.test A\n" % i)

        names = ("direct", "forwarder", "proxy")
        targets = dict(zip(names, (direct, forwarder, proxy)))
        peak = {name: dnsperf(*targets[name], queries, ["-l", str(DURATION), "-c", "1", "-q", str(OUTSTANDING)])
                for name in names}
        steady = {name: dnsperf(*targets[name], queries, ["-l", "3", "-Q", str(RATE), "-v"]) for name in names}
        after, waited = settled_descriptors(host.pid, before)

        print("highest rate, %d outstanding, %d s:" % (OUTSTANDING, DURATION))
        for name in names:
            print("  %-9s %10.0f QPS   lost %d" % (name, peak[name]["qps"], peak[name]["lost"]))
        print("  proxy / forwarder QPS: %.2f   proxy / direct QPS: %.2f"
              % (peak["proxy"]["qps"] / peak["forwarder"]["qps"], peak["proxy"]["qps"] / peak["direct"]["qps"]))
        print("latency at %d QPS, 3 s:" % RATE)
        p50 = {}
        for name in names:
            p50[name] = statistics.median(steady[name]["latencies"]) * 1e6
            print("  %-9s p50 %7.1f us   lost %d" % (name, p50[name], steady[name]["lost"]))
        print("  added p50 vs direct: proxy %+.1f us, forwarder %+.1f us"
              % (p50["proxy"] - p50["direct"], p50["forwarder"] - p50["direct"]))
        print("proxy descriptors: %d before, %d after (%.1f s after the last query)" % (before, after, waited))
        print("load average: %s" % " ".join(open("/proc/loadavg").read().split()[:3]))
        host.stdin.close()
        host.wait(timeout=30)
    finally:
        for process in processes:
            if process.poll() is None:
                process.terminate()
                process.wait(timeout=10)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
