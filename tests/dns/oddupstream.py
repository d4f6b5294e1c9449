#!/usr/bin/python3
"""A DNS server over UDP with the habits of some real ones, written with dnspython (run it with /usr/bin/python3).

  oddupstream.py --listen 127.0.0.2:0
      Prints "ready PORT" once it listens. By the question's name:
        case.test   answered A 10.6.6.6 under the question's name with the case of every letter turned
        edns.test   a query with an OPT record gets the 12 header bytes alone with FORMERR, as a server that does
                    not speak EDNS sends; one without gets A 10.5.5.5
        anything else: no answer at all
      Every query is counted; "queries NAME COUNT" lines go to standard error.
"""

import argparse
import socket
import struct
import sys

import dns.flags
import dns.message
import dns.name
import dns.rcode
import dns.rrset


def swap_case(name):
    return dns.name.from_text("".join(c.lower() if c.isupper() else c.upper() for c in name.to_text()))


def answer(wire):
    query = dns.message.from_wire(wire, ignore_trailing=True)
    question = query.question[0]
    name = question.name.to_text(omit_final_dot=True).lower()
    counts[name] = counts.get(name, 0) + 1
    print("queries %s %d" % (name, counts[name]), file=sys.stderr, flush=True)
    if name == "edns.test":
        if query.edns >= 0:
            flags = 0x8000 | (query.flags & 0x0100) | dns.rcode.FORMERR
            return struct.pack("!HHHHHH", query.id, flags, 0, 0, 0, 0)
        response = dns.message.make_response(query)
        response.answer.append(dns.rrset.from_text(question.name, 60, "IN", "A", "10.5.5.5"))
        return response.to_wire()
    if name == "case.test":
        response = dns.message.make_response(query)
        response.question = [dns.rrset.RRset(swap_case(question.name), question.rdclass, question.rdtype)]
        response.answer.append(dns.rrset.from_text(swap_case(question.name), 60, "IN", "A", "10.6.6.6"))
        return response.to_wire()
    return None


counts = {}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--listen", required=True)
    args = parser.parse_args()
    host, _, port = args.listen.rpartition(":")
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((host, int(port)))
    print("ready %d" % sock.getsockname()[1], flush=True)
    while True:
        wire, source = sock.recvfrom(65535)
        try:
            reply = answer(wire)
        except Exception as error:  # a test may send anything; the server goes on
            print("undecodable query: %s" % error, file=sys.stderr, flush=True)
            continue
        if reply is not None:
            sock.sendto(reply, source)


if __name__ == "__main__":
    main()
