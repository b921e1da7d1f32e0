#!/usr/bin/env python3
"""Writes the fuzzers' seed inputs into fuzz/corpus/NAME/, in each target's input
format, from the captured packets of tests/data (busybox udhcpc, curl, tftp-hpa, the
simulated board) and a few made here. Run it again after a change of format."""
import pathlib
import re
import struct

ROOT = pathlib.Path(__file__).resolve().parent.parent
PACKETS = ROOT / "tests" / "data" / "captured_packets.h"
CORPUS = ROOT / "fuzz" / "corpus"


def data(name):
    """The bytes of the annotated array `name` in captured_packets.h."""
    match = re.search(r"\b%s\[(\d+)\] = \{(.*?)\};" % name, PACKETS.read_text(), re.S)
    body = re.sub(r"//[^\n]*", "", match.group(2))
    packet = bytes(int(x, 16) for x in re.findall(r"0x([0-9A-F]{2})", body))
    assert len(packet) == int(match.group(1)), name
    return packet


def u16(value):
    return struct.pack("<H", value)


def write(target, name, content):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(content)


def bootp_record(kind, advance, datagram=b""):
    record = bytes([kind]) + u16(advance)
    return record if kind % 3 == 0 else record + u16(len(datagram)) + datagram


def tftp_record(kind, client, advance, packet=b""):
    record = bytes([kind, client]) + u16(advance)
    return record + u16(len(packet)) + packet if kind in (0, 1) else record


def ack(block):
    return b"\x00\x04" + struct.pack(">H", block)


def seeds_bootp():
    discover = data("kUdhcpcDiscover")
    write("fuzz_bootp_request", "board_then_udhcpc_beside",
          bootp_record(0, 2000) + bootp_record(2, 10, discover) + bootp_record(0, 1000) +
          bootp_record(0, 1000) + bootp_record(2, 1600, discover))
    junk = bytes(range(256)) * 2
    write("fuzz_bootp_request", "junk_on_both_adapters",
          bootp_record(1, 1600, junk) + bootp_record(2, 0, junk[:299]) + bootp_record(0, 0))


def seeds_tftp():
    curl, hpa = data("kCurlRrq"), data("kTftpHpaRrq")
    whole = tftp_record(0, 0, 0, curl)
    for block in range(1, 44):
        whole += tftp_record(1, 0, 5, ack(block))
    write("fuzz_tftp_packets", "curl_whole_transfer", whole)
    beside = tftp_record(0, 1, 0, b"\x00\x01x\x00octet\x00") + tftp_record(0, 0, 600, hpa)
    for block in range(1, 10):
        beside += tftp_record(1, 0, 5, ack(block)) + tftp_record(3, 0, 250)
    beside += tftp_record(2, 0, 250) * 9 + tftp_record(1, 0, 5, data("kCurlAck1"))
    write("fuzz_tftp_packets", "stranger_first_then_tftp_hpa", beside)
    write("fuzz_tftp_packets", "silence_then_question",
          tftp_record(0, 2, 0, hpa) + tftp_record(1, 2, 1, ack(1)) + tftp_record(2, 0, 250) * 9 +
          tftp_record(4, 0, 0x8000))


def seeds_board_datagram():
    captured = data("kBoardSimLinkDatagram")
    write("fuzz_board_datagram", "board_sim_status", captured)
    with_payload = bytearray(captured) + b"\x08\x00\x6b\x6b\x01\x02\x03\x04"
    with_payload[100:104] = struct.pack("<I", 8)
    write("fuzz_board_datagram", "with_a_message", bytes(with_payload))


def seeds_link():
    captured = data("kBoardSimLinkDatagram")
    queued = bytes([2, 3]) + b"\x08\x00\x8e\x8e" + bytes([3]) + b"\x04\x00\x7c\x7c"
    second = bytearray(captured)
    second[8:12] = struct.pack("<I", 2)
    records = (bytes([0]) + u16(len(captured)) + captured + bytes([1]) + u16(len(second)) +
               bytes(second) + bytes([0]) + u16(len(second)) + bytes(second))
    write("fuzz_link_receive", "board_acknowledges_two", queued + records)


def seeds_config():
    for name, fields in {"defaults": ("10.9.9.9", "FF-FF-FF-FF-FF-FF", "New Ethernet Orvantis"),
                         "locked": ("192.168.1.20", "00-1b-2C-3d-4E-5f", "Axis 3"),
                         "odd": ("10.9.9", "12-34-5", "x" * 70)}.items():
        write("fuzz_config_text", name, "\0".join(fields).encode())


def seeds_ini():
    write("fuzz_ini_document", "progress_window",
          u16(32868) + b"[Settings]\nX=100\nY=200\n[Other]\nX=3\n")
    write("fuzz_ini_document", "hand_written", u16(0) + b"; note\n[Settings]\nY=oops\nX=1 \n[X=1]\n")


def seeds_queue():
    ops = b"".join(bytes([op]) + u16(arg) for op, arg in
                   [(0, 10), (0, 300), (1, 5), (3, 0), (0, 40), (2, 600), (4, 0), (0, 1), (5, 0xA5),
                    (2, 1), (1, 1)])
    write("fuzz_queue_model", "wrap_and_abort", u16(64) + ops)


for make in (seeds_bootp, seeds_tftp, seeds_board_datagram, seeds_link, seeds_config, seeds_ini,
             seeds_queue):
    make()
