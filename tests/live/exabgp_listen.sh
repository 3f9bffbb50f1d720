#!/usr/bin/env bash
# ExaBGP (AS 65001, 127.0.0.2) peers with `rpd-host listen` (AS 65000,
# 127.0.0.1) over loopback and announces RPD routes as raw attributes riding
# on IPv4 unicast routes (an MP_REACH_NLRI / MP_UNREACH_NLRI of AFI 1 /
# SAFI 75 and a Wide Community, attribute 129), then stops. rpd-host must
# decode exactly the routes announced, then the withdrawal, and see the
# session reach Established and end when ExaBGP stops. Between the
# announcements and the withdrawal 40 more connections flood in past
# --max-sessions 1: each must be refused with a NOTIFICATION (Cease, Out of
# Resources) while the ExaBGP session goes on. What it records (--write, MRT
# BGP4MP_ET) must replay to the same routes. Bounded in time; every process
# started is stopped by its pid.
#   exabgp_listen.sh RPD_HOST SOURCE_DIR
set -euo pipefail
tool=$1
src=$2
name=exabgp_listen
source "$src/tests/live/common.sh"
need exabgp

port=$(free_port)

# Policy bytes: the Wide Community values of two bundled samples, as rpd-host reads them back.
policy() {
  "$tool" encode --format hex --output "$work/$1.hex" "$src/samples/$1.json"
  "$tool" --json --no-summary "$work/$1.hex" | sed -n 's/.*"raw":"\([0-9a-f]*\)".*/\1/p' | head -1
}
full=$(policy full-set)
minimal=$(policy noadv)
[[ -n $full && -n $minimal ]] || fail "no policy bytes"
nlri() { printf '0901%08x%08x' "$1" "$2"; }  # length 9, export policy, distinguisher, peer address
reach="00014b04c000020200$(nlri 7 0x0a010101)$(nlri 8 0x0a010102)"
unreach="00014b$(nlri 7 0x0a010101)"

timeout 40 "$tool" listen --bind 127.0.0.1 --port "$port" --local-as 65000 --router-id 127.0.0.1 \
  --hold-time 9 --allow 127.0.0.2 --max-sessions 1 --sessions 1 --duration 30 --write "$work/rec.mrt" --json >"$work/out.jsonl" 2>"$work/err.txt" &
host=$!
pids+=("$host")
wait_listening 127.0.0.1 "$port"
exabgp_announce 127.0.0.1 "$port" 65000 \
  "announce route 10.0.0.0/24 next-hop 192.0.2.2 attribute [ 0x81 0xc0 0x$minimal ]" \
  "announce route 10.0.1.0/24 next-hop 192.0.2.2 attribute [ 0x0e 0x80 0x$reach ] attribute [ 0x81 0xc0 0x$full ]" \
  "sleep 3" \
  "announce route 10.0.2.0/24 next-hop 192.0.2.2 attribute [ 0x0f 0x80 0x$unreach ]"

# Once both announcements are in, the flood.
for _ in $(seq 1 100); do
  [[ $(grep -c '"action":"announce"' "$work/out.jsonl" 2>/dev/null) -ge 2 ]] && break
  sleep 0.1
done
/usr/bin/python3 - "$port" <<'PY' || fail "the connections past --max-sessions were not refused"
import socket, struct, sys
socks = []
for _ in range(40):
    s = socket.socket()
    s.bind(("127.0.0.2", 0))
    s.settimeout(3)
    s.connect(("127.0.0.1", int(sys.argv[1])))
    socks.append(s)
refused = 0
for s in socks:
    data = b""
    while len(data) < 21:
        chunk = s.recv(64)
        if not chunk:
            break
        data += chunk
    refused += data[18:21] == b"\x03\x06\x08"  # NOTIFICATION, Cease, Out of Resources
    s.close()
assert refused == 40, f"{refused} of 40 refused"
PY

# Wait for the withdrawal, then stop ExaBGP: the session's end ends rpd-host (--sessions 1).
for _ in $(seq 1 100); do
  grep -q '"action":"withdraw"' "$work/out.jsonl" 2>/dev/null && break
  sleep 0.2
done
kill "$exabgp_pid"
rc=0
wait "$host" || rc=$?
[[ $rc -eq 0 ]] || fail "rpd-host listen exited with $rc"

/usr/bin/python3 "$src/tests/tool/validate_json.py" "$src/docs/rpd-host.schema.json" <"$work/out.jsonl" ||
  fail "records do not match the schema"
/usr/bin/python3 - "$work/out.jsonl" <<'PY' || fail "decoded routes differ"
import json, sys
records = [json.loads(l) for l in open(sys.argv[1])]
routes = [(r["action"], r["key"]["distinguisher"], r["key"]["peer"]) for r in records if r["type"] == "route"]
want = [("announce", 7, "10.1.1.1"), ("announce", 8, "10.1.1.2"), ("withdraw", 7, "10.1.1.1")]
assert routes == want, routes
events = [r["event"] for r in records if r["type"] == "event"]
assert any(e.startswith("Established: AS 65001") for e in events), events
assert events[-1].startswith("closed"), events
assert sum("1 session already (--max-sessions)" in e for e in events) == 40, events
policies = [r for r in records if r["type"] == "route" and r["action"] == "announce"]
assert all(p["policy"]["community"] == "MATCH AND SET" for p in policies), policies
summary = [r for r in records if r["type"] == "summary"][0]
assert not summary["failed"], summary
PY
# The record, read back as a file, holds the same routes, and the session's messages and state changes.
"$tool" --json --no-summary "$work/rec.mrt" >"$work/replay.jsonl" || fail "the record does not replay cleanly"
/usr/bin/python3 - "$work/out.jsonl" "$work/replay.jsonl" <<'PY' || fail "the record replays to other routes"
import json, sys
def routes(path):
    return [(r["action"], r["key"], r.get("policy")) for r in map(json.loads, open(path)) if r["type"] == "route"]
live, replay = routes(sys.argv[1]), routes(sys.argv[2])
assert live == replay and len(live) == 3, (live, replay)
events = [r["event"] for r in map(json.loads, open(sys.argv[2])) if r["type"] == "event"]
assert any("Established" in e for e in events) and any("Idle" in e for e in events), events
PY
echo "exabgp_listen: 2 announcements and 1 withdrawal decoded from a live ExaBGP session, 40 peers past the cap refused"
