#!/usr/bin/python3
"""`rpd-host listen` out of file descriptors (RLIMIT_NOFILE set low): the
peers that find no descriptor get a NOTIFICATION (Cease, Out of Resources)
at once instead of waiting in the backlog until they time out, rpd-host does
not spin while the shortage lasts, says when it begins and ends, and accepts
again once descriptors free up; with --max-sessions a peer beyond the cap is
refused the same way. Bounded in time; rpd-host is stopped by its pid.

  descriptors.py RPD_HOST
"""
import json
import os
import resource
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

TOOL = sys.argv[1]
LIMIT = 16  # descriptors rpd-host may hold: a handful of its own, the rest for peers
PEERS = 30


def first_message(sock, within):
    """The type and body of the first message the peer is sent, or None."""
    sock.settimeout(within)
    data = b""
    try:
        while len(data) < 19 or len(data) < struct.unpack("!H", data[16:18])[0]:
            chunk = sock.recv(4096)
            if not chunk:
                return None
            data += chunk
    except (socket.timeout, ConnectionResetError):
        return None
    return data[18], data[19:struct.unpack("!H", data[16:18])[0]]


def cpu_seconds(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def run(work, port, extra, peers):
    """Connects `peers` peers at once; returns what each was sent first, rpd-host's CPU
    time over the 2 s the connections stay open, and its records."""
    out_path = os.path.join(work, "out.jsonl")
    limit = lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (LIMIT, LIMIT))
    with open(out_path, "w") as out, open(os.path.join(work, "err.txt"), "w") as err:
        host = subprocess.Popen([TOOL, "listen", "--bind", "127.0.0.1", "--port", str(port), "--duration", "20",
                                 "--json"] + extra, stdout=out, stderr=err, preexec_fn=limit)
    socks, first = [], []
    try:
        for _ in range(50):
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                break
            except OSError:
                time.sleep(0.1)
        socks = [socket.create_connection(("127.0.0.1", port), timeout=5) for _ in range(peers)]
        first = [first_message(s, 2) for s in socks]
        before = cpu_seconds(host.pid)
        time.sleep(2)
        busy = cpu_seconds(host.pid) - before
        for s in socks:
            s.close()
        time.sleep(0.5)
        late = socket.create_connection(("127.0.0.1", port), timeout=5)  # descriptors free again
        first.append(first_message(late, 2))
        late.close()
        host.send_signal(signal.SIGTERM)
        host.wait(timeout=10)
    finally:
        if host.poll() is None:
            host.kill()
            host.wait()
    return first, busy, [json.loads(line) for line in open(out_path)]


def main():
    failures = []
    with tempfile.TemporaryDirectory() as work:
        port = 20000 + (os.getpid() + 7) % 20000
        for name, extra in (("descriptors", []), ("cap", ["--max-sessions", "3"])):
            first, busy, records = run(work, port, extra, PEERS if name == "descriptors" else 8)
            opened = sum(1 for m in first[:-1] if m and m[0] == 1)
            refused = sum(1 for m in first[:-1] if m and m[0] == 3 and m[1][:2] == b"\x06\x08")
            texts = [r.get("event", r.get("what", "")) for r in records]
            print(f"{name}: {opened} sessions opened, {refused} refused, {busy:.2f} s CPU over 2 s")
            if opened + refused != len(first) - 1:
                failures.append(f"{name}: {len(first) - 1 - opened - refused} peers heard nothing (timed out)")
            if refused == 0:
                failures.append(f"{name}: no peer was refused")
            if busy > 0.5:
                failures.append(f"{name}: rpd-host used {busy:.2f} s of CPU over 2 s while refusing")
            if first[-1] is None or first[-1][0] != 1:
                failures.append(f"{name}: a peer after the others left was not accepted: {first[-1]}")
            if name == "descriptors":
                if not any("cannot accept connections: Too many open files" in t for t in texts):
                    failures.append("the shortage was not reported")
                if not any(t.startswith("accepting connections again") for t in texts):
                    failures.append("the end of the shortage was not reported")
            elif opened != 3 or not any("3 sessions already (--max-sessions)" in t for t in texts):
                failures.append(f"cap: {opened} sessions opened under --max-sessions 3")
            port += 1
    if failures:
        print("descriptors: " + "\n  ".join(failures), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
