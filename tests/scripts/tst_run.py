#!/usr/bin/python3
"""scripts/run as a newcomer meets it: started with no options (the programs already built), the three lines it
prints pasted into a shell one by one, each giving what the banner says, then Ctrl-C, after which no process it
started is left and its machine root is gone.

    tst_run.py --source DIR [--bin DIR] [--user NAME]

--bin gives the programs to run (scripts/run --bin); without it scripts/run builds them as the README has it, and
the deadlines grow by the time a first build may take. --user runs scripts/run as that user (through runuser; the
test must run as root then). Exits 0 when every check
passes, else prints "FAIL: ..." and exits 1. Bounded: every wait has a deadline, and whatever is left of the run's
session is killed at the end.
"""

import argparse
import os
import queue
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

STARTUP_SECONDS = 180
COMMAND_SECONDS = 30
STOP_SECONDS = 60
# Below ctest's timeout, so that the run's session is always killed by this driver rather than left behind.
TOTAL_SECONDS = 330
BUILD_SECONDS = 1800


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def session_processes(sid):
    """The pids of every process whose session is sid."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        # After the command name: state, ppid, pgrp, session.
        if int(fields[3]) == sid and fields[0] != "Z":
            found.append(int(entry))
    return found


def describe(pids):
    lines = []
    for pid in pids:
        try:
            with open("/proc/%d/cmdline" % pid, "rb") as cmdline:
                lines.append("%d %s" % (pid, cmdline.read().replace(b"\0", b" ").decode(errors="replace")))
        except OSError:
            pass
    return "; ".join(lines)


class Run:
    """scripts/run in a session of its own, its output read line by line on a thread."""

    def __init__(self, command, env):
        self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, env=env, start_new_session=True)
        self.sid = self.process.pid
        self.lines = queue.Queue()
        self.output = []
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        for raw in self.process.stdout:
            self.lines.put(raw.decode(errors="replace").rstrip("\n"))
        self.lines.put(None)

    def next_line(self, deadline):
        try:
            line = self.lines.get(timeout=max(0.0, deadline - time.monotonic()))
        except queue.Empty:
            return None
        if line is not None:
            self.output.append(line)
        return line

    def text(self):
        return "\n".join(self.output)

    def kill_session(self):
        signal.alarm(0)
        for pid in session_processes(self.sid):
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            pass


def read_banner(run, seconds):
    """The banner's fields and the three lines to paste, read until the event log begins."""
    fields = {}
    commands = []
    deadline = time.monotonic() + seconds
    while True:
        line = run.next_line(deadline)
        check(line is not None, "scripts/run ended or stalled before its three lines:\n" + run.text())
        match = re.match(r"^([a-zA-Z ]+):\s+(.*)$", line)
        if match and not commands:
            fields[match.group(1)] = match.group(2)
        if line.startswith("    dig ") or line.startswith("    curl "):
            commands.append(line.strip())
        if line.startswith("Ctrl-C stops everything"):
            return fields, commands


def paste(command, user):
    """A line pasted into a shell of the user who ran scripts/run."""
    argv = ["/bin/sh", "-c", command]
    if user:
        argv = ["runuser", "-u", user, "--"] + argv
    result = subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            timeout=COMMAND_SECONDS)
    return result.returncode, result.stdout.decode(errors="replace")


def port_listens(port):
    with socket.socket() as probe:
        probe.settimeout(5)
        return probe.connect_ex(("127.0.0.1", port)) == 0


def test(args, workdir, given_root=None):
    """One run from start to Ctrl-C; with given_root as VELMOR_ROOT, which must then stay."""
    # The runtime folder of this user is not the other user's: run as another user, the programs find their own.
    dropped = ("DISPLAY", "WAYLAND_DISPLAY", "VELMOR_ROOT", "VELMOR_IPC_PORT", "BUILD_DIR") + \
        (("XDG_RUNTIME_DIR",) if args.user else ())
    env = {key: value for key, value in os.environ.items() if key not in dropped}
    settings = ["TMPDIR=" + workdir] + (["VELMOR_ROOT=" + given_root] if given_root else [])
    command = ["env"] + settings + [os.path.join(args.source, "scripts", "run")]
    if args.bin:
        command += ["--bin", args.bin]
    if args.user:
        command = ["runuser", "-u", args.user, "--"] + command
    run = Run(command, env)
    try:
        fields, commands = read_banner(run, STARTUP_SECONDS + (0 if args.bin else BUILD_SECONDS))
        check(len(commands) == 3, "three lines to paste, got %r in:\n%s" % (commands, run.text()))
        for name in ("machine root", "event log", "IPC link", "DNS proxy", "block page", "account"):
            check(name in fields, "the banner has no %r:\n%s" % (name, run.text()))
        root = fields["machine root"].split(" (")[0]
        if given_root:
            check(root == given_root, "the machine root %r is not VELMOR_ROOT %r" % (root, given_root))
        else:
            check(root.startswith(workdir + "/"), "the machine root %r is not a new folder under TMPDIR" % root)
        check(os.path.isdir(root), "the machine root %s does not exist" % root)
        proxy = re.match(r"^127\.0\.0\.1:(\d+)$", fields["DNS proxy"])
        check(proxy and int(proxy.group(1)) >= 1024, "the DNS proxy is not on a free unprivileged port: %r"
              % fields["DNS proxy"])
        ipc_port = int(fields["IPC link"].rsplit(":", 1)[1])
        page_port = int(fields["block page"].rsplit(":", 1)[1])
        token = re.search(r"token (\d+)", fields["account"])
        check(token, "the banner names no token: %r" % fields["account"])
        token = token.group(1)

        code, resolved = paste(commands[0], args.user)
        check(code == 0 and resolved.strip() == "192.0.2.10", "%s gave %d: %r" % (commands[0], code, resolved))
        code, blocked = paste(commands[1], args.user)
        check(code == 0 and blocked.strip() == "127.0.0.1", "%s gave %d: %r" % (commands[1], code, blocked))
        code, page = paste(commands[2], args.user)
        check(code == 0 and page.startswith("HTTP/1.1 303 See Other\r\n"), "%s gave %d: %r" % (commands[2], code, page))
        location = "Location: http://127.0.0.1/blocked?hostname=games.example&token=%s&url=http://games.example/\r\n"
        check(location % token in page, "the redirect carries no token %s: %r" % (token, page))

        # Ctrl-C: the terminal signals the whole foreground process group.
        os.killpg(run.sid, signal.SIGINT)
        try:
            status = run.process.wait(STOP_SECONDS)
        except subprocess.TimeoutExpired:
            raise Failure("scripts/run did not end within %d s of Ctrl-C:\n%s" % (STOP_SECONDS, run.text()))
        deadline = time.monotonic() + 5
        while run.next_line(deadline) is not None:
            pass
        check(status == 0, "scripts/run exited with %d after Ctrl-C:\n%s" % (status, run.text()))
        left = session_processes(run.sid)
        check(not left, "processes left after Ctrl-C: %s" % describe(left))
        if given_root:
            check(os.path.isfile(os.path.join(root, "eventlog", "Application.log")),
                  "the machine root %s given by VELMOR_ROOT is not kept" % root)
        else:
            check(not os.path.exists(root), "the machine root %s is left" % root)
        check("velmor-warden exited with status 0" in run.text(), "no word on the service's end:\n" + run.text())
        for port in (ipc_port, page_port, int(proxy.group(1))):
            check(not port_listens(port), "port %d still listens" % port)
    finally:
        run.kill_session()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--source", required=True)
    parser.add_argument("--bin")
    parser.add_argument("--user")
    args = parser.parse_args()
    def too_long(*_):
        raise Failure("the runs took longer than %d s" % total)
    total = TOTAL_SECONDS + (0 if args.bin else BUILD_SECONDS)
    signal.signal(signal.SIGALRM, too_long)
    signal.alarm(total)
    workdir = tempfile.mkdtemp(prefix="tst_run.")
    if args.user:
        shutil.chown(workdir, user=args.user)
    try:
        test(args, workdir)
        # A root named by VELMOR_ROOT is kept, and serves a second run as well as it served the first.
        given_root = os.path.join(workdir, "given-root")
        test(args, workdir, given_root)
        test(args, workdir, given_root)
    except (Failure, subprocess.TimeoutExpired) as failure:
        print("FAIL: %s" % failure, file=sys.stderr)
        sys.exit(1)
    finally:
        subprocess.run(["rm", "-rf", workdir], check=False)
    print("ok")


if __name__ == "__main__":
    main()
