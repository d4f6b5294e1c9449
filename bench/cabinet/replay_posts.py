#!/usr/bin/env python3
"""Replays JSON-RPC POST bodies to the fake account service, one HTTPS connection each, and prints the
milliseconds it took.

    replay_posts.py BASE-URL CA-FILE BODIES-JSON
"""

import base64
import http.client
import json
import ssl
import sys
import time
import urllib.parse


def main():
    base, ca, bodies_path = sys.argv[1:4]
    with open(bodies_path) as handle:
        bodies = json.load(handle)
    url = urllib.parse.urlparse(base)
    context = ssl.create_default_context(cafile=ca)
    headers = {"Content-Type": "application/json; charset=utf-8", "Connection": "close",
               "Authorization": "Basic " + base64.b64encode(b"ann:pw").decode()}
    start = time.monotonic()
    for body in bodies:
        connection = http.client.HTTPSConnection(url.hostname, url.port, context=context)
        connection.request("POST", "/api/json?stamp=%d" % int(time.time()), body.encode(), headers)
        reply = connection.getresponse()
        json.loads(reply.read())
        connection.close()
    print("%.1f" % ((time.monotonic() - start) * 1000))


if __name__ == "__main__":
    main()
