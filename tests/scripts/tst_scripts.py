#!/usr/bin/python3
"""The scripts refuse what they do not know before they do anything: each row runs a script of a scratch copy of
the repository (a git tree with one badly formatted source, one benchmark and one fuzz target) and checks its exit
code, what it says and that it changed and built nothing.

    tst_scripts.py --source DIR

Exits 0 when every row passes, else prints "FAIL: ..." for each failed row and exits 1.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

SECONDS = 60
BADLY_FORMATTED = "int  main( ){return 0;}\n"

# name, command (run from the copy's root), exit code, texts the output holds
ROWS = [
    ("format: a misspelt option", ["scripts/format", "--chek"], 2, ["usage: scripts/format [--check]"]),
    ("format: two arguments", ["scripts/format", "--check", "--check"], 2, ["usage: scripts/format [--check]"]),
    ("format: the check names the drifting file and counts", ["scripts/format", "--check"], 1,
     ["src/bad.cpp", "checked 3 files"]),
    ("bench: an unknown name", ["scripts/bench", "bench_nosuch"], 2, ["no benchmark named bench_nosuch", "bench_one"]),
    ("fuzz: an unknown target", ["scripts/fuzz", "nosuch"], 2, ["no fuzz target named nosuch", "fuzz_one"]),
    ("fuzz: no target", ["scripts/fuzz"], 2, ["usage: scripts/fuzz", "fuzz_one"]),
    ("run: an unknown option", ["scripts/run", "--wwww", "x"], 2, ["unknown option: --wwww", "usage: scripts/run"]),
    ("run: an option without its value", ["scripts/run", "--resolver"], 2, ["--resolver needs a value"]),
    ("run: help", ["scripts/run", "--help"], 0, ["usage: scripts/run", "--keep", "--bin DIR"]),
    # Help is told, not done: nothing is installed, checked, configured or built.
    ("build: help", ["scripts/build", "--help"], 0, ["usage: scripts/build", "--target NAME"]),
    ("build: an unknown option", ["scripts/build", "--tagret", "velmor-warden"], 2,
     ["unknown option: --tagret", "usage: scripts/build"]),
    ("build: a target without its name", ["scripts/build", "--target"], 2, ["--target needs a name"]),
    ("test: help", ["scripts/test", "--help"], 0, ["usage: scripts/test", "--release", "--tsan"]),
    ("test: an unknown option", ["scripts/test", "--tasn"], 2, ["unknown option: --tasn", "usage: scripts/test"]),
    ("test: a ctest option without its value", ["scripts/test", "-R"], 2, ["-R needs a value"]),
    ("install-deps: help", ["scripts/install-deps", "--help"], 0, ["usage: scripts/install-deps"]),
    ("install-deps: an unknown option", ["scripts/install-deps", "--yes"], 2,
     ["unknown option: --yes", "usage: scripts/install-deps"]),
    ("account service: help lists operations and faults",
     ["python3", "tests/fixtures/account_service.py", "--help"], 0,
     ['"op": "refuse"', "oversized", "duplicateIds", "--account"]),
]


def without_root_or_sudo(stubs):
    """The row of a user who is not root, on a machine without sudo, where a package is missing: a PATH of the few
    tools the script needs and a package query that finds nothing installed."""
    for tool in ("bash", "awk", "grep", "id"):
        os.symlink(shutil.which(tool), os.path.join(stubs, tool))
    with open(os.path.join(stubs, "dpkg-query"), "w") as query:
        query.write("#!/bin/sh\nexit 0\n")
    os.chmod(os.path.join(stubs, "dpkg-query"), 0o755)
    command = ["env", "PATH=" + stubs, "scripts/install-deps"]
    if os.geteuid() == 0:
        command = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] + command
    return ("install-deps: no root and no sudo", command, 1,
            ["these packages are missing: build-essential cmake", "as root, run:",
             "apt-get install -y --no-install-recommends build-essential cmake"])


def scratch_copy(source, folder):
    """A git tree with the repository's scripts and fixtures and a few small sources."""
    shutil.copytree(os.path.join(source, "scripts"), os.path.join(folder, "scripts"))
    os.makedirs(os.path.join(folder, "tests"))
    shutil.copytree(os.path.join(source, "tests", "fixtures"), os.path.join(folder, "tests", "fixtures"))
    shutil.copy(os.path.join(source, ".clang-format"), folder)
    files = {"src/bad.cpp": BADLY_FORMATTED, "bench/area/bench_one.cpp": "int main() { return 0; }\n",
             "fuzz/area/fuzz_one.cpp": "int main() { return 0; }\n"}
    for name, text in files.items():
        os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
        with open(os.path.join(folder, name), "w") as out:
            out.write(text)
    for command in (["init", "-q"], ["add", "-A"]):
        subprocess.run(["git", "-C", folder] + command, check=True, stdout=subprocess.DEVNULL)


def row(folder, name, command, code, texts):
    """The failures of one row, as text; empty when it passes."""
    with open(os.path.join(folder, "src", "bad.cpp"), "w") as source:
        source.write(BADLY_FORMATTED)
    before = sorted(os.listdir(folder))
    try:
        result = subprocess.run(command, cwd=folder, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, timeout=SECONDS)
    except subprocess.TimeoutExpired:
        return "%s: still running after %d s" % (name, SECONDS)
    output = result.stdout.decode(errors="replace")
    problems = []
    if result.returncode != code:
        problems.append("exit code %d, not %d" % (result.returncode, code))
    problems += ["%r is missing" % text for text in texts if text not in output]
    with open(os.path.join(folder, "src", "bad.cpp")) as source:
        if source.read() != BADLY_FORMATTED:
            problems.append("src/bad.cpp was rewritten")
    if sorted(os.listdir(folder)) != before:
        problems.append("new entries %s" % sorted(set(os.listdir(folder)) - set(before)))
    if problems:
        return "%s: %s\n%s" % (name, "; ".join(problems), output)
    return ""


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--source", required=True)
    args = parser.parse_args()
    folder = tempfile.mkdtemp(prefix="tst_scripts.")
    stubs = tempfile.mkdtemp(prefix="tst_scripts.bin.")
    try:
        scratch_copy(args.source, folder)
        # Another user runs a script of the copy too.
        for path in (folder, stubs):
            os.chmod(path, 0o755)
        rows = ROWS + [without_root_or_sudo(stubs)]
        failures = [f for f in (row(folder, *r) for r in rows) if f]
    finally:
        shutil.rmtree(folder, ignore_errors=True)
        shutil.rmtree(stubs, ignore_errors=True)
    for failure in failures:
        print("FAIL: " + failure, file=sys.stderr)
    if failures:
        sys.exit(1)
    print("ok")


if __name__ == "__main__":
    main()
