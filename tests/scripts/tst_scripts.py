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
    ("account service: help lists operations and faults",
     ["python3", "tests/fixtures/account_service.py", "--help"], 0,
     ['"op": "refuse"', "oversized", "duplicateIds", "--account"]),
]


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
    try:
        scratch_copy(args.source, folder)
        failures = [f for f in (row(folder, *r) for r in ROWS) if f]
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    for failure in failures:
        print("FAIL: " + failure, file=sys.stderr)
    if failures:
        sys.exit(1)
    print("ok")


if __name__ == "__main__":
    main()
