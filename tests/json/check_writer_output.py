#!/usr/bin/env python3
"""Checks the JSON writer's output against Python's json module.

    check_writer_output.py DUMPER          run DUMPER and check every line it prints
    check_writer_output.py --each-must-fail FILE
                                            every line of FILE must be reported as wrong

Each line is: name TAB python-bytes-literal-of-the-writer's-text-in-UTF-8 TAB python-literal-of-the-expected-value.
The text must parse with json.loads (strict=False, because the writer sends control characters as they are)
to exactly the expected value: same types (bool, int and float are told apart), same keys, same order of
array items, and no duplicate keys.
"""
import ast
import json
import subprocess
import sys


def same(a, b):
    if type(a) is not type(b):
        return False
    if isinstance(a, dict):
        return a.keys() == b.keys() and all(same(a[k], b[k]) for k in a)
    if isinstance(a, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    return a == b


def refuse_duplicates(pairs):
    keys = [k for k, _ in pairs]
    if len(keys) != len(set(keys)):
        raise ValueError("duplicate keys %r" % keys)
    return dict(pairs)


def check(line):
    """Returns None when the line is right, otherwise the reason it is wrong."""
    try:
        name, text_literal, expected_literal = line.split("\t")
        text = ast.literal_eval(text_literal).decode("utf-8")
        expected = ast.literal_eval(expected_literal)
    except (ValueError, SyntaxError, AttributeError) as e:
        return "malformed line %r: %s" % (line, e)
    try:
        value = json.loads(text, strict=False, object_pairs_hook=refuse_duplicates)
    except ValueError as e:
        return "%s: %r is no JSON: %s" % (name, text, e)
    if not same(value, expected):
        return "%s: %r parses to %r, expected %r" % (name, text, value, expected)
    return None


def main(argv):
    if len(argv) == 3 and argv[1] == "--each-must-fail":
        with open(argv[2], encoding="utf-8") as f:
            lines = [l.rstrip("\n") for l in f if l.strip() and not l.startswith("#")]
        passed = [l for l in lines if check(l) is None]
        for l in passed:
            print("not caught: %s" % l)
        print("%d faulty lines, %d caught" % (len(lines), len(lines) - len(passed)))
        return 1 if passed or not lines else 0

    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    out = subprocess.run([argv[1]], check=True, stdout=subprocess.PIPE).stdout.decode("ascii")
    lines = [l for l in out.split("\n") if l]
    failures = [r for r in map(check, lines) if r is not None]
    for f in failures:
        print("FAIL " + f)
    print("%d writer outputs checked, %d wrong" % (len(lines), len(failures)))
    return 1 if failures or not lines else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
