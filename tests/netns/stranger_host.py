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
  stranger_host.py hold HOST PORT WATCH TEXT SECONDS ADDRESS... [--once] [--delay S]
                   [--stop FILE]
      S seconds after WATCH holds TEXT, a client on each ADDRESS (of this host) sends
      a read request and acknowledges block 1 when it comes; then, every 1.5 s for
      SECONDS or until FILE exists, acknowledges block 1 again (asking again while no
      block has come). --once: nothing after the first ACK (a client that stalls).
      Prints JSON per address.
  stranger_host.py errors HOST PORT WATCH TEXT COUNT SECONDS
      Once WATCH holds TEXT, sends a read request and, when block 1 comes, COUNT TFTP
      ERROR packets to the port it came from, spread over SECONDS. Prints JSON.
"""
import argparse
import json
import os
import random
import select
import socket
import sys
import time

MAX_LENGTH = 9000
BOOTP_MESSAGE = 300
WATCH_LIMIT_S = 120
RRQ = b"\x00\x01x\x00octet\x00"
ROUND_S = 1.5
MAX_HOLD_S = 60


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


def wait_for(watch, text, mode):
    limit = time.monotonic() + WATCH_LIMIT_S
    while time.monotonic() < limit:
        try:
            with open(watch) as seen:
                if text in seen.read():
                    return
        except FileNotFoundError:
            pass
        time.sleep(0.005)
    print(json.dumps({"mode": mode, "error": f"{text} never appeared in {watch}"}))
    sys.exit(1)


def rrq(host, port, watch, text, hold):
    wait_for(watch, text, "rrq")
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.sendto(RRQ, (host, port))
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


def ack(block):
    return b"\x00\x04" + block.to_bytes(2, "big")


class HoldingClient:
    """One address's client: its socket, the server's transfer port once known."""

    def __init__(self, address, server):
        self.address, self.server = address, server
        self.counts = {"requests": 0, "data_received": 0, "acks": 0}
        self.sock = None
        self.transfer_port = None
        self.request()

    def request(self):
        if self.sock:
            self.sock.close()
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((self.address, 0))
        self.sock.setblocking(False)
        self.transfer_port = None
        self.sock.sendto(RRQ, self.server)
        self.counts["requests"] += 1

    def send_ack_1(self):
        try:
            self.sock.sendto(ack(1), (self.server[0], self.transfer_port))
            self.counts["acks"] += 1
        except OSError:
            pass  # an ICMP error of the last one

    def receive(self):
        """Takes what arrived; True when it was block 1 of a new transfer (acknowledged)."""
        first = False
        while True:
            try:
                data, source = self.sock.recvfrom(1024)
            except OSError:  # nothing more, or an ICMP error
                return first
            self.counts["data_received"] += 1
            if data[:4] == b"\x00\x03\x00\x01" and self.transfer_port is None:
                self.transfer_port = source[1]
                self.send_ack_1()
                first = True

    def next_round(self):
        if self.transfer_port is None:
            self.request()
        else:
            self.send_ack_1()


def hold(host, port, watch, text, seconds, addresses, options):
    wait_for(watch, text, "hold")
    time.sleep(min(options.delay, MAX_HOLD_S))
    clients = [HoldingClient(address, (host, port)) for address in addresses]
    start = time.monotonic()
    end = start + min(seconds, MAX_HOLD_S)
    next_round = start + ROUND_S
    while time.monotonic() < end and not (options.stop and os.path.exists(options.stop)):
        select.select([c.sock for c in clients], [], [], 0.05)
        for client in clients:
            client.receive()
        if time.monotonic() >= next_round:
            next_round += ROUND_S
            if not options.once:
                for client in clients:
                    client.next_round()
    print(json.dumps({"mode": "hold", "once": options.once,
                      "clients": {c.address: c.counts for c in clients}}), flush=True)


def errors(host, port, watch, text, count, seconds):
    wait_for(watch, text, "errors")
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.settimeout(1.0)
    transfer_port = None
    for _ in range(5):
        sock.sendto(RRQ, (host, port))
        try:
            data, source = sock.recvfrom(1024)
        except socket.timeout:
            continue
        if data[:4] == b"\x00\x03\x00\x01":
            transfer_port = source[1]
            break
    if transfer_port is None:
        print(json.dumps({"mode": "errors", "error": "no block 1 came"}), flush=True)
        sys.exit(1)
    seconds = min(seconds, MAX_HOLD_S)
    start = time.monotonic()
    sent = 0
    for k in range(count):
        due = start + seconds * k / count
        if due > time.monotonic():
            time.sleep(due - time.monotonic())
        try:
            sock.sendto(b"\x00\x05\x00\x00stranger\x00", (host, transfer_port))
            sent += 1
        except OSError:
            pass
    print(json.dumps({"mode": "errors", "sent": sent,
                      "seconds": round(time.monotonic() - start, 2)}), flush=True)


def main(argv):
    if len(argv) >= 5 and argv[0] == "flood":
        options = argv[5:]
        kind = options[options.index("--kind") + 1] if "--kind" in options else "any"
        seed = int(options[options.index("--seed") + 1]) if "--seed" in options else 1
        flood(argv[1], int(argv[2]), int(argv[3]), float(argv[4]), "--broadcast" in options,
              kind, seed)
    elif len(argv) == 6 and argv[0] == "rrq":
        rrq(argv[1], int(argv[2]), argv[3], argv[4], float(argv[5]))
    elif len(argv) >= 7 and argv[0] == "hold":
        parser = argparse.ArgumentParser(prog="stranger_host.py hold")
        parser.add_argument("addresses", nargs="+")
        parser.add_argument("--once", action="store_true")
        parser.add_argument("--delay", type=float, default=0.0)
        parser.add_argument("--stop")
        options = parser.parse_args(argv[6:])
        hold(argv[1], int(argv[2]), argv[3], argv[4], float(argv[5]), options.addresses,
             options)
    elif len(argv) == 7 and argv[0] == "errors":
        errors(argv[1], int(argv[2]), argv[3], argv[4], int(argv[5]), float(argv[6]))
    else:
        sys.stderr.write(__doc__)
        sys.exit(2)


if __name__ == "__main__":
    main(sys.argv[1:])
