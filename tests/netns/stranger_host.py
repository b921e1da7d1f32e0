#!/usr/bin/env python3
"""Another host on the network, for the namespace scenarios (run it only inside the
stranger's namespace). Every loop that sends is bounded in count and in time.

  stranger_host.py flood HOST PORT COUNT SECONDS [--broadcast] [--kind KIND] [--seed N]
      COUNT malformed datagrams of random length 0 to 9000 bytes, spread over at most
      SECONDS (0: as fast as they go). KIND bootp: never a BOOTP request; tftp: half of
      them begin as a read request does (00 01) and hold zero bytes, none well-formed;
      any: random bytes. Prints a JSON line with what was sent.
  stranger_host.py rrq HOST PORT WATCH TEXT HOLD
      Once the file WATCH holds TEXT, sends one well-formed read request and never
      acknowledges what comes back; counts it for HOLD seconds, then prints JSON.
"""
import json
import os
import random
import socket
import sys
import time

MAX_LENGTH = 9000
BOOTP_MESSAGE = 300
WATCH_LIMIT_S = 120


def malformed(rng, pool, kind):
    length = rng.randint(0, MAX_LENGTH)
    start = rng.randint(0, len(pool) - MAX_LENGTH)
    datagram = bytearray(pool[start:start + length])
    if kind == "bootp":
        # The last whole 300-byte block is what a BOOTP server reads: never op 1.
        blocks = length // BOOTP_MESSAGE
        if blocks:
            last = (blocks - 1) * BOOTP_MESSAGE
            if datagram[last] == 1:
                datagram[last] = 2
    elif kind == "tftp" and length >= 4 and rng.random() < 0.5:
        datagram[0:2] = b"\x00\x01"
        for _ in range(rng.randint(2, 4)):
            datagram[rng.randint(2, length - 1)] = 0
        # A mode that no server knows keeps even a lucky one malformed.
        if b"octet\x00" in datagram or b"netascii\x00" in datagram or b"mail\x00" in datagram:
            datagram[0:2] = b"\x00\x07"
    return bytes(datagram)


def flood(host, port, count, seconds, broadcast, kind, seed):
    rng = random.Random(seed)
    pool = rng.randbytes(4 * MAX_LENGTH)
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    if broadcast:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    start = time.monotonic()
    deadline = start + (seconds if seconds > 0 else 60)
    sent = failed = 0
    sent_bytes = 0
    for k in range(count):
        now = time.monotonic()
        if now >= deadline:
            break
        if seconds > 0:
            due = start + seconds * k / count
            if due > now:
                time.sleep(due - now)
        datagram = malformed(rng, pool, kind)
        try:
            sock.sendto(datagram, (host, port))
            sent += 1
            sent_bytes += len(datagram)
        except OSError:
            failed += 1  # a full send buffer, or an ICMP error of the last one
    print(json.dumps({"mode": "flood", "to": f"{host}:{port}", "kind": kind,
                      "sent": sent, "bytes": sent_bytes, "failed": failed,
                      "seconds": round(time.monotonic() - start, 2)}), flush=True)


def rrq(host, port, watch, text, hold):
    limit = time.monotonic() + WATCH_LIMIT_S
    while time.monotonic() < limit:
        try:
            with open(watch) as seen:
                if text in seen.read():
                    break
        except FileNotFoundError:
            pass
        time.sleep(0.005)
    else:
        print(json.dumps({"mode": "rrq", "error": f"{text} never appeared in {watch}"}))
        sys.exit(1)
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.sendto(b"\x00\x01x\x00octet\x00", (host, port))
    sent_at = time.time()
    sock.settimeout(0.1)
    received = 0
    end = time.monotonic() + hold
    while time.monotonic() < end:
        try:
            sock.recvfrom(1024)
            received += 1
        except socket.timeout:
            pass
    print(json.dumps({"mode": "rrq", "sent_at": sent_at, "data_received": received}),
          flush=True)


def main(argv):
    if len(argv) >= 5 and argv[0] == "flood":
        options = argv[5:]
        kind = options[options.index("--kind") + 1] if "--kind" in options else "any"
        seed = int(options[options.index("--seed") + 1]) if "--seed" in options else 1
        flood(argv[1], int(argv[2]), int(argv[3]), float(argv[4]), "--broadcast" in options,
              kind, seed)
    elif len(argv) == 6 and argv[0] == "rrq":
        rrq(argv[1], int(argv[2]), argv[3], argv[4], float(argv[5]))
    else:
        sys.stderr.write(__doc__)
        sys.exit(2)


if __name__ == "__main__":
    main(sys.argv[1:])
