#!/usr/bin/python3
"""Ctrl-C reaches scripts/run at one moment of its start after another: while it installs packages, while it
builds, right after the build, and while it starts the fake account service, the stand-in resolver and the service.
Each time the run ends soon, with the status of an interrupted program, and leaves no process, no listening port
and no machine root behind.

    tst_runstop.py --source DIR --bin DIR

--bin holds the built programs. The package installer and the build are stand-ins on PATH that say when they run;
the installer's takes Ctrl-C quietly and ends well, as some programs do. Exits 0 when every row passes, else prints
"FAIL: ..." for each failed row and exits 1.
"""

import argparse
import concurrent.futures
import glob
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

from tst_run import Run, describe, port_listens, session_processes

MOMENT_SECONDS = 120
STOP_SECONDS = 60

# The package query finds nothing installed; the installer's update waits for Ctrl-C, then ends well. Without root,
# sudo runs the stand-in too.
DPKG_QUERY = "#!/bin/sh\nexit 0\n"
SUDO = "#!/bin/sh\nexec \"$@\"\n"
APT_GET = """#!/bin/sh
[ "$1" = update ] || exit 0
trap 'exit 0' INT
touch "$MARKS/install-deps"
while :; do sleep 0.05; done
"""
# Configuring does nothing; the build says it runs and, when $SLOW_BUILD is set, lasts until it is interrupted.
CMAKE = """#!/bin/sh
[ "$1" = --build ] || exit 0
touch "$MARKS/build"
[ -n "${SLOW_BUILD:-}" ] || exit 0
exec sleep 300
"""

# name, with the stand-in build rather than --bin, the stand-in build lasts, the path (a glob under TMPDIR) whose
# appearance is the moment
ROWS = [
    ("during install-deps", False, False, "marks/install-deps"),
    ("during the build", True, True, "marks/build"),
    ("right after the build", True, False, "velmor-run.*"),
    ("as the fake account service starts", False, False, "velmor-run.*/demo"),
    ("as the service starts", False, False, "velmor-run.*/demo/resolver.ready"),
    ("as the demo account signs in", False, False, "velmor-run.*/velmor-warden.pid"),
]


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def write_program(path, text):
    with open(path, "w") as out:
        out.write(text)
    os.chmod(path, 0o755)


def known_ports(workdir):
    """The ports in the settings of the run's machine root, as far as they are written."""
    ports = []
    for settings in glob.glob(os.path.join(workdir, "velmor-run.*", "settings", "Velmor", "Service.ini")):
        try:
            with open(settings) as text:
                ports += [int(port) for port in re.findall(r"^(?:localproxy-addr=.*:|httpd-port=)(\d+)$",
                                                              text.read(), re.M)]
        except OSError:
            pass
    return ports


def row(args, workdir, name, stand_in_build, slow_build, moment):
    """The failures of one row, as text; empty when it passes."""
    tmp = os.path.join(workdir, "tmp")
    os.makedirs(os.path.join(tmp, "marks"))
    stubs = os.path.join(workdir, "stubs")
    os.makedirs(stubs)
    env = {key: value for key, value in os.environ.items()
           if key not in ("DISPLAY", "WAYLAND_DISPLAY", "VELMOR_ROOT", "BUILD_DIR", "XDG_RUNTIME_DIR")}
    env.update(TMPDIR=tmp, MARKS=os.path.join(tmp, "marks"), VELMOR_IPC_PORT=str(free_port()))
    command = [os.path.join(args.source, "scripts", "run")]
    if stand_in_build:
        write_program(os.path.join(stubs, "cmake"), CMAKE)
        build = os.path.join(workdir, "build")
        os.makedirs(build)
        os.symlink(args.bin, os.path.join(build, "bin"))
        env["BUILD_DIR"] = build
        if slow_build:
            env["SLOW_BUILD"] = "1"
    else:
        command += ["--bin", args.bin]
    if moment == "marks/install-deps":
        write_program(os.path.join(stubs, "dpkg-query"), DPKG_QUERY)
        write_program(os.path.join(stubs, "apt-get"), APT_GET)
        write_program(os.path.join(stubs, "sudo"), SUDO)
    env["PATH"] = stubs + ":" + env["PATH"]
    run = Run(command, env)
    try:
        deadline = time.monotonic() + MOMENT_SECONDS
        while not glob.glob(os.path.join(tmp, moment)):
            if run.process.poll() is not None or time.monotonic() > deadline:
                return "%s: the moment %s never came:\n%s" % (name, moment, run.text())
            time.sleep(0.002)
        ports = known_ports(tmp) + [int(env["VELMOR_IPC_PORT"])]
        # Ctrl-C: the terminal signals the whole foreground process group.
        os.killpg(run.sid, signal.SIGINT)
        try:
            status = run.process.wait(STOP_SECONDS)
        except subprocess.TimeoutExpired:
            return "%s: scripts/run did not end within %d s of Ctrl-C:\n%s" % (name, STOP_SECONDS, run.text())
        drain = time.monotonic() + 5
        while run.next_line(drain) is not None:
            pass
        problems = []
        if status not in (130, -signal.SIGINT):
            problems.append("exit status %d, not that of an interrupted program" % status)
        left = session_processes(run.sid)
        if left:
            problems.append("processes left: %s" % describe(left))
        roots = glob.glob(os.path.join(tmp, "velmor-run.*"))
        if roots:
            problems.append("machine roots left: %s" % roots)
        problems += ["port %d still listens" % port for port in ports + known_ports(tmp) if port_listens(port)]
        if problems:
            return "%s: %s\n%s" % (name, "; ".join(problems), run.text())
        return ""
    finally:
        run.kill_session()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--source", required=True)
    parser.add_argument("--bin", required=True)
    args = parser.parse_args()
    args.bin = os.path.realpath(args.bin)
    def one(r):
        workdir = tempfile.mkdtemp(prefix="tst_runstop.")
        try:
            return row(args, workdir, *r)
        finally:
            shutil.rmtree(workdir, ignore_errors=True)
    # The rows share nothing (each has its own temporary folder and ports), so they run side by side.
    with concurrent.futures.ThreadPoolExecutor(max_workers=len(ROWS)) as pool:
        failures = [f for f in pool.map(one, ROWS) if f]
    for failure in failures:
        print("FAIL: " + failure, file=sys.stderr)
    if failures:
        sys.exit(1)
    print("ok")


if __name__ == "__main__":
    main()
