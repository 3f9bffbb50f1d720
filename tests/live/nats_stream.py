#!/usr/bin/env python3
"""Stations publishing to a real NATS JetStream server (Debian's nats-server)
on loopback, and consumers reading the stream back:

1. rpd-host replays the samples and the real-implementation captures with
   --json --publish: `consume` prints exactly the records the station printed,
   in the same order; a subject filter gives a router's or a type's records;
   `consume --table` gives the table `--table` gives on the files; read
   back through the plug-in the records count the same, and filters select.
2. A router streams BMP to `rpd-host bmp --publish` while the server is killed
   with SIGKILL and started again on the same store: every record the station
   printed is in the stream exactly once.
3. Two stations publish at once, a router each, and two `consume` processes
   share one durable consumer: together they see every record once. SIGTERM
   mid-feed: the station flushes what is pending before it exits.
4. No server at the start, and none for a while: the station takes its
   router anyway, stops reading from it when its window is full, its memory
   stays bounded, and everything arrives once a server is there.
5. A three-node JetStream cluster with a stream of three replicas: the node
   the station is connected to is killed mid-feed, the station carries on
   with the others, and nothing is lost or doubled.

Bounded in time; every process is stopped by its pid.
    nats_stream.py RPD_HOST SOURCE_DIR   (exit 77 when nats-server is missing)"""
import glob
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
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
    """One nats-server with JetStream, its store kept across restarts; with
    `cluster` (its own route port, the others' routes) a node of a cluster."""

    def __init__(self, work, name="store", cluster=None):
        self.port, self.store, self.proc = free_port(), os.path.join(work, name), None
        self.log = open(os.path.join(work, name + ".log"), "a")
        self.url = "nats://127.0.0.1:%d" % self.port
        self.extra = []
        if cluster is not None:
            own, routes = cluster
            self.extra = ["--server_name", name, "--cluster_name", "rpd", "--cluster", "nats://127.0.0.1:%d" % own,
                          "--routes", ",".join("nats://127.0.0.1:%d" % r for r in routes)]

    def start(self):
        self.proc = subprocess.Popen(["nats-server", "-js", "-a", "127.0.0.1", "-p", str(self.port), "-sd", self.store,
                                      *self.extra], stdout=self.log, stderr=subprocess.STDOUT)
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
    got = consume(server.url, "--json")
    check(got == printed, "consume gives %d records, the station printed %d (first difference at %s)" % (
        len(got), len(printed), next((i for i, (a, b) in enumerate(zip(got, printed)) if a != b), "the end")))
    routes = [line for line in printed if line.startswith('{"type":"route"')]
    check(consume(server.url, "--json", "--subject", "rpd.*.*.route") == routes, "--subject rpd.*.*.route: the routes only")
    bmp_router = [line for line in printed if '"router":"127.0.0.1"' in line]
    check(bmp_router and consume(server.url, "--json", "--subject", "rpd.replay.127_0_0_1.>") == bmp_router,
          "--subject rpd.replay.127_0_0_1.>: the records of that router")
    # Read back through the plug-in: the same routes, and a filter selects from them.
    said = re.search(r"routes announced \d+, withdrawn \d+", r.stderr)
    again = subprocess.run([TOOL, "consume", "--quiet", "--verify", server.url], capture_output=True, text=True,
                           timeout=60)
    check(said is not None and said.group(0) in again.stdout,
          "consume --verify counts otherwise than the station: %r / %r" % (said and said.group(0), again.stdout[-300:]))
    sevens = [line for line in routes if '"distinguisher":7,' in line]
    # (problems the station published count here too: the exit status says so)
    filtered = subprocess.run([TOOL, "consume", "--json", "--distinguisher", "7", server.url], capture_output=True,
                              text=True, timeout=60).stdout.splitlines()
    filtered = [f for f in filtered if f.startswith('{"type":"route"')]
    check(sevens and filtered == sevens, "consume --distinguisher 7 gives %d routes, the station printed %d: %s" % (
        len(filtered), len(sevens), next(((a, b) for a, b in zip(filtered, sevens) if a != b), "")))
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
    sent = [0]

    def feed(router, station):
        start, killed, restarted = time.time(), False, False
        while time.time() - start < 4:
            for _ in range(20):
                router.sendall(bmp(0, peer_header("192.0.2.1", 65001, 1700000000 + sent[0]) + announce))
                sent[0] += 1
            elapsed = time.time() - start
            if not killed and elapsed > 1:
                server.kill()
                killed = True
            if killed and not restarted and elapsed > 2:
                server.start()
                restarted = True
            time.sleep(0.01)

    printed, err = stream_routes(["--publish", server.url, "--station", "edge", "--stream", "FEED", "--subject", "feed"],
                                 feed, work, "station")
    print("station:", err.strip().splitlines()[-1] if err.strip() else "", "-", sent[0], "sent")
    routes = sum(1 for line in printed if line.startswith('{"type":"route"'))
    check(routes == sent[0], "the station printed %d routes of the %d sent" % (routes, sent[0]))
    got = consume(server.url, "--json", "--stream", "FEED", "--subject", "feed")
    check(len(got) == len(set(got)), "%d records twice in the stream" % (len(got) - len(set(got))))
    check(sorted(got) == sorted(printed), "after the server's restart the stream holds %d records, the station "
          "printed %d: %s" % (len(got), len(printed), err[-600:]))


def connected_port(pid):
    """The remote port of the process's established loopback TCP connection to a NATS node (from /proc)."""
    inodes = set()
    for fd in os.listdir("/proc/%d/fd" % pid):
        try:
            target = os.readlink("/proc/%d/fd/%s" % (pid, fd))
        except OSError:
            continue
        if target.startswith("socket:["):
            inodes.add(target[8:-1])
    ports = []
    for line in open("/proc/net/tcp").read().splitlines()[1:]:
        f = line.split()
        if f[9] in inodes and f[3] == "01":  # ESTABLISHED
            ports.append(int(f[2].split(":")[1], 16))
    return ports


def stream_routes(station_args, feed, work, name):
    """A station (bmp, publishing with `station_args`) fed by one router
    through `feed(socket, station)`; returns what it printed and its stderr."""
    port = free_port()
    out_path, err_path = os.path.join(work, name + ".jsonl"), os.path.join(work, name + ".err")
    with open(out_path, "w") as out, open(err_path, "w") as err:
        station = subprocess.Popen([TOOL, "bmp", "--bind", "127.0.0.1", "--port", str(port), "--sessions", "1",
                                    "--duration", "60", "--json", *station_args], stdout=out, stderr=err)
    try:
        time.sleep(0.5)
        router = socket.create_connection(("127.0.0.1", port), timeout=10)
        router.sendall(bmp(4, tlv(2, name.encode())) + peer_up("192.0.2.1", 65001, 1700000000))
        feed(router, station)
        router.settimeout(30)
        router.sendall(bmp(5, tlv(1, b"\0\0")))
        router.close()
        station.wait(timeout=40)
    finally:
        if station.poll() is None:
            station.kill()
            station.wait()
    return open(out_path).read().splitlines(), open(err_path).read()


def cluster_failover(work):
    """A three-node JetStream cluster and a stream of three replicas: the node
    the station is connected to is killed mid-feed; nothing is lost or doubled."""
    routes = [free_port() for _ in range(3)]
    nodes = [Server(work, "node%d" % i, (routes[i], [r for j, r in enumerate(routes) if j != i])) for i in range(3)]
    urls = ",".join(n.url for n in nodes)
    try:
        for n in nodes:
            n.start()
        # The cluster elects its leaders: until then the stream cannot be made.
        end, made = time.time() + 30, None
        while time.time() < end:
            made = subprocess.run([TOOL, "--quiet", "--publish", urls, "--replicas", "3", "--stream", "CLUSTER",
                                   "--subject", "cl", os.path.join(SRC, "samples", "noadv.pcap")],
                                  capture_output=True, text=True, timeout=60)
            if made.returncode == 0:
                break
            time.sleep(0.5)
        check(made is not None and made.returncode == 0, "no replicated stream on the cluster: %s" % (made and made.stderr[-300:]))
        announce = update(TOOL, SRC, work, "full-set")
        sent = [0]

        def feed(router, station):
            start, killed = time.time(), False
            while time.time() - start < 3:
                for _ in range(20):
                    router.sendall(bmp(0, peer_header("192.0.2.1", 65001, 1700000000 + sent[0]) + announce))
                    sent[0] += 1
                if not killed and time.time() - start > 1:
                    ports = connected_port(station.pid)
                    victim = [n for n in nodes if n.port in ports]
                    check(len(victim) == 1, "the station is connected to %s, not one node" % ports)
                    for n in victim:
                        n.kill()
                    killed = True
                time.sleep(0.01)

        printed, err = stream_routes(["--publish", urls, "--stream", "CLUSTER", "--subject", "cl", "--station", "c"],
                                     feed, work, "clustered")
        print("cluster:", err.strip().splitlines()[-1] if err.strip() else "", "-", sent[0], "sent")
        routes_printed = sum(1 for line in printed if line.startswith('{"type":"route"'))
        check(routes_printed == sent[0], "the clustered station printed %d routes of %d" % (routes_printed, sent[0]))
        alive = ",".join(n.url for n in nodes if n.proc.poll() is None)
        got = consume(alive, "--json", "--stream", "CLUSTER", "--subject", "cl.c.>")
        check(len(got) == len(set(got)) and sorted(got) == sorted(printed),
              "after a node died the stream holds %d records (%d distinct), the station printed %d: %s" % (
                  len(got), len(set(got)), len(printed), err[-400:]))
    finally:
        for n in nodes:
            n.stop()


def broker_down(work):
    """No server answers when the station starts, and none for a while: the
    station takes its router all the same, its memory stays bounded, it stops
    reading from the router, and it resumes when a server comes (and the
    stream is made then)."""
    server = Server(work, "down")
    announce = update(TOOL, SRC, work, "full-set")
    sent, stalled, peak = [0], [0.0], [0]

    def feed(router, station):
        router.settimeout(1.0)
        start = time.time()
        chunk = bmp(0, peer_header("192.0.2.1", 65001, 1700000000) + announce) * 50
        left = b""
        while time.time() - start < 20 and stalled[0] == 0:
            left, sent[0] = chunk, sent[0] + 50
            try:
                while left:
                    left = left[router.send(left):]
            except socket.timeout:
                stalled[0] = time.time() - start  # the station stopped reading
        for line in open("/proc/%d/status" % station.pid):
            if line.startswith("VmRSS:"):
                peak[0] = int(line.split()[1])
        server.start()
        router.settimeout(30)
        router.sendall(left)  # the rest of the send that waited

    printed, err = stream_routes(["--publish", server.url, "--stream", "DOWN", "--subject", "down", "--station", "d"],
                                 feed, work, "down")
    try:
        routes = sum(1 for line in printed if line.startswith('{"type":"route"'))
        check(routes == sent[0], "the station printed %d routes of the %d sent" % (routes, sent[0]))
        check("no NATS server answers yet" in err, "the station did not say no server answered: %s" % err[-300:])
        check(stalled[0] > 0, "the station never stopped reading while the server was down (%d routes sent)" % sent[0])
        check(0 < peak[0] < 128 * 1024, "the station holds %d KiB while the server is down" % peak[0])
        got = consume(server.url, "--json", "--stream", "DOWN", "--subject", "down")
        check(sorted(got) == sorted(printed) and len(got) == len(set(got)),
              "once the server is back the stream holds %d records, the station printed %d: %s" % (
                  len(got), len(printed), err[-400:]))
        print("broker down: %d routes sent before the station stopped reading, after %.1f s; %d KiB held" % (
            sent[0], stalled[0], peak[0]))
    finally:
        server.stop()


def stop_signal(server, work):
    """SIGTERM while routes stream in: the station stops reading, flushes what
    is pending, and every record it printed is in the stream."""
    announce = update(TOOL, SRC, work, "full-set")
    port = free_port()
    out_path = os.path.join(work, "term.jsonl")
    with open(out_path, "w") as out, open(os.path.join(work, "term.err"), "w") as err:
        station = subprocess.Popen([TOOL, "bmp", "--bind", "127.0.0.1", "--port", str(port), "--duration", "60",
                                    "--json", "--publish", server.url, "--stream", "TERM", "--subject", "term",
                                    "--station", "t"], stdout=out, stderr=err)
    try:
        time.sleep(0.5)
        router = socket.create_connection(("127.0.0.1", port), timeout=10)
        router.sendall(bmp(4, tlv(2, b"term")) + peer_up("192.0.2.1", 65001, 1700000000))
        for i in range(20):
            router.sendall(b"".join(bmp(0, peer_header("192.0.2.1", 65001, 1700000000 + i) + announce) for _ in range(100)))
        # Once it has read them all (the ASan build takes its time), while acknowledgements are still due.
        end = time.time() + 20
        while time.time() < end and sum(1 for _ in open(out_path)) <= 2000:
            time.sleep(0.05)
        start = time.time()
        station.terminate()
        station.wait(timeout=20)
        took = time.time() - start
        router.close()
    finally:
        if station.poll() is None:
            station.kill()
            station.wait()
    printed = open(out_path).read().splitlines()
    check(station.returncode == 0 and took < 12, "SIGTERM: exit %s after %.1f s" % (station.returncode, took))
    got = consume(server.url, "--json", "--stream", "TERM", "--subject", "term")
    check(len(printed) > 2000 and got == printed, "after SIGTERM the stream holds %d records, the station printed %d" % (
        len(got), len(printed)))


def two_stations(server, work):
    """Two stations publish at once (a router each) and two consumers share
    one durable: together they see every record once."""
    announce = update(TOOL, SRC, work, "full-set")
    printed = {}

    def feed(router, station):
        for i in range(40):
            router.sendall(b"".join(bmp(0, peer_header("192.0.2.1", 65001, 1700000000 + i) + announce) for _ in range(50)))

    def run(name):
        printed[name], _ = stream_routes(["--publish", server.url, "--stream", "TWO", "--subject", "two",
                                          "--station", name], feed, work, name)

    threads = [threading.Thread(target=run, args=(name,)) for name in ("east", "west")]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=90)
    records = printed.get("east", []) + printed.get("west", [])
    check(len(records) > 4000, "the two stations printed %d records" % len(records))
    procs = [subprocess.Popen([TOOL, "consume", "--json", "--durable", "pair", "--stream", "TWO", "--subject", "two",
                               server.url],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True) for _ in range(2)]
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
    check(consume(server.url, "--json", "--durable", "pair", "--stream", "TWO", "--subject", "two") == [],
          "the durable gives its records again")


def main():
    if shutil.which("nats-server") is None:
        print("nats-server is not installed")
        return 77
    with tempfile.TemporaryDirectory() as work:
        server = Server(work)
        server.start()
        try:
            replay(server)
            two_stations(server, work)
            stop_signal(server, work)
            broker_killed(server, work)
        finally:
            server.stop()
        broker_down(work)
        cluster_failover(work)
    print("FAILED" if failures else "ok")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
