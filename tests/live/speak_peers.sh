#!/usr/bin/env bash
# `rpd-host speak` as an RPD controller against real BGP speakers over
# loopback, neither of which knows AFI 1 / SAFI 75:
#  - GoBGP (127.0.0.3): the session reaches Established and stays up through
#    more than three hold times (3 s); the policies are sent anyway
#    (--force), withdrawn on SIGUSR1, announced again on the "announce"
#    command, withdrawn at the end, and the session closed with a Cease.
#    GoBGP logs that it disabled the unknown family and keeps the session.
#  - ExaBGP (127.0.0.4): the session stays up as long without --force (the
#    peer did not offer the family, so nothing is sent); with --force,
#    ExaBGP answers with a NOTIFICATION, which rpd-host reports.
# Bounded in time; every process started is stopped by its pid.
#   speak_peers.sh RPD_HOST SOURCE_DIR
set -euo pipefail
tool=$1
src=$2
name=speak_peers
source "$src/tests/live/common.sh"
need gobgpd exabgp

# The events (and problems) of a run, one per line.
events() {
  /usr/bin/python3 -c '
import json, sys
for r in map(json.loads, open(sys.argv[1])):
    if r["type"] in ("event", "problem"): print(r["type"], r.get("event", r.get("what")))' "$1"
}

# --- GoBGP -------------------------------------------------------------------
gport=$(free_port)
cat >"$work/gobgp.toml" <<CONF
[global.config]
  as = 65002
  router-id = "127.0.0.3"
  port = $gport
  local-address-list = ["127.0.0.3"]
[[neighbors]]
  [neighbors.config]
    neighbor-address = "127.0.0.1"
    peer-as = 65000
  [neighbors.transport.config]
    passive-mode = true
    local-address = "127.0.0.3"
  [neighbors.timers.config]
    hold-time = 3
    keepalive-interval = 1
CONF
gobgpd -f "$work/gobgp.toml" --api-hosts "127.0.0.3:$(free_port)" -l info >"$work/gobgp.log" 2>&1 &
gobgp=$!
pids+=("$gobgp")
wait_listening 127.0.0.3 "$gport"

mkfifo "$work/commands"
timeout 30 "$tool" speak --connect 127.0.0.3 --port "$gport" --bind 127.0.0.1 --local-as 65000 --hold-time 3 \
  --duration 11 --force --json "$src/samples/multi-nlri.json" <"$work/commands" >"$work/gobgp.jsonl" 2>"$work/gobgp.err" &
speak=$!
pids+=("$speak")
exec 3>"$work/commands"
sleep 4
kill -USR1 "$(pgrep -P "$speak")"  # rpd-host itself, not the timeout around it
sleep 1
echo announce >&3
rc=0
wait "$speak" || rc=$?
exec 3>&-
[[ $rc -eq 0 ]] || fail "speak to GoBGP exited with $rc"
kill -0 "$gobgp" 2>/dev/null || fail "GoBGP is gone"
events "$work/gobgp.jsonl" >"$work/gobgp.events"
/usr/bin/python3 - "$work/gobgp.events" <<'PY' || fail "unexpected GoBGP session"
import sys
ev = [l.rstrip("\n") for l in open(sys.argv[1])]
kinds = [e.split(" ")[1].rstrip(":") for e in ev]
assert kinds == ["connected", "Established", "announced", "withdrew", "announced", "withdrew", "closed"], ev
assert ev[-1].endswith("Cease / Administrative Shutdown (6/2)"), ev
PY
grep '"msg":"Peer Down"' "$work/gobgp.log" | grep 'code 6(cease) subcode 2' >/dev/null || fail "GoBGP did not see our Cease"
grep -c '"msg":"Peer Down"' "$work/gobgp.log" | grep -x 1 >/dev/null || fail "the GoBGP session went down more than once"
echo "speak_peers: GoBGP up 11 s (hold time 3 s); it logged: $(grep -o 'unknown route family[^"]*' "$work/gobgp.log" | head -1)"

# --- ExaBGP ------------------------------------------------------------------
eport=$(free_port)
cat >"$work/exabgp.conf" <<CONF
neighbor 127.0.0.1 {
  router-id 127.0.0.4; local-address 127.0.0.4; local-as 65004; peer-as 65000;
  passive true; hold-time 3;
  family { ipv4 unicast; }
}
CONF
start_exabgp exabgp.tcp.bind=127.0.0.4 exabgp.tcp.port="$eport"
wait_listening 127.0.0.4 "$eport"
speak_exa() {  # RUN DURATION [--force]
  local run=$1 duration=$2
  shift 2
  local rc=0
  timeout 30 "$tool" speak --connect 127.0.0.4 --port "$eport" --bind 127.0.0.1 --local-as 65000 --hold-time 3 \
    --duration "$duration" --json "$@" "$src/samples/full-set.json" </dev/null >"$work/$run.jsonl" 2>"$work/$run.err" ||
    rc=$?
  events "$work/$run.jsonl" >"$work/$run.events"
  return $rc
}
speak_exa exabgp 10 || fail "speak to ExaBGP exited with $?"
grep -q "^event Established: AS 65004, hold time 3 s, no RPD family offered" "$work/exabgp.events" ||
  fail "no session with ExaBGP"
grep -q "^event the peer did not offer AFI 1 / SAFI 75: nothing announced" "$work/exabgp.events" ||
  fail "the missing family was not reported"
tail -n 1 "$work/exabgp.events" | grep "closed: sent NOTIFICATION Cease" >/dev/null || fail "the ExaBGP session did not last"
rc=0
speak_exa exabgp-force 10 --force || rc=$?
[[ $rc -eq 1 ]] || fail "speak --force to ExaBGP exited with $rc, not 1"
said=$(sed -n 's/^problem .*peer sent NOTIFICATION //p' "$work/exabgp-force.events")
[[ $said == "UPDATE Message Error (3/0): \"presented a non-negotiated family ipv4/unknown safi 75\"" ]] ||
  fail "ExaBGP's answer was not reported: $said"
echo "speak_peers: ExaBGP up 10 s without the family; with --force it sent NOTIFICATION $said"
