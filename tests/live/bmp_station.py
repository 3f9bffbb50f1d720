#!/usr/bin/env python3
"""Two monitored routers stream hand-built BMP to `rpd-host bmp` at once
over loopback. The good one mirrors an RPD UPDATE from its peer and then
sends a withdrawal as post-policy route monitoring, between Initiation,
Peer Up and Termination; the broken one sends a stream of BMP version 1. The
BMP messages here are written independently of rpd-host's own writer; the
UPDATEs come from `rpd-host encode`. rpd-host must decode both UPDATEs with
their router, peer, AS and time, report and close the broken stream, and
keep reading the good one. The station records what the routers send
(pcap, rotated by size): every file replays on its own with no option, and
together they give the same routes. Bounded in time; rpd-host is stopped by
its pid.
    bmp_station.py RPD_HOST SOURCE_DIR"""
import glob
import json
import os
import socket
import struct
import subprocess
import sys
import tempfile
import time

TOOL, SRC = sys.argv[1], sys.argv[2]
sys.path.insert(0, os.path.join(SRC, "tests", "support"))
from bmp_stream import bmp, open_msg, peer_header, tlv, update  # noqa: E402


def main():
    with tempfile.TemporaryDirectory() as work:
        return run(work)


def run(work):
    announce, withdraw = update(TOOL, SRC, work, "full-set"), update(TOOL, SRC, work, "withdraw")
    port = 20000 + os.getpid() % 20000
    out_path = os.path.join(work, "out.jsonl")
    with open(out_path, "w") as out, open(os.path.join(work, "err.txt"), "w") as err:
        host = subprocess.Popen([TOOL, "bmp", "--bind", "127.0.0.1", "--port", str(port), "--sessions", "2",
                                 "--duration", "20", "--json", "--write", os.path.join(work, "rec.pcap"),
                                 "--write-rotate", "1K"], stdout=out, stderr=err)
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
    # The record: each file alone, with no option; the routes of all of them are those decoded live.
    files = sorted(glob.glob(os.path.join(work, "rec.[0-9]*.pcap")))
    replayed = []
    for f in files:
        r = subprocess.run([TOOL, "--json", "--no-summary", f], capture_output=True, text=True)
        if r.returncode != 0:
            failures.append(f"{os.path.basename(f)} does not replay cleanly: {r.stderr[-800:]}")
        replayed += [(x["action"], x["key"]["distinguisher"], x["peer"], x.get("peer_as"), x["time"])
                     for x in map(json.loads, r.stdout.splitlines()) if x["type"] == "route"]
    if len(files) < 2 or replayed != want:
        failures.append(f"{len(files)} recorded files replay to {replayed}")
    if failures:
        print("bmp_station: " + "\n  ".join(failures), file=sys.stderr)
        return 1
    print("bmp_station: the mirrored announcement and the monitored withdrawal decoded; the broken router reported")
    return 0


if __name__ == "__main__":
    sys.exit(main())
