#!/usr/bin/env bash
# GoBGP (AS 65002, 127.0.0.3) streams BMP to `rpd-host bmp` (127.0.0.1)
# while ExaBGP (AS 65001, 127.0.0.2) feeds GoBGP RPD policies as raw
# attributes on IPv4 unicast routes: one carrying the Wide Community only,
# one also carrying an MP_REACH_NLRI of AFI 1 / SAFI 75. GoBGP is set to
# mirror what it receives and to send pre-policy route monitoring.
# rpd-host must see the initiation and the peer up, and decode the policy
# GoBGP passes on in route monitoring. GoBGP 3.10 sends no route mirroring
# here and drops the UPDATE with the RPD MP_REACH_NLRI of the unnegotiated
# family (its IPv4 route with it); the test checks that only the other one
# arrives and reports what came. Bounded in time; every process started is stopped by its pid.
#   gobgp_bmp.sh RPD_HOST SOURCE_DIR
set -euo pipefail
tool=$1
src=$2
name=gobgp_bmp
source "$src/tests/live/common.sh"
need gobgpd exabgp

bmp_port=$(free_port)
bgp_port=$((bmp_port + 1))
api_port=$((bmp_port + 2))

"$tool" encode --format hex --output "$work/full.hex" "$src/samples/full-set.json"
full=$("$tool" --json --no-summary "$work/full.hex" | sed -n 's/.*"raw":"\([0-9a-f]*\)".*/\1/p' | head -1)
[[ -n $full ]] || fail "no policy bytes"
reach="00014b04c000020200$(printf '0901%08x%08x' 7 0x0a010101)"

timeout 40 "$tool" bmp --bind 127.0.0.1 --port "$bmp_port" --sessions 1 --duration 30 --json \
  >"$work/out.jsonl" 2>"$work/err.txt" &
host=$!
pids+=("$host")
cat >"$work/gobgp.toml" <<CONF
[global.config]
  as = 65002
  router-id = "127.0.0.3"
  port = $bgp_port
  local-address-list = ["127.0.0.3"]
[[bmp-servers]]
  [bmp-servers.config]
    address = "127.0.0.1"
    port = $bmp_port
    route-monitoring-policy = "pre-policy"
    route-mirroring-enabled = true
[[neighbors]]
  [neighbors.config]
    neighbor-address = "127.0.0.2"
    peer-as = 65001
  [neighbors.transport.config]
    passive-mode = true
    local-address = "127.0.0.3"
CONF
wait_listening 127.0.0.1 "$bmp_port"
gobgpd -f "$work/gobgp.toml" --api-hosts "127.0.0.3:$api_port" -l info >"$work/gobgp.log" 2>&1 &
gobgp=$!
pids+=("$gobgp")
wait_listening 127.0.0.3 "$bgp_port"
exabgp_announce 127.0.0.3 "$bgp_port" 65002 \
  "announce route 10.0.0.0/24 next-hop 192.0.2.2 attribute [ 0x81 0xc0 0x$full ]" \
  "announce route 10.0.1.0/24 next-hop 192.0.2.2 attribute [ 0x0e 0x80 0x$reach ] attribute [ 0x81 0xc0 0x$full ]"

# The first policy through GoBGP, then time for the second announcement (which GoBGP drops).
for _ in $(seq 1 75); do
  grep -q '"type":"policy"\|"type":"route"' "$work/out.jsonl" 2>/dev/null && break
  sleep 0.2
done
sleep 2
kill "$gobgp"  # its BMP connection ends, and with it rpd-host (--sessions 1)
rc=0
wait "$host" || rc=$?
[[ $rc -eq 0 ]] || fail "rpd-host bmp exited with $rc"
/usr/bin/python3 "$src/tests/tool/validate_json.py" "$src/docs/rpd-host.schema.json" <"$work/out.jsonl" ||
  fail "records do not match the schema"
/usr/bin/python3 - "$work/out.jsonl" <<'PY' || fail "unexpected BMP stream"
import json, sys
records = [json.loads(l) for l in open(sys.argv[1])]
events = [r["event"] for r in records if r["type"] == "event"]
assert any('BMP initiation, sysName "GoBGP"' in e for e in events), events
assert any("peer up: pre-policy Adj-RIB-In" in e and "no RPD family offered" in e for e in events), events
decoded = [r for r in records if r["type"] in ("policy", "route") and r.get("peer") == "127.0.0.2"]
assert len(decoded) >= 1 and all(r["policy"]["community"] == "MATCH AND SET" for r in decoded), decoded
# What the README says arrives: the policy riding on 10.0.0.0/24; the UPDATE of 10.0.1.0/24, which also
# carries the RPD MP_REACH_NLRI, is dropped whole.
prefixes = {p for r in decoded for p in r.get("prefixes", [])}
assert prefixes == {"10.0.0.0/24"}, f"GoBGP passed on {sorted(prefixes)}, not 10.0.0.0/24 alone"
summary = [r for r in records if r["type"] == "summary"][0]
assert not summary["failed"], summary
routes = sum(1 for r in records if r["type"] == "route")
mirrored = sum(1 for r in decoded if "route mirroring" in r.get("stream", ""))
print(f"gobgp_bmp: {len(decoded)} policies decoded from GoBGP's BMP ({mirrored} mirrored); RPD routes carried: {routes}")
PY
