#!/usr/bin/env python3
"""Peers of the block page that no test here could be without, from Python's standard library.

  blockpagepeers.py hold --port PORT --count N [--uid UID]
      As user UID (when given), opens N connections to 127.0.0.1:PORT and sends nothing on them. Prints "held N"
      once all are made; at the end of its input prints "open K", the number the server still keeps open, and exits.
  blockpagepeers.py request --port PORT METHOD:TARGET...
      Sends the requests in order through one http.client connection, as a program would that reuses it whenever
      the server lets it. Prints "STATUS LOCATION LENGTH" for each (LENGTH: the body's bytes); on an error prints
      "error TEXT" and exits 1.
"""

import argparse
import http.client
import os
import socket
import sys


def hold(args):
    if args.uid is not None:
        os.setgroups([])
        os.setgid(args.uid)
        os.setuid(args.uid)
    sockets = [socket.create_connection(("127.0.0.1", args.port), timeout=30) for _ in range(args.count)]
    print("held %d" % len(sockets), flush=True)
    sys.stdin.read()
    still_open = 0
    for sock in sockets:
        sock.setblocking(False)
        try:
            # Nothing to read and no end: the server keeps the connection.
            if sock.recv(1):
                continue
        except BlockingIOError:
            still_open += 1
        except OSError:
            pass
    print("open %d" % still_open, flush=True)


def request(args):
    connection = http.client.HTTPConnection("127.0.0.1", args.port, timeout=30)
    for item in args.requests:
        method, target = item.split(":", 1)
        try:
            connection.request(method, target)
            response = connection.getresponse()
            body = response.read()
        except Exception as error:
            print("error %s: %s" % (type(error).__name__, error), flush=True)
            sys.exit(1)
        print("%d %s %d" % (response.status, response.getheader("Location", "-"), len(body)), flush=True)


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)
    holder = commands.add_parser("hold")
    holder.add_argument("--port", type=int, required=True)
    holder.add_argument("--count", type=int, required=True)
    holder.add_argument("--uid", type=int)
    requester = commands.add_parser("request")
    requester.add_argument("--port", type=int, required=True)
    requester.add_argument("requests", nargs="+")
    args = parser.parse_args()
    hold(args) if args.command == "hold" else request(args)


if __name__ == "__main__":
    main()
