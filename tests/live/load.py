#!/usr/bin/env python3
"""Load on `rpd-host listen` over loopback: SESSIONS peers at once, each
announcing ROUTES RPD routes (one UPDATE per route, each with its own
distinguisher and a Wide Community policy), then closing with a Cease.
Every route must be decoded, and rpd-host's peak memory must stay within
a bound that does not grow with the routes sent. Prints routes/s and the
peak memory. Bounded in time; rpd-host is stopped by its pid.
With RECORD and ROTATE, rpd-host also records (--write RECORD
--write-rotate ROTATE): every rotated file must replay on its own, and
together they must hold every route once.
    load.py RPD_HOST SOURCE_DIR [SESSIONS ROUTES [PEAK_LIMIT_KB [RECORD ROTATE]]]
(a limit of 0 checks no bound: sanitizers hold freed memory on purpose)"""
import glob
import os
import re
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

TOOL, SRC = sys.argv[1], sys.argv[2]
SESSIONS = int(sys.argv[3]) if len(sys.argv) > 3 else 50
ROUTES = int(sys.argv[4]) if len(sys.argv) > 4 else 10000
# The data sent is 100 MB at 50 x 10,000 routes; rpd-host holds at most one read and one message a session.
PEAK_LIMIT_KB = int(sys.argv[5]) if len(sys.argv) > 5 else 32 * 1024
RECORD, ROTATE = (sys.argv[6], sys.argv[7]) if len(sys.argv) > 7 else (None, None)


def msg(kind, body=b""):
    return b"\xff" * 16 + struct.pack("!HB", 19 + len(body), kind) + body


def attr(flags, code, value):
    if len(value) > 255:
        return struct.pack("!BBH", flags | 0x10, code, len(value)) + value
    return struct.pack("!BBB", flags, code, len(value)) + value


def policy_bytes(work):
    """The Wide Community value of the bundled full-set sample."""
    raw = os.path.join(work, "full.raw")
    subprocess.run([TOOL, "encode", "--format", "raw", "--output", raw, os.path.join(SRC, "samples/full-set.json")],
                   check=True)
    data = open(raw, "rb").read()
    at = data.index(bytes([0xC0, 129]))  # the Wide Community, flags optional transitive
    return data[at + 3:at + 3 + data[at + 2]]


def updates(session, policy):
    """One session's UPDATEs: route i has distinguisher i and the session's peer address in its key."""
    head = attr(0x40, 1, b"\0") + attr(0x40, 2, struct.pack("!BBI", 2, 1, 65001))
    wc = attr(0xC0, 129, policy)
    out = bytearray()
    for i in range(ROUTES):
        reach = struct.pack("!HBB4sB", 1, 75, 4, socket.inet_aton("192.0.2.1"), 0)
        reach += struct.pack("!BBII", 9, 1, i, 0x0A000000 + session)
        attrs = head + attr(0x80, 14, reach) + wc
        out += msg(2, struct.pack("!HH", 0, len(attrs)) + attrs)
    return bytes(out)


def open_msg(asn, ident):
    caps = bytes([2, 6, 1, 4, 0, 1, 0, 75, 2, 6, 65, 4]) + struct.pack("!I", asn)
    return msg(1, struct.pack("!BHHIB", 4, asn, 90, ident, len(caps)) + caps)


def read_until(sock, count):
    """Reads whole messages until `count` have come."""
    data, got = b"", 0
    while got < count:
        data += sock.recv(65536)
        while len(data) >= 19 and len(data) >= struct.unpack("!H", data[16:18])[0]:
            data = data[struct.unpack("!H", data[16:18])[0]:]
            got += 1


def peer(port, session, stream, ready, go, errors):
    try:
        s = socket.create_connection(("127.0.0.1", port), timeout=30)
        s.sendall(open_msg(65001, 0x0B000000 + session))
        read_until(s, 2)  # its OPEN and KEEPALIVE
        s.sendall(msg(4))
        ready.release()
        go.wait()
        s.sendall(stream)
        s.sendall(msg(3, bytes([6, 2])))  # Cease
        s.shutdown(socket.SHUT_WR)
        s.settimeout(60)
        while s.recv(65536):  # until rpd-host closes
            pass
        s.close()
    except OSError as e:
        errors.append(f"session {session}: {e}")
        ready.release()


def high_water(pid):
    """The process's peak resident memory in kB (its own, after exec)."""
    for line in open(f"/proc/{pid}/status"):
        if line.startswith("VmHWM:"):
            return int(line.split()[1])
    return 0


def main():
    with tempfile.TemporaryDirectory() as work:
        return run(work)


def run(work):
    policy = policy_bytes(work)
    streams = [updates(s, policy) for s in range(SESSIONS)]
    port = 20000 + os.getpid() % 20000
    out_path = os.path.join(work, "out.txt")
    record = ["--write", os.path.join(work, RECORD), "--write-rotate", ROTATE] if RECORD else []
    with open(out_path, "w") as out:
        host = subprocess.Popen([TOOL, "listen", "--bind", "127.0.0.1", "--port", str(port), "--quiet",
                                 "--duration", "240"] + record, stdout=out, stderr=subprocess.STDOUT)
    errors = []
    try:
        time.sleep(0.5)
        ready, go = threading.Semaphore(0), threading.Event()
        threads = [threading.Thread(target=peer, args=(port, s, streams[s], ready, go, errors), daemon=True)
                   for s in range(SESSIONS)]
        for t in threads:
            t.start()
        for _ in threads:
            ready.acquire()
        start = time.time()
        go.set()
        # A peer's connection ends when rpd-host has read its Cease, after all its UPDATEs.
        for t in threads:
            t.join(timeout=200)
        seconds = time.time() - start
        peak_kb = high_water(host.pid)
        host.send_signal(signal.SIGTERM)
        host.wait(timeout=20)
    finally:
        if host.poll() is None:
            host.kill()
            host.wait()
    text = open(out_path).read()
    found = re.search(r"routes announced (\d+)", text)
    announced = int(found.group(1)) if found else -1
    want = SESSIONS * ROUTES
    failures = list(errors)
    if host.returncode != 0:
        failures.append(f"rpd-host exited with {host.returncode}: {text[-2000:]}")
    if announced != want:
        failures.append(f"{announced} routes decoded of {want}")
    if PEAK_LIMIT_KB and peak_kb > PEAK_LIMIT_KB:
        failures.append(f"peak memory {peak_kb} kB exceeds {PEAK_LIMIT_KB} kB")
    if RECORD:
        stem, ext = os.path.splitext(RECORD)
        files = sorted(glob.glob(os.path.join(work, f"{stem}.[0-9]*{ext}")))
        replayed = 0
        for f in files:
            r = subprocess.run([TOOL, "--quiet", "--no-progress", f], capture_output=True, text=True)
            found = re.search(r"routes announced (\d+)", r.stdout)
            if r.returncode != 0 or not found:
                failures.append(f"{os.path.basename(f)} does not replay cleanly: {r.stdout}{r.stderr[-1000:]}")
            replayed += int(found.group(1)) if found else 0
        if len(files) < 3 or replayed != want:
            failures.append(f"{len(files)} rotated files replay to {replayed} routes of {want}")
        print(f"load: recorded into {len(files)} files, each replayed on its own")
    if failures:
        print("load: " + "\n  ".join(failures), file=sys.stderr)
        return 1
    print(f"load: {SESSIONS} sessions x {ROUTES} routes = {want} routes decoded in {seconds:.2f} s "
          f"({want / seconds:,.0f} routes/s); rpd-host peak memory {peak_kb / 1024:.1f} MiB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
