#!/usr/bin/env python3
"""Checks that the account cache and the machine root keep the credentials only in protected form.

    check_no_secrets.py ROOT ITEMS-FOLDER SECRET...

Every item file of the cache must be neither JSON text nor hold the JSON text of a document (its keys); no file
below the root may hold a secret in UTF-8 or UTF-16 (either byte order). Prints what it found and exits 1 on any
finding.
"""

import json
import os
import sys


# Keys of the documents the account client keeps.
DOCUMENT_KEYS = [b'"domain":', b'"token":', b'"plan":', b'"id":', b'"is_profile_on":', b'"actual":']


def forms(secret):
    return [secret.encode("utf-8"), secret.encode("utf-16-le"), secret.encode("utf-16-be")]


def main():
    root, items, secrets = sys.argv[1], sys.argv[2], sys.argv[3:]
    findings = []
    names = [n for n in os.listdir(items) if os.path.isfile(os.path.join(items, n))]
    if not names:
        findings.append("no cache items in " + items)
    for name in names:
        with open(os.path.join(items, name), "rb") as item:
            data = item.read()
        try:
            json.loads(data.decode("utf-8"))
            findings.append(name + " is JSON text")
        except ValueError:
            pass
        for key in DOCUMENT_KEYS:
            if key in data:
                findings.append("%s holds the JSON text %r" % (name, key.decode()))
    for folder, _, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            if os.path.islink(path):
                continue
            with open(path, "rb") as handle:
                data = handle.read()
            for secret in secrets:
                if any(form in data for form in forms(secret)):
                    findings.append("%s holds %r in clear" % (os.path.relpath(path, root), secret))
    for finding in findings:
        print(finding)
    print("%d cache items, %d findings" % (len(names), len(findings)))
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())
