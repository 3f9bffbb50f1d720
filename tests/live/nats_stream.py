#!/usr/bin/env python3
"""Stations publishing to a real NATS JetStream server (Debian's nats-server)
on loopback, and consumers reading the stream back:

1. rpd-host replays the samples and the real-implementation captures with
   --json --publish: `consume` prints exactly the records the station printed,
   in the same order; a subject filter gives a router's or a type's records;
   `consume --table` gives the table `--table` gives on the files.
2. A router streams BMP to `rpd-host bmp --publish` while the server is killed
   with SIGKILL and started again on the same store: every record the station
   printed is in the stream exactly once.
3. Two `consume` processes on one durable consumer, at once: together they
   see every record of the stream once.

Bounded in time; every process is stopped by its pid.
    nats_stream.py RPD_HOST SOURCE_DIR   (exit 77 when nats-server is missing)"""
import glob
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

TOOL, SRC = sys.argv[1], sys.argv[2]
sys.path.insert(0, os.path.join(SRC, "tests", "support"))
from bmp_stream import bmp, peer_up, peer_header, tlv, update  # noqa: E402

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Server:
    """One nats-server with JetStream, its store kept across restarts."""

    def __init__(self, work):
        self.port, self.store, self.proc = free_port(), os.path.join(work, "store"), None
        self.log = open(os.path.join(work, "nats.log"), "a")
        self.url = "nats://127.0.0.1:%d" % self.port

    def start(self):
        self.proc = subprocess.Popen(["nats-server", "-js", "-a", "127.0.0.1", "-p", str(self.port), "-sd", self.store],
                                     stdout=self.log, stderr=subprocess.STDOUT)
        end = time.time() + 10
        while time.time() < end:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("nats-server did not start")

    def kill(self):
        if self.proc is not None and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGKILL)
            self.proc.wait(timeout=10)

    def stop(self):
        if self.proc is not None and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.kill()


def consume(url, *args):
    r = subprocess.run([TOOL, "consume", *args, url], capture_output=True, text=True, timeout=60)
    check(r.returncode == 0, "consume %s: exit %d: %s" % (" ".join(args), r.returncode, r.stderr[-400:]))
    return r.stdout.splitlines()


def replay(server):
    """1. Files replayed into the stream come back as the station printed them."""
    inputs = sorted(glob.glob(os.path.join(SRC, "samples", "*.pcap")) +
                    glob.glob(os.path.join(SRC, "tests", "fixtures", "peers", "*.pcap*")))
    r = subprocess.run([TOOL, "--json", "--publish", server.url, "--station", "replay", *inputs],
                       capture_output=True, text=True, timeout=60)
    printed = r.stdout.splitlines()
    check(r.returncode in (0, 1) and "published %d records" % len(printed) in r.stderr,
          "replay: exit %d: %s" % (r.returncode, r.stderr[-400:]))
    got = consume(server.url)
    check(got == printed, "consume gives %d records, the station printed %d (first difference at %s)" % (
        len(got), len(printed), next((i for i, (a, b) in enumerate(zip(got, printed)) if a != b), "the end")))
    routes = [line for line in printed if line.startswith('{"type":"route"')]
    check(consume(server.url, "--subject", "rpd.*.*.route") == routes, "--subject rpd.*.*.route: the routes only")
    bmp_router = [line for line in printed if '"router":"127.0.0.1"' in line]
    check(bmp_router and consume(server.url, "--subject", "rpd.replay.127_0_0_1.>") == bmp_router,
          "--subject rpd.replay.127_0_0_1.>: the records of that router")
    # The routes in force: the same table from the files and from the stream.
    r = subprocess.run([TOOL, "--table", "--json", "--station", "replay", *inputs], capture_output=True, text=True,
                       timeout=60)
    table = r.stdout.splitlines()
    check(len(table) > 1 and consume(server.url, "--table", "--json") == table,
          "consume --table differs from the files' --table (%d records)" % len(table))
    return printed


def broker_killed(server, work):
    """2. The server dies (SIGKILL) mid-feed and comes back: every record once."""
    announce = update(TOOL, SRC, work, "full-set")
    port = free_port()
    out = open(os.path.join(work, "station.jsonl"), "w")
    err = open(os.path.join(work, "station.err"), "w")
    station = subprocess.Popen([TOOL, "bmp", "--bind", "127.0.0.1", "--port", str(port), "--sessions", "1",
                                "--duration", "60", "--json", "--publish", server.url, "--station", "edge",
                                "--stream", "FEED", "--subject", "feed"], stdout=out, stderr=err)
    sent = 0
    try:
        time.sleep(0.5)
        router = socket.create_connection(("127.0.0.1", port), timeout=10)
        router.sendall(bmp(4, tlv(2, b"edge-1")) + peer_up("192.0.2.1", 65001, 1700000000))
        start = time.time()
        killed = restarted = False
        while time.time() - start < 4:
            for _ in range(20):
                router.sendall(bmp(0, peer_header("192.0.2.1", 65001, 1700000000 + sent) + announce))
                sent += 1
            elapsed = time.time() - start
            if not killed and elapsed > 1:
                server.kill()
                killed = True
            if killed and not restarted and elapsed > 2:
                server.start()
                restarted = True
            time.sleep(0.01)
        router.sendall(bmp(5, tlv(1, b"\0\0")))
        router.close()
        station.wait(timeout=40)
    finally:
        if station.poll() is None:
            station.kill()
            station.wait()
    out.close()
    err.close()
    printed = open(os.path.join(work, "station.jsonl")).read().splitlines()
    print("station:", open(os.path.join(work, "station.err")).read().strip().splitlines()[-1], "-", sent, "sent")
    routes = sum(1 for line in printed if line.startswith('{"type":"route"'))
    check(routes == sent, "the station printed %d routes of the %d sent" % (routes, sent))
    got = consume(server.url, "--stream", "FEED", "--subject", "feed")
    check(len(got) == len(set(got)), "%d records twice in the stream" % (len(got) - len(set(got))))
    check(sorted(got) == sorted(printed), "after the server's restart the stream holds %d records, the station "
          "printed %d: %s" % (len(got), len(printed), open(os.path.join(work, "station.err")).read()[-600:]))


def shared_durable(server, records):
    """3. Two consumers on one durable share the stream: each record to one of them."""
    procs = [subprocess.Popen([TOOL, "consume", "--durable", "pair", server.url], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True) for _ in range(2)]
    outs = []
    for p in procs:
        try:
            out, err = p.communicate(timeout=60)
        finally:
            if p.poll() is None:
                p.kill()
                p.wait()
        check(p.returncode == 0, "durable consumer: exit %s: %s" % (p.returncode, err[-300:]))
        outs.append(out.splitlines())
    together = outs[0] + outs[1]
    check(sorted(together) == sorted(records), "two consumers on one durable saw %d and %d of %d records" % (
        len(outs[0]), len(outs[1]), len(records)))
    # The durable resumes where it stopped: nothing is left for a third reader.
    check(consume(server.url, "--durable", "pair") == [], "the durable gives its records again")


def main():
    if shutil.which("nats-server") is None:
        print("nats-server is not installed")
        return 77
    with tempfile.TemporaryDirectory() as work:
        server = Server(work)
        server.start()
        try:
            records = replay(server)
            shared_durable(server, records)
            broker_killed(server, work)
        finally:
            server.stop()
    print("FAILED" if failures else "ok")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
