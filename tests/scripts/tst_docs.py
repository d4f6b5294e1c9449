#!/usr/bin/python3
"""The commands of README.md and docs/*.md name things that exist: each ctest line says which build folder it runs
in and its -R pattern selects a suite of this build; each script, fixture, picture, benchmark and fuzz target that
a command names is in the tree.

    tst_docs.py --source DIR --build DIR

Exits 0 when every command passes, else prints "FAIL: file: command: problem" for each and exits 1.
"""

import argparse
import glob
import os
import re
import shlex
import subprocess
import sys

SECONDS = 60


def commands(text):
    """The code spans and the lines of indented code blocks of a Markdown text."""
    found = re.findall(r"`([^`\n]+)`", text)
    found += [line[4:] for line in text.splitlines() if line.startswith("    ") and line.strip()]
    return found


def words(command):
    try:
        return shlex.split(command)
    except ValueError:
        return command.split()


def suite_names(build):
    listing = subprocess.run(["ctest", "--test-dir", build, "-N"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                             timeout=SECONDS, check=True).stdout.decode()
    return re.findall(r"Test +#\d+: (\S+)", listing)


def names_in(source, pattern):
    return {os.path.splitext(os.path.basename(path))[0] for path in glob.glob(os.path.join(source, pattern))}


def problems_of(command, source, suites, benchmarks, fuzzers):
    problems = []
    argv = words(command)
    while argv and re.match(r"^[A-Z_]+=", argv[0]):
        argv = argv[1:]
    if argv[:1] == ["ctest"]:
        if "--test-dir" not in argv:
            problems.append("no --test-dir: from the repository's root it finds no tests")
        elif argv[argv.index("--test-dir") + 1] not in ("build", "build-asan"):
            problems.append("--test-dir is not a build folder of the scripts")
        if "-R" in argv:
            pattern = argv[argv.index("-R") + 1]
            if not any(re.search(pattern, suite) for suite in suites):
                problems.append("-R %s selects no suite" % pattern)
    for script in re.findall(r"(?<![\w/.])scripts/([\w-]+)", command):
        if not os.access(os.path.join(source, "scripts", script), os.X_OK):
            problems.append("there is no script scripts/%s" % script)
    for path in re.findall(r"(?<![\w/.])((?:tests/fixtures|docs)/[\w./@-]+[\w])", command):
        if not os.path.exists(os.path.join(source, path)):
            problems.append("there is no %s" % path)
    for name, known, kind in (("bench", benchmarks, "benchmark"), ("fuzz", fuzzers, "fuzz target")):
        if argv[:1] == ["scripts/" + name]:
            for argument in argv[1:]:
                if re.match(r"^%s_\w+$" % name, argument) and argument not in known:
                    problems.append("there is no %s %s" % (kind, argument))
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--source", required=True)
    parser.add_argument("--build", required=True)
    args = parser.parse_args()
    suites = suite_names(args.build)
    benchmarks = names_in(args.source, "bench/*/bench_*.cpp") | names_in(args.source, "bench/*/bench_*.py")
    fuzzers = names_in(args.source, "fuzz/*/fuzz_*.cpp")
    failures = []
    pages = [os.path.join(args.source, "README.md")] + sorted(glob.glob(os.path.join(args.source, "docs", "*.md")))
    for page in pages:
        with open(page, encoding="utf-8") as markdown:
            text = markdown.read()
        name = os.path.relpath(page, args.source)
        for picture in re.findall(r"!\[[^\]]*\]\(([^)]+)\)", text):
            if not os.path.isfile(os.path.join(os.path.dirname(page), picture)):
                failures.append("%s: the picture %s is missing" % (name, picture))
        for command in commands(text):
            for problem in problems_of(command, args.source, suites, benchmarks, fuzzers):
                failures.append("%s: %s: %s" % (name, command, problem))
    for failure in failures:
        print("FAIL: " + failure, file=sys.stderr)
    if failures:
        sys.exit(1)
    print("ok")


if __name__ == "__main__":
    main()
