#!/usr/bin/python3
"""Peers of the DNS proxy's UDP side for flood tests, from Python's standard library (run with /usr/bin/python3).

  udpfloodpeers.py upstream --listen ADDRESS:PORT
      A resolver that answers A 10.6.6.6 to names under ok.test and never answers any other. Prints "ready PORT".
  udpfloodpeers.py flood --port PORT --rate N --seconds S [--uid UID]
      As user UID (when given), sends N queries a second for names under flood.test, each once, to 127.0.0.1:PORT
      from 8 sockets for S seconds. Prints "flooding" after the first second and "sent K" at the end.
  udpfloodpeers.py ask --port PORT --count N --interval SECONDS
      Asks 127.0.0.1:PORT for N names under ok.test, one every SECONDS, each from a socket of its own. Prints a line
      for each that got no NOERROR answer within 1 s, then "answered K of N".
"""

import argparse
import os
import random
import select
import socket
import struct
import sys
import time

ANSWER = struct.pack("!HHHIH4B", 0xC00C, 1, 1, 60, 4, 10, 6, 6, 6)


def query(ident, name):
    wire = struct.pack("!HHHHHH", ident, 0x0100, 1, 0, 0, 0)
    for label in name.split("."):
        wire += bytes([len(label)]) + label.encode()
    return wire + b"\0" + struct.pack("!HH", 1, 1)


def question_end(wire):
    offset = 12
    while wire[offset]:
        offset += 1 + wire[offset]
    return offset + 5


def upstream(args):
    host, _, port = args.listen.rpartition(":")
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8 << 20)
    sock.bind((host, int(port)))
    print("ready %d" % sock.getsockname()[1], flush=True)
    while True:
        wire, source = sock.recvfrom(65535)
        try:
            end = question_end(wire)
        except IndexError:
            continue
        if not wire[12:end - 4].lower().endswith(b"\x02ok\x04test\x00"):
            continue
        ident = struct.unpack("!H", wire[:2])[0]
        sock.sendto(struct.pack("!HHHHHH", ident, 0x8180, 1, 1, 0, 0) + wire[12:end] + ANSWER, source)


def flood(args):
    if args.uid is not None:
        os.setgroups([])
        os.setgid(args.uid)
        os.setuid(args.uid)
    sockets = [socket.socket(socket.AF_INET, socket.SOCK_DGRAM) for _ in range(8)]
    for sock in sockets:
        sock.setblocking(False)
    start = time.monotonic()
    sent = 0
    said = False
    while True:
        elapsed = time.monotonic() - start
        if elapsed >= args.seconds:
            break
        if not said and elapsed >= 1:
            print("flooding", flush=True)
            said = True
        while sent < elapsed * args.rate:
            sock = sockets[sent % len(sockets)]
            try:
                sock.sendto(query(sent & 0xFFFF, "n%d-%d.flood.test" % (sent, random.getrandbits(32))),
                            ("127.0.0.1", args.port))
            except BlockingIOError:
                pass
            sent += 1
        for sock in sockets:
            try:
                while sock.recv(65535):
                    pass
            except BlockingIOError:
                pass
        time.sleep(0.005)
    print("sent %d" % sent, flush=True)


def ask(args):
    answered = 0
    for i in range(args.count):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
            name = "q%d.ok.test" % i
            ident = random.getrandbits(16)
            sent = time.monotonic()
            sock.sendto(query(ident, name), ("127.0.0.1", args.port))
            outcome = "no answer"
            while outcome == "no answer":
                left = sent + 1 - time.monotonic()
                if left <= 0 or not select.select([sock], [], [], left)[0]:
                    break
                wire = sock.recv(65535)
                if len(wire) < 12 or struct.unpack("!H", wire[:2])[0] != ident:
                    continue
                rcode = wire[3] & 0x0F
                outcome = "answered" if rcode == 0 else "rcode %d" % rcode
            if outcome == "answered":
                answered += 1
            else:
                print("%s: %s after %.3f s" % (name, outcome, time.monotonic() - sent), flush=True)
        time.sleep(args.interval)
    print("answered %d of %d" % (answered, args.count), flush=True)


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)
    server = commands.add_parser("upstream")
    server.add_argument("--listen", required=True)
    flooder = commands.add_parser("flood")
    flooder.add_argument("--port", type=int, required=True)
    flooder.add_argument("--rate", type=int, required=True)
    flooder.add_argument("--seconds", type=float, required=True)
    flooder.add_argument("--uid", type=int)
    asker = commands.add_parser("ask")
    asker.add_argument("--port", type=int, required=True)
    asker.add_argument("--count", type=int, required=True)
    asker.add_argument("--interval", type=float, required=True)
    args = parser.parse_args()
    {"upstream": upstream, "flood": flood, "ask": ask}[args.command](args)


if __name__ == "__main__":
    main()
