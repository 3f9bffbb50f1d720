#!/usr/bin/env python3
"""The Wireshark plug-in as an operator uses it: installed in the personal
plug-in folder of a scratch HOME, tshark reads the samples, the captures of
real implementations and BMP; its RPD fields must say what rpd-host --json
says of the same frames. Wireshark does not load personal plug-ins as root,
so as root tshark runs as nobody.

usage: tshark_test.py PLUGIN_SO LIBRARY RPD_HOST
"""
import json
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
from collections import Counter, defaultdict

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PLUGIN, LIBRARY, RPD_HOST = (os.path.abspath(a) for a in sys.argv[1:4])
BMP_PORT = "1790"  # the station port of the BMP captures; Wireshark has no BMP port of its own
FIELDS = ["frame.number", "rpd.action", "rpd.policy_type", "rpd.distinguisher", "rpd.peer", "rpd.key_text",
          "rpd.community", "rpd.source_as", "rpd.context_as", "rpd.match.prefix", "rpd.match.as_path",
          "rpd.match.community", "rpd.action.med", "rpd.action.as_path", "rpd.action.community"]
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


home = tempfile.mkdtemp(prefix="rpd-tshark-")
os.chmod(home, 0o755)
plugin_dir = os.path.join(home, ".local/lib/wireshark/plugins/4.0/epan")
os.makedirs(plugin_dir)
shutil.copy(PLUGIN, plugin_dir)
for d, _, _ in os.walk(home):
    os.chmod(d, 0o755)
drop = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] if os.geteuid() == 0 else []


# A sanitizer build's plug-in runs with the sanitizer runtimes loaded ahead of tshark's own libraries.
env = dict(os.environ, HOME=home)
if os.environ.get("RPD_TSHARK_PRELOAD"):
    env.update(LD_PRELOAD=os.environ["RPD_TSHARK_PRELOAD"],
               ASAN_OPTIONS="detect_leaks=0:verify_asan_link_order=0:abort_on_error=0:exitcode=86")


def tshark(*args, check_rc=True):
    cmd = drop + ["tshark", "-o", "rpd.library:" + LIBRARY, "-d", "tcp.port==%s,bmp" % BMP_PORT] + list(args)
    r = subprocess.run(cmd, env=env, capture_output=True, text=True, timeout=240)
    if check_rc and r.returncode != 0:
        check(False, "tshark %s: exit %d: %s" % (" ".join(args), r.returncode, r.stderr[-500:]))
    check("Sanitizer" not in r.stderr and "runtime error" not in r.stderr,
          "tshark %s: %s" % (" ".join(args), r.stderr[-800:]))
    return r


def fields(capture, display_filter="rpd", extra=()):
    """frame -> {field: [values]} for the frames the filter selects."""
    args = list(extra) + ["-r", capture, "-Y", display_filter, "-T", "fields", "-E", "separator=\t",
                          "-E", "aggregator=\x1f"]
    for f in FIELDS:
        args += ["-e", f]
    out = {}
    for line in tshark(*args).stdout.splitlines():
        cols = line.split("\t")
        out[int(cols[0])] = {f: [v for v in c.split("\x1f") if v != ""] for f, c in zip(FIELDS[1:], cols[1:])}
    return out


def community_text(v):
    return "%d:%d" % (v >> 16, v & 0xFFFF)


def expected(capture):
    """What rpd-host --json says, in the form of the tshark fields, frame by frame."""
    r = subprocess.run([RPD_HOST, "--json", "--no-progress", "--port", "179", "--port", BMP_PORT, capture],
                       capture_output=True, text=True, timeout=60)
    frames = defaultdict(lambda: defaultdict(list))
    problems = defaultdict(list)
    seen_policies = set()
    for line in r.stdout.splitlines():
        rec = json.loads(line)
        # The walk's refusals (not the reading of the capture, which is tshark's own business).
        if rec["type"] == "problem" and rec.get("frame") and not rec["status"].startswith(("input", "unreadable")):
            problems[rec["frame"]].append(rec["what"])
        if rec["type"] != "route":
            continue
        f = frames[rec["frame"]]
        f["rpd.action"].append(rec["action"])
        f["rpd.policy_type"].append(str(rec["key"]["policy_type"]))
        f["rpd.distinguisher"].append(str(rec["key"]["distinguisher"]))
        f["rpd.peer"].append(rec["key"]["peer"])
        f["rpd.key_text"].append(rec["text"])
        p = rec.get("policy")
        # A message's policy once, however many routes share it.
        if p is None or (rec["frame"], rec["message"]) in seen_policies:
            continue
        seen_policies.add((rec["frame"], rec["message"]))
        community = {"MATCH AND SET": 0x90000003, "MATCH AND NOADV": 0x90000004}.get(p["community"], p["community"])
        f["rpd.community"].append("0x%08x" % community)
        f["rpd.source_as"].append(str(p["source_as"]))
        f["rpd.context_as"].append(str(p["context_as"]))
        m = p.get("match", {})
        f["rpd.match.prefix"] += [e["prefix"] for e in m.get("prefixes", [])]
        f["rpd.match.as_path"] += m.get("as_path", [])
        for group in m.get("communities", []):
            f["rpd.match.community"] += group["values"] if isinstance(group, dict) else group
        a = p.get("actions", {})
        if "med" in a:
            f["rpd.action.med"].append(str(a["med"]["value"]))  # compared by its value: the sign is the plug-in's
        if "as_path_add" in a:
            f["rpd.action.as_path"].append(" ".join(str(e["as"]) for e in a["as_path_add"]))
        c = a.get("community_add")
        if c is not None:
            f["rpd.action.community"] += c["values"] if isinstance(c, dict) else c
    return frames, problems


captures = sorted(os.path.join(ROOT, "samples", f) for f in os.listdir(os.path.join(ROOT, "samples")) if f.endswith(".pcap"))
peers = os.path.join(ROOT, "tests/fixtures/peers")
captures += sorted(os.path.join(peers, f) for f in os.listdir(peers) if f.endswith((".pcap", ".pcapng")))

# 1. The fields have the values rpd-host reports for the same frames.
routes_seen = refusals_seen = 0
for cap in captures:
    got = fields(cap)
    want, problems = expected(cap)
    name = os.path.relpath(cap, ROOT)
    check(set(got) >= set(want), "%s: frames with RPD routes: tshark %s, rpd-host %s" % (name, sorted(got), sorted(want)))
    for frame, w in want.items():
        g = got.get(frame, {})
        for field, values in w.items():
            have = g.get(field, [])
            if field == "rpd.action.med":
                ok = len(have) == len(values) and all(h.endswith(v) for h, v in zip(have, values))
            elif field == "rpd.action.as_path":
                # The plug-in writes each AS as often as it repeats; the AS numbers must all be there.
                ok = len(have) == len(values) and all(set(v.split()) <= set(h.split()) for h, v in zip(have, values))
            else:
                ok = Counter(have) == Counter(values)
            check(ok, "%s frame %d %s: tshark %s, rpd-host %s" % (name, frame, field, have, values))
        routes_seen += len(w["rpd.action"])
    # 2. Each refusal rpd-host reports is an expert info of the frame, in the same words.
    if problems:
        r = tshark("-r", cap, "-Y", "rpd.refused", "-T", "fields", "-e", "frame.number", "-e", "_ws.expert.message",
                   "-E", "aggregator=\x1f")
        experts = {int(l.split("\t")[0]): l.split("\t")[1].split("\x1f") for l in r.stdout.splitlines()}
        for frame, whats in problems.items():
            for what in whats:
                check(what in experts.get(frame, []), "%s frame %d: no expert info %r" % (name, frame, what))
                refusals_seen += 1
check(routes_seen >= 20 and refusals_seen >= 1, "only %d routes and %d refusals compared" % (routes_seen, refusals_seen))

# 3. A display filter on the community selects the frames whose policy has it.
cap = os.path.join(ROOT, "samples/noadv.pcap")
want, _ = expected(cap)
noadv = {f for f, w in want.items() if "0x90000004" in w.get("rpd.community", [])}
check(noadv and set(fields(cap, "rpd.community == 0x90000004")) == noadv, "filter rpd.community selects %s" % noadv)
check(not fields(os.path.join(ROOT, "samples/full-set.pcap"), "rpd.community == 0x90000004"),
      "filter rpd.community selects a MATCH AND SET policy")

# The attribute code is a preference: under another code the policy is not the Wide Community attribute.
other = fields(os.path.join(ROOT, "samples/full-set.pcap"), extra=["-o", "rpd.wide_community_code:130"])
check(other and all(not f["rpd.community"] and f["rpd.distinguisher"] for f in other.values()),
      "rpd.wide_community_code:130 still finds a policy: %s" % other)

# A library that cannot be loaded, or a code that is not one byte, is said once; tshark goes on.
for pref, said in (("rpd.library:/nonexistent/libtam_rpd.so.0", "cannot load the plug-in"),
                   ("rpd.wide_community_code:300", "attribute code is one byte")):
    r = tshark("-o", pref, "-r", os.path.join(ROOT, "samples/full-set.pcap"), "-Y", "rpd")
    check(r.stderr.count(said) == 1 and r.stdout == "", "-o %s: %r" % (pref, r.stderr[-300:]))

# 4. The packet details show the plug-in's key text and its action texts; its
# own policy text and display pieces when the preference asks for them, or a
# filter names them.
full = os.path.join(ROOT, "samples/full-set.pcap")
v = tshark("-r", full, "-Y", "rpd", "-V").stdout
check("announce Route Type: Export Policy, Peer Address: 10.1.1.1, Distinguisher: 7" in v, "-V shows the key text")
check("MED: + 50" in v and "[container]" not in v and "Parameter(3)" not in v,
      "-V shows the MED text and none of the plug-in's own texts by default")
v = tshark("-o", "rpd.plugin_texts:TRUE", "-r", full, "-Y", "rpd", "-V").stdout
check("[community_filters] 1:2 3:4 65535:65535" in v and "[container] Wide-community Container 1:; Type : 1;" in v,
      "-V with rpd.plugin_texts shows the display pieces")
check("Wide-community Parameter(3):" in v, "-V with rpd.plugin_texts shows the plug-in's policy text")
for name, value in (("rpd.piece", "65535:65535"), ("rpd.policy_text", "Wide-community Target")):
    named = tshark("-r", full, "-Y", '%s contains "%s"' % (name, value), "-T", "fields", "-e", "rpd.distinguisher").stdout
    check(named.split() == ["7"], "a filter naming %s finds the text: %r" % (name, named))

# 5. A policy split over two TCP segments decodes once, in the frame that completes it.
def split_last_segment(src_path, dst_path):
    """The capture with its last packet's TCP payload (Ethernet, IPv4, TCP) sent as two segments."""
    data = open(src_path, "rb").read()
    records, off = [], 24
    while off < len(data):
        incl = struct.unpack("<I", data[off + 8:off + 12])[0]
        records.append((data[off:off + 8], data[off + 16:off + 16 + incl]))
        off += 16 + incl
    ts, pkt = records.pop()
    ihl = (pkt[14] & 15) * 4
    thl = (pkt[14 + ihl + 12] >> 4) * 4
    head, payload = pkt[:14 + ihl + thl], pkt[14 + ihl + thl:]
    seq = struct.unpack(">I", head[14 + ihl + 4:14 + ihl + 8])[0]
    half = len(payload) // 2
    for part, s in ((payload[:half], seq), (payload[half:], seq + half)):
        h = bytearray(head)
        h[16:18] = struct.pack(">H", ihl + thl + len(part))  # IPv4 total length
        h[24:26] = b"\0\0"  # checksums are not checked by default
        h[14 + ihl + 4:14 + ihl + 8] = struct.pack(">I", s)
        records.append((ts, bytes(h) + part))
    out = bytearray(data[:24])
    for ts, pkt in records:
        out += ts + struct.pack("<II", len(pkt), len(pkt)) + pkt
    open(dst_path, "wb").write(bytes(out))
    os.chmod(dst_path, 0o644)


work = tempfile.mkdtemp(prefix="rpd-hostile-")
os.chmod(work, 0o755)
split = os.path.join(work, "split.pcap")
split_last_segment(os.path.join(ROOT, "samples/full-set.pcap"), split)
got = fields(split)
want, _ = expected(split)
check(list(got) == [5] and got[5]["rpd.distinguisher"] == ["7"] and list(want) == [5],
      "policy over two segments: tshark frames %s, rpd-host frames %s" % (got, sorted(want)))

# 6. Hostile bytes: cut captures and bytes changed at random in the BGP payload never crash tshark.
src = open(os.path.join(ROOT, "samples/full-set.pcap"), "rb").read()
rng = random.Random(75)
for i in range(40):
    data = bytearray(src)
    for _ in range(rng.randint(1, 6)):
        at = rng.randrange(100, len(data))  # past the file and first packet headers
        data[at] = rng.choice([0, 0xFF, rng.randrange(256)])
    path = os.path.join(work, "hostile-%02d.pcap" % i)
    open(path, "wb").write(bytes(data))
    os.chmod(path, 0o644)
    r = tshark("-r", path, "-V", check_rc=False)
    check(r.returncode in (0, 2), "hostile capture %d: tshark exit %d: %s" % (i, r.returncode, r.stderr[-300:]))
for snap in (70, 90, 120):
    path = os.path.join(work, "cut-%d.pcap" % snap)
    subprocess.run(["editcap", "-s", str(snap), os.path.join(ROOT, "samples/full-set.pcap"), path], check=True)
    os.chmod(path, 0o644)
    r = tshark("-r", path, "-V", check_rc=False)
    check(r.returncode == 0, "capture cut to %d bytes a packet: tshark exit %d" % (snap, r.returncode))

shutil.rmtree(home)
shutil.rmtree(work)
print("%d routes and %d refusals compared over %d captures; %d failures"
      % (routes_seen, refusals_seen, len(captures), len(failures)))
sys.exit(1 if failures else 0)
