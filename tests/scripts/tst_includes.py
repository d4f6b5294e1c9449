#!/usr/bin/python3
"""The programs' #include lines run one way: no folders include each other, in a circle of any length, and within
the folders named by --units no two units (a header and its source file are one unit) do.

    tst_includes.py --source DIR [--units FOLDER]...

Prints each circle found as "FAIL: include each other in a circle: a, b, ..." and exits 1, else exits 0.
"""

import argparse
import os
import re
import sys

# The source trees and the folders their #include lines are written from.
TREES = {
    "velmorwire": ["."],
    "platform": ["."],
    "velmor-warden": ["velmor-warden", "."],
    "velmor-console": ["velmor-console", "."],
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def sources(root):
    for tree in TREES:
        for folder, _, names in os.walk(os.path.join(root, tree)):
            for name in names:
                if name.endswith((".h", ".cpp")):
                    yield os.path.relpath(os.path.join(folder, name), root)


def unit(path):
    return os.path.splitext(path)[0]


def unit_edges(root):
    """unit -> the units it includes, by the include paths the build gives each tree."""
    files = set(sources(root))
    edges = {}
    for path in files:
        tree = path.split(os.sep)[0]
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as source:
            named = INCLUDE.findall(source.read())
        for name in named:
            candidates = [os.path.join(os.path.dirname(path), name)] + [os.path.join(d, name) for d in TREES[tree]]
            target = next((os.path.normpath(c) for c in candidates if os.path.normpath(c) in files), None)
            if target and unit(target) != unit(path):
                edges.setdefault(unit(path), set()).add(unit(target))
    return edges


def circles(edges):
    """The strongly connected parts of more than one node, each as its sorted nodes."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []

    def visit(node):
        index[node] = low[node] = len(index)
        stack.append(node)
        on_stack.add(node)
        for target in sorted(edges.get(node, ())):
            if target not in index:
                visit(target)
                low[node] = min(low[node], low[target])
            elif target in on_stack:
                low[node] = min(low[node], index[target])
        if low[node] == index[node]:
            part = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                part.append(member)
                if member == node:
                    break
            if len(part) > 1:
                found.append(sorted(part))

    sys.setrecursionlimit(100000)
    for node in sorted(edges):
        if node not in index:
            visit(node)
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--units", action="append", default=[])
    args = parser.parse_args()

    edges = unit_edges(args.source)
    folders = {}
    for source, targets in edges.items():
        for target in targets:
            if os.path.dirname(source) != os.path.dirname(target):
                folders.setdefault(os.path.dirname(source), set()).add(os.path.dirname(target))
    failures = circles(folders)
    for scope in args.units:
        scoped = {s: {t for t in ts if t.startswith(scope + "/")} for s, ts in edges.items() if s.startswith(scope + "/")}
        failures += circles(scoped)
    for failure in failures:
        print("FAIL: include each other in a circle: " + ", ".join(failure))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
