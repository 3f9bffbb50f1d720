# Shared by the live shell tests: a scratch folder, the processes started
# (stopped by their pid on exit), a failure report with the logs, free ports
# and waiting for a listener. Source it after setting `name`.
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "$name: $*" >&2
  for f in "$work"/*.jsonl "$work"/*.err "$work"/*.txt "$work"/*.log; do
    [[ -f $f ]] && { echo "== ${f##*/}" >&2; tail -n 15 "$f" >&2; }
  done
  exit 1
}
# Exit 77 (skipped) when a peer implementation is missing.
need() {
  for t in "$@"; do
    command -v "$t" >/dev/null || { echo "$name: $t is not installed (scripts/deps installs it)" >&2; exit 77; }
  done
}
free_port() {
  local p=$((20000 + RANDOM % 20000))
  while ss -ltn 2>/dev/null | grep -q ":$p "; do p=$((p + 1)); done
  echo $p
}
wait_listening() {  # ADDR PORT
  for _ in $(seq 1 50); do ss -ltn 2>/dev/null | grep -q "$1:$2 " && return 0; sleep 0.2; done
  fail "nothing listens on $1:$2"
}
# Starts ExaBGP on $work/exabgp.conf, logging to $work/exabgp.log; VAR=VALUE
# arguments add to (or override) its environment. Its pid goes to `pids`
# and stays in `exabgp_pid`.
start_exabgp() {
  env exabgp.tcp.bind='' exabgp.daemon.user="$(id -un)" exabgp.log.destination="$work/exabgp.log" "$@" \
    exabgp "$work/exabgp.conf" >/dev/null 2>&1 &
  exabgp_pid=$!
  pids+=("$exabgp_pid")
}
# ExaBGP as AS 65001 on 127.0.0.2, connecting to NEIGHBOR:PORT (AS PEER_AS)
# over IPv4 unicast, gives each LINE to its API from two seconds after its
# start ("sleep N" lines wait).
exabgp_announce() {  # NEIGHBOR PORT PEER_AS LINE...
  local neighbor=$1 port=$2 peer_as=$3 line
  shift 3
  {
    echo '#!/bin/sh'
    echo 'sleep 2'
    for line in "$@"; do
      if [[ $line == sleep* ]]; then echo "$line"; else echo "echo \"$line\""; fi
    done
    echo 'sleep 60'
  } >"$work/announce.sh"
  chmod +x "$work/announce.sh"
  cat >"$work/exabgp.conf" <<CONF
process announce { run $work/announce.sh; encoder text; }
neighbor $neighbor {
  router-id 127.0.0.2; local-address 127.0.0.2; local-as 65001; peer-as $peer_as;
  connect $port; group-updates false;
  family { ipv4 unicast; }
  api { processes [ announce ]; }
}
CONF
  start_exabgp
}
