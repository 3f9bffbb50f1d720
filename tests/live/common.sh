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
