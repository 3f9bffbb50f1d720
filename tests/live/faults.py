#!/usr/bin/python3
"""Misbehaving peers against `rpd-host listen` over loopback: each gets the
NOTIFICATION RFC 4271 prescribes (or, when it resets the connection, a
report), while a well-behaved session beside them stays up, keeps receiving
KEEPALIVEs, and gets a Cease when rpd-host stops. Bounded in time; rpd-host
is stopped by its pid.

  faults.py RPD_HOST
"""
import json
import os
import signal
import socket
import struct
import shutil
import subprocess
import sys
import tempfile
import threading
import time

TOOL = sys.argv[1]
MARKER = b"\xff" * 16


def msg(kind, body=b"", marker=MARKER, length=None):
    return marker + struct.pack("!HB", 19 + len(body) if length is None else length, kind) + body


def open_msg(version=4, asn=65001, hold=3, ident=0x7F000002):
    caps = bytes([1, 4, 0, 1, 0, 75, 65, 4]) + struct.pack("!I", asn)
    opt = bytes([2, len(caps)]) + caps
    return msg(1, struct.pack("!BHHIB", version, asn, hold, ident, len(opt)) + opt)


def read_messages(sock, until):
    """Messages received until `until` or the connection closes: (type, body)."""
    data, out = b"", []
    sock.settimeout(0.2)
    while time.time() < until:
        try:
            chunk = sock.recv(4096)
        except socket.timeout:
            continue
        except ConnectionResetError:
            break
        if not chunk:
            break
        data += chunk
        while len(data) >= 19 and len(data) >= struct.unpack("!H", data[16:18])[0]:
            n = struct.unpack("!H", data[16:18])[0]
            out.append((data[18], data[19:n]))
            data = data[n:]
    return out


def notification(messages):
    for kind, body in messages:
        if kind == 3:
            return (body[0], body[1], body[2:])
    return None


class GoodPeer(threading.Thread):
    """A well-behaved peer: OPEN, then a KEEPALIVE a second, collecting what it receives."""

    def __init__(self, port):
        super().__init__(daemon=True)
        self.sock = connect(port)
        self.sock.sendall(open_msg() + msg(4))
        self.received = []
        self.stop = False

    def run(self):
        while not self.stop:
            got = read_messages(self.sock, time.time() + 1)
            self.received += got
            if notification(got):
                return
            try:
                self.sock.sendall(msg(4))
            except OSError:
                return


def connect(port):
    s = socket.create_connection(("127.0.0.1", port), timeout=5)
    read_messages(s, time.time() + 0.3)  # our OPEN
    return s


def main():
    with tempfile.TemporaryDirectory() as work:
        return run(work)


def run(work):
    out_path = os.path.join(work, "out.jsonl")
    record = os.path.join(work, "record.pcap")
    port = 20000 + os.getpid() % 20000
    with open(out_path, "w") as out, open(os.path.join(work, "err.txt"), "w") as err:
        host = subprocess.Popen([TOOL, "listen", "--bind", "127.0.0.1", "--port", str(port), "--hold-time", "9",
                                 "--duration", "25", "--write", record, "--json"], stdout=out, stderr=err)
    failures = []
    try:
        time.sleep(0.5)
        good = GoodPeer(port)
        good.start()

        cases = [
            ("garbage", b"\x00" * 19, (1, 1)),
            ("wrong marker", msg(1, b"", marker=b"\xff" * 15 + b"\xfe", length=29) + b"\x00" * 10, (1, 1)),
            ("length beyond 4096", msg(4, length=5000), (1, 2)),
            ("unknown message type", msg(9), (1, 3)),
            ("OPEN of version 3", open_msg(version=3), (2, 1)),
            ("hold time 1", open_msg(hold=1), (2, 6)),
            ("BGP identifier 0", open_msg(ident=0), (2, 3)),
            ("UPDATE before OPEN", msg(2, b"\x00\x00\x00\x00"), (5, 1)),
        ]
        for name, data, want in cases:
            s = connect(port)
            s.sendall(data)
            got = notification(read_messages(s, time.time() + 1))
            s.close()
            if got is None or got[:2] != want:
                failures.append(f"{name}: NOTIFICATION {got} instead of {want}")
            elif want == (2, 1) and got[2] != b"\x00\x04":
                failures.append(f"{name}: the data does not name version 4: {got[2].hex()}")

        # A reset inside a message.
        s = connect(port)
        s.sendall(open_msg() + msg(4) + MARKER[:7])
        time.sleep(0.3)  # read by rpd-host before the reset
        s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        s.close()

        # The good session is still up: KEEPALIVEs kept coming (hold time 3, so one a second).
        time.sleep(1.5)
        keepalives = sum(1 for k, _ in good.received if k == 4)
        if keepalives < 3 or notification(good.received):
            failures.append(f"the good session received {keepalives} KEEPALIVEs while the others failed")
        host.send_signal(signal.SIGTERM)
        good.join(timeout=5)
        got = notification(good.received)
        if got is None or got[:2] != (6, 2):
            failures.append(f"the good session ended with {got} instead of a Cease (6/2)")
        host.wait(timeout=10)
    finally:
        if host.poll() is None:
            host.kill()
            host.wait()

    records = [json.loads(line) for line in open(out_path)]
    problems = [r["what"] for r in records if r["type"] == "problem"]
    if len(problems) != len(cases) + 1:
        failures.append(f"{len(problems)} problems reported for {len(cases) + 1} misbehaving peers: {problems}")
    if not any("inside a message" in p for p in problems):
        failures.append("the reset inside a message was not reported")
    if host.returncode != 1:
        failures.append(f"rpd-host exited with {host.returncode}, not 1 (problems were reported)")
    # The record (pcap, the listening side on port 179) holds each session's
    # whole messages: the file reader takes it without a complaint and with no
    # option, and tshark finds the five OPENs that came whole (good peer,
    # version 3, hold time 1, identifier 0, the reset one).
    replay = subprocess.run([TOOL, "--quiet", record], capture_output=True, text=True)
    if replay.returncode != 0 or "no BGP message" in replay.stderr:
        failures.append(f"the record does not replay cleanly: {replay.stdout}{replay.stderr}")
    if shutil.which("tshark"):
        types = subprocess.run(["tshark", "-n", "-r", record, "-Y", "bgp.type == 1",
                                "-T", "fields", "-e", "frame.number"], capture_output=True, text=True).stdout.split()
        if len(types) != 5:
            failures.append(f"tshark finds {len(types)} OPENs in the record, not 5")
    if failures:
        print("faults: " + "\n  ".join(failures), file=sys.stderr)
        return 1
    print(f"faults: {len(cases) + 1} misbehaving peers answered and reported; the good session stayed up")
    return 0


if __name__ == "__main__":
    sys.exit(main())
