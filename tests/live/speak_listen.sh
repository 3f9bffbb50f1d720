#!/usr/bin/env bash
# `rpd-host speak` to `rpd-host listen` over loopback: listen reports what
# it reads in the order it arrived (the last withdrawals before the Cease
# that follows them), numbers every BGP message as its own recordings do
# when read back (MRT, and pcapng replayed with no option although listen
# was not on port 179; tshark reads the pcapng too), and speak's summary
# counts the routes it sent. Bounded in time; every process started is
# stopped by its pid.
#   speak_listen.sh RPD_HOST SOURCE_DIR
set -euo pipefail
tool=$1
src=$2
name=speak_listen
source "$src/tests/live/common.sh"

port=$(free_port)
timeout 30 "$tool" listen --bind 127.0.0.1 --port "$port" --sessions 1 --duration 20 --json \
  --write "$work/record.mrt" >"$work/listen.jsonl" 2>"$work/listen.err" &
listen=$!
pids+=("$listen")
wait_listening 127.0.0.1 "$port"
port2=$(free_port)
timeout 30 "$tool" listen --bind 127.0.0.1 --port "$port2" --sessions 1 --duration 20 --quiet \
  --write "$work/record.pcapng" >/dev/null 2>&1 &
listen2=$!
pids+=("$listen2")
wait_listening 127.0.0.1 "$port2"
timeout 30 "$tool" speak --connect 127.0.0.1 --port "$port2" --local-as 65001 --duration 2 --quiet \
  "$src/samples/multi-nlri.json" </dev/null >/dev/null 2>&1 || fail "speak (pcapng) exited with $?"
timeout 30 "$tool" speak --connect 127.0.0.1 --port "$port" --local-as 65001 --duration 3 --json \
  "$src/samples/multi-nlri.json" </dev/null >"$work/speak.jsonl" 2>"$work/speak.txt" || fail "speak exited with $?"
rc=0
wait "$listen" || rc=$?
[[ $rc -eq 0 ]] || fail "listen exited with $rc"
wait "$listen2" || fail "listen (pcapng) exited with $?"
"$tool" --json "$work/record.mrt" >"$work/replay.jsonl" 2>/dev/null || fail "the recording does not replay cleanly"
"$tool" --json "$work/record.pcapng" >"$work/replay-pcapng.jsonl" 2>/dev/null || fail "the pcapng does not replay cleanly"
[[ $(grep -c '"type":"route"' "$work/replay-pcapng.jsonl") -eq 8 ]] || fail "the pcapng does not replay to 8 routes"
[[ $(tshark -r "$work/record.pcapng" -Y "bgp.type == 2" 2>/dev/null | wc -l) -eq 2 ]] || fail "tshark does not read the pcapng"
/usr/bin/python3 - "$work/listen.jsonl" "$work/replay.jsonl" "$work/speak.txt" <<'PY' || fail "unexpected session"
import json, sys
live = [json.loads(l) for l in open(sys.argv[1])]
replay = [json.loads(l) for l in open(sys.argv[2])]
order = [("route", r["action"]) if r["type"] == "route" else ("event", r["event"]) for r in live
         if r["type"] == "route" or (r["type"] == "event" and r["event"].startswith("closed"))]
closed = next(i for i, (kind, what) in enumerate(order) if kind == "event")
assert order[closed - 1] == ("route", "withdraw"), order  # the withdrawals came before the Cease
assert order[closed][1].startswith("closed: peer sent NOTIFICATION Cease"), order
routes = lambda records: [(r["message"], r["action"], r["key"]) for r in records if r["type"] == "route"]
assert routes(live) and routes(live) == routes(replay), (routes(live), routes(replay))
summary = [r for r in live if r["type"] == "summary"][0]
assert summary["message_types"].get("OPEN") == 1 and summary["message_types"].get("KEEPALIVE", 0) >= 1, summary
said = open(sys.argv[3]).read()
assert "sent 2 UPDATEs: routes announced 4, withdrawn 4" in said, said
PY
echo "speak_listen: routes before the Cease, message numbers as in the recording, the sent routes counted"
