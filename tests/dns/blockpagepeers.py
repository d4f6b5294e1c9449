#!/usr/bin/env python3
"""Peers of the block page that no test here could be without, from Python's standard library.

  blockpagepeers.py hold --port PORT --count N [--uid UID] [--answered]
      As user UID (when given), opens N connections to 127.0.0.1:PORT and sends nothing on them (with --answered:
      sends a whole request on each and reads its answer, but never closes). Prints "held N" once all are made; at
      the end of its input prints "open K", the number the server still keeps open, and exits.
  blockpagepeers.py request --port PORT [--body BYTES] METHOD:TARGET...
      Sends the requests in order through one http.client connection, as a program would that reuses it whenever
      the server lets it, each with a body of BYTES bytes when given. Prints "STATUS LOCATION LENGTH" for each
      (LENGTH: the body's bytes); on an error prints "error TEXT" and exits 1.
  blockpagepeers.py trailing --port PORT --bytes BYTES
      On a raw socket, sends a GET request's head, then BYTES more bytes while it reads the answer to the end. Prints "whole answer, then end" when the answer's head came whole and then the end of the
      connection, "reset" in place of "end" when a reset came instead (to the reader or the sender), and "no answer" first when the head did not.
"""

import argparse
import http.client
import os
import socket
import sys
import threading


def hold(args):
    if args.uid is not None:
        os.setgroups([])
        os.setgid(args.uid)
        os.setuid(args.uid)
    sockets = [socket.create_connection(("127.0.0.1", args.port), timeout=30) for _ in range(args.count)]
    if args.answered:
        for sock in sockets:
            sock.sendall(b"GET /?blockpage=10.0.0.1&hostname=a HTTP/1.1\r\n\r\n")
            answer = b""
            while not answer.endswith(b"\r\n\r\n"):
                answer += sock.recv(4096)
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
            connection.request(method, target, body=b"x" * args.body if args.body else None)
            response = connection.getresponse()
            body = response.read()
        except Exception as error:
            print("error %s: %s" % (type(error).__name__, error), flush=True)
            sys.exit(1)
        print("%d %s %d" % (response.status, response.getheader("Location", "-"), len(body)), flush=True)


def trailing(args):
    sock = socket.create_connection(("127.0.0.1", args.port), timeout=30)
    sock.sendall(b"GET /?blockpage=10.0.0.1&hostname=a HTTP/1.1\r\nHost: x\r\n\r\n")

    resets = []

    def send_more():
        try:
            sock.sendall(b"y" * args.bytes)
        except (BrokenPipeError, ConnectionResetError):
            resets.append(True)

    sender = threading.Thread(target=send_more)
    sender.start()
    received = b""
    try:
        while True:
            chunk = sock.recv(65536)
            if not chunk:
                break
            received += chunk
        ending = "end"
    except ConnectionResetError:
        ending = "reset"
    sender.join()
    if resets:
        ending = "reset"
    # The 303 has no body: its head is the whole answer.
    complete = received.startswith(b"HTTP/1.1 303 See Other\r\n") and received.endswith(b"\r\n\r\n")
    print("%s, then %s" % ("whole answer" if complete else "no answer", ending), flush=True)


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)
    holder = commands.add_parser("hold")
    holder.add_argument("--port", type=int, required=True)
    holder.add_argument("--count", type=int, required=True)
    holder.add_argument("--uid", type=int)
    holder.add_argument("--answered", action="store_true")
    requester = commands.add_parser("request")
    requester.add_argument("--port", type=int, required=True)
    requester.add_argument("--body", type=int, default=0)
    requester.add_argument("requests", nargs="+")
    trailer = commands.add_parser("trailing")
    trailer.add_argument("--port", type=int, required=True)
    trailer.add_argument("--bytes", type=int, required=True)
    args = parser.parse_args()
    {"hold": hold, "request": request, "trailing": trailing}[args.command](args)


if __name__ == "__main__":
    main()
