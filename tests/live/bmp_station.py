#!/usr/bin/env python3
"""Two monitored routers stream hand-built BMP to `rpd-host bmp` at once
over loopback. The good one mirrors an RPD UPDATE from its peer and then
sends a withdrawal as post-policy route monitoring, between Initiation,
Peer Up and Termination; the broken one sends a stream of BMP version 1. The
BMP messages here are written independently of rpd-host's own writer; the
UPDATEs come from `rpd-host encode`. rpd-host must decode both UPDATEs with
their router, peer, AS and time, report and close the broken stream, and
keep reading the good one. Bounded in time; rpd-host is stopped by its pid.
    bmp_station.py RPD_HOST SOURCE_DIR"""
import json
import os
import socket
import struct
import subprocess
import sys
import tempfile
import time

TOOL, SRC = sys.argv[1], sys.argv[2]


def bmp(kind, body):
    return struct.pack("!BIB", 3, 6 + len(body), kind) + body


def peer_header(addr, asn, sec, post=False):
    flags = 0x40 if post else 0
    return struct.pack("!BB8s16sIIII", 0, flags, b"\0" * 8, b"\0" * 12 + socket.inet_aton(addr), asn,
                       0xC0000201, sec, 500000)


def tlv(kind, value):
    return struct.pack("!HH", kind, len(value)) + value


def open_msg(asn):
    caps = bytes([2, 6, 1, 4, 0, 1, 0, 75])  # one capability: multiprotocol AFI 1 / SAFI 75
    body = struct.pack("!BHHIB", 4, asn, 90, 0x0A000001, len(caps)) + caps
    return b"\xff" * 16 + struct.pack("!HB", 19 + len(body), 1) + body


def update(work, sample):
    """The first UPDATE of a bundled sample, as a raw BGP message."""
    raw = os.path.join(work, sample + ".raw")
    subprocess.run([TOOL, "encode", "--format", "raw", "--output", raw, os.path.join(SRC, "samples", sample + ".json")],
                   check=True)
    data = open(raw, "rb").read()
    return data[:struct.unpack("!H", data[16:18])[0]]


def main():
    with tempfile.TemporaryDirectory() as work:
        return run(work)


def run(work):
    announce, withdraw = update(work, "full-set"), update(work, "withdraw")
    port = 20000 + os.getpid() % 20000
    out_path = os.path.join(work, "out.jsonl")
    with open(out_path, "w") as out, open(os.path.join(work, "err.txt"), "w") as err:
        host = subprocess.Popen([TOOL, "bmp", "--bind", "127.0.0.1", "--port", str(port), "--max-sessions", "2",
                                 "--duration", "20", "--json"], stdout=out, stderr=err)
    try:
        time.sleep(0.5)
        good = socket.create_connection(("127.0.0.1", port), timeout=5)
        bad = socket.create_connection(("127.0.0.1", port), timeout=5)
        good.sendall(bmp(4, tlv(2, b"edge-1") + tlv(1, b"lab router")))
        local = b"\0" * 12 + socket.inet_aton("192.0.2.254")
        good.sendall(bmp(3, peer_header("192.0.2.1", 65001, 1700000000) + local + struct.pack("!HH", 179, 40000)
                         + open_msg(65000) + open_msg(65001)))
        # Half a message first: the station waits for the rest while the other router breaks.
        mirrored = bmp(6, peer_header("192.0.2.1", 65001, 1700000001) + tlv(0, announce))
        good.sendall(mirrored[:30])
        bad.sendall(bytes([1, 0, 0, 0, 6, 4]))
        time.sleep(0.3)
        good.sendall(mirrored[30:])
        good.sendall(bmp(0, peer_header("192.0.2.1", 65001, 1700000002, post=True) + withdraw))
        good.sendall(bmp(5, tlv(1, b"\0\0")))
        time.sleep(0.3)
        good.close()
        bad.close()
        host.wait(timeout=10)
    finally:
        if host.poll() is None:
            host.kill()
            host.wait()

    failures = []
    if host.returncode != 1:
        failures.append(f"rpd-host exited with {host.returncode}, not 1 (the broken stream is damage)")
    records = [json.loads(line) for line in open(out_path)]
    routes = [r for r in records if r["type"] == "route"]
    got = [(r["action"], r["key"]["distinguisher"], r["peer"], r.get("peer_as"), r["time"]) for r in routes]
    want = [("announce", 7, "192.0.2.1", 65001, "2023-11-14T22:13:21.500000Z"),
            ("withdraw", 7, "192.0.2.1", 65001, "2023-11-14T22:13:22.500000Z"),
            ("withdraw", 8, "192.0.2.1", 65001, "2023-11-14T22:13:22.500000Z")]
    if got != want:
        failures.append(f"routes {got} instead of {want}")
    events = [r["event"] for r in records if r["type"] == "event"]
    for text in ['BMP initiation, sysName "edge-1", sysDescr "lab router"',
                 "RPD family (AFI 1, SAFI 75) offered by both", "BMP termination, administratively closed"]:
        if not any(text in e for e in events):
            failures.append(f"no event with {text!r}: {events}")
    problems = [r["what"] for r in records if r["type"] == "problem"]
    if len(problems) != 1 or "BMP version 1, not 3" not in problems[0]:
        failures.append(f"the broken stream was not reported once: {problems}")
    if failures:
        print("bmp_station: " + "\n  ".join(failures), file=sys.stderr)
        return 1
    print("bmp_station: the mirrored announcement and the monitored withdrawal decoded; the broken router reported")
    return 0


if __name__ == "__main__":
    sys.exit(main())
