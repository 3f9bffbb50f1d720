#!/usr/bin/env bash
# rpd-host as a user meets it: help, exit codes, error texts, the bundled
# samples, encode reproducing them, and tshark reading its pcap output.
set -uo pipefail
tool=$(realpath "$1")
samples=$2
fixtures=$3
here=$(cd "$(dirname "$0")" && pwd)
schema=$here/../../docs/rpd-host.schema.json
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

expect_rc() {  # expected-rc description command...
  local want=$1 what=$2
  shift 2
  "$@" >"$tmp/out" 2>"$tmp/err"
  local rc=$?
  [[ $rc -eq $want ]] || fail "$what: exit $rc, wanted $want ($(head -c 300 "$tmp/err"))"
}

# Help documents every option the tool takes.
"$tool" --help >"$tmp/help" || fail "--help exit code"
for opt in --plugin --format --port --bmp-port --display --plugin-text --json --quiet --verify --wide-community-code \
           --no-summary --progress --no-progress --help --version --peer --distinguisher --community --output encode \
           gzip bzip2 xz zstd "Exit status"; do
  grep -q -- "$opt" "$tmp/help" || fail "--help does not mention $opt"
done

# Usage errors say what is wrong.
expect_rc 2 "unknown option" "$tool" --bogus x
expect_rc 2 "no input" "$tool"
expect_rc 2 "option without its value" "$tool" "$samples/full-set.hex" --port
grep -q "option --port needs a value" "$tmp/err" || fail "missing value not named: $(cat "$tmp/err")"
expect_rc 2 "conflicting output modes" "$tool" --json --display "$samples/full-set.hex"
grep -q -- "--json and --display cannot be used together" "$tmp/err" || fail "conflict not named"
expect_rc 2 "bad filter" "$tool" --community MATCH_ANY "$samples/full-set.hex"
# The mode is recognised after the options every mode shares, and they are taken after it too; a
# mode's own option given to another mode names the mode it belongs to.
"$tool" encode "$samples/noadv.json" >"$tmp/want.hex"
expect_rc 0 "an option before encode" "$tool" --no-progress encode "$samples/noadv.json"
cmp -s "$tmp/out" "$tmp/want.hex" || fail "--no-progress encode: other output"
expect_rc 0 "an option after encode" "$tool" encode --no-progress "$samples/noadv.json"
mkdir -p "$tmp/cwd/listen"
(cd "$tmp/cwd" && "$tool" --quiet listen --bind 127.0.0.1 --port $((20000 + RANDOM % 20000)) --duration 1 >out 2>err) ||
  fail "--quiet listen: $(cat "$tmp/cwd/err")"
grep -q "^summary: " "$tmp/cwd/out" || fail "--quiet listen did not run listen"
expect_rc 2 "speak's option to listen" "$tool" listen --connect 192.0.2.1
grep -q -- "--connect is an option of rpd-host speak, not of rpd-host listen" "$tmp/err" || fail "mode not named: $(cat "$tmp/err")"
expect_rc 2 "one port for BGP and BMP" "$tool" --port 1790 --bmp-port 1790 "$samples/full-set.pcap"
grep -q -- "--port and --bmp-port both name port 1790" "$tmp/err" || fail "port conflict not named: $(cat "$tmp/err")"
# Publishing and consume: what is refused before any server is asked.
for bad in "--since 2026-13-01T00:00:00Z" "--since 2026-12-08T10:00:00" "--since yesterday" "--durable a.b"; do
  expect_rc 2 "consume $bad" "$tool" consume $bad nats://127.0.0.1:4222
done
expect_rc 2 "consume without servers" "$tool" consume
expect_rc 2 "a server that is not nats://" "$tool" consume http://127.0.0.1:4222
expect_rc 2 "--stream without --publish" "$tool" --stream X "$samples/full-set.hex"
grep -q -- "go with --publish" "$tmp/err" || fail "--stream without --publish not said: $(cat "$tmp/err")"
expect_rc 2 "a station's option for consume" "$tool" consume --publish nats://127.0.0.1:4222 nats://127.0.0.1:4222
expect_rc 1 "consume from no server" "$tool" consume --since 2026-12-08T10:00:00.5Z nats://127.0.0.1:1
expect_rc 2 "publish to no server" "$tool" --publish nats://127.0.0.1:1 "$samples/full-set.hex"
grep -q "publish: cannot connect to nats://127.0.0.1:1" "$tmp/err" || fail "unreachable server not named: $(cat "$tmp/err")"
expect_rc 0 "--version" "$tool" --version
grep -q "^rpd-host [0-9]" "$tmp/out" || fail "--version prints no version"
cp "$samples/noadv.hex" "$tmp/-odd.hex"
(cd "$tmp" && "$tool" -- -odd.hex >out 2>err) || fail "-- does not end the options"
# A missing input is reported; the other inputs are still read and the summary printed.
expect_rc 1 "missing file" "$tool" "$tmp/none.hex" "$samples/full-set.hex"
grep -q "$tmp/none.hex: No such file" "$tmp/err" || fail "missing file not named"
grep -q "announce" "$tmp/out" || fail "the input after a missing one was not read"
grep -q "unreadable input 1" "$tmp/out" || fail "the summary does not count the missing input"
expect_rc 2 "bad plug-in path" "$tool" --plugin "$tmp/none.so" "$samples/full-set.hex"

# Output that cannot be written is a failure that names the file, in every output mode and in
# the live modes; encode writes through a link to its target and into devices as they are.
full() {  # what: the command's exit status and its words with standard output on a full disk
  local what=$1
  shift
  "$@" >/dev/full 2>"$tmp/err"
  local rc=$?
  [[ $rc -eq 1 ]] || fail "$what to a full disk: exit $rc, wanted 1"
  grep -q "^rpd-host: standard output: No space left on device$" "$tmp/err" || fail "$what: full disk not said: $(cat "$tmp/err")"
}
for mode in "" --json --quiet --display --plugin-text --verify; do
  full "output ($mode)" "$tool" $mode "$samples/full-set.hex" "$samples/noadv.hex"
done
port=$((20000 + RANDOM % 20000))
full "listen" "$tool" listen --bind 127.0.0.1 --port $port --duration 1
"$tool" listen --bind 127.0.0.1 --port $port --duration 1 --write-format pcap --write /dev/full >"$tmp/out" 2>"$tmp/err"
[[ $? -eq 1 ]] && grep -q "recording stopped: /dev/full: No space left on device" "$tmp/err" || fail "listen: a failed record not said"
ln -s "$tmp/real.hex" "$tmp/link.hex"
expect_rc 0 "encode through a link" "$tool" encode --output "$tmp/link.hex" "$samples/noadv.json"
[[ -L $tmp/link.hex ]] && cmp -s "$tmp/real.hex" "$samples/noadv.hex" || fail "encode replaced the link or missed its target"
expect_rc 0 "encode to a device" "$tool" encode --output /dev/null "$samples/noadv.json"
expect_rc 1 "encode to a full device" "$tool" encode --output /dev/full "$samples/noadv.json"
grep -q "^rpd-host: /dev/full: No space left on device$" "$tmp/err" || fail "encode: full device not said"
full "encode" "$tool" encode "$samples/noadv.json"

# Exit statuses: a live mode that cannot listen fails (1, not the usage status 2); speak with no
# session established fails; a peer listen does not allow is refused with a NOTIFICATION (Cease,
# Connection Rejected) and that is no failure of rpd-host.
expect_rc 1 "listen on an address not here" "$tool" listen --bind 192.0.2.1 --port $port --duration 1
expect_rc 1 "speak with no session" "$tool" speak --connect 127.0.0.1 --port 1 --duration 1 "$samples/noadv.json"
grep -q "no session" "$tmp/err" || fail "speak: no session not said: $(cat "$tmp/err")"
"$tool" listen --bind 127.0.0.1 --port $port --allow 127.0.0.2 --duration 2 --json >"$tmp/rejected.jsonl" 2>/dev/null &
listener=$!
sleep 0.5
notified=$(/usr/bin/python3 - $port <<'PY'
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=2)
data = b""
while len(data) < 21:
    chunk = s.recv(64)
    if not chunk:
        break
    data += chunk
print(f"{data[18]}/{data[19]}/{data[20]}" if len(data) >= 21 else "none")
PY
)
wait $listener
rc=$?
[[ $rc -eq 0 ]] || fail "listen exited with $rc after refusing a peer"
[[ $notified == 3/6/5 ]] || fail "a refused peer got $notified, not a NOTIFICATION 6/5"
grep -q '"event":"connection rejected: 127.0.0.1:[0-9]* -> 127.0.0.1:'$port', not an allowed peer' "$tmp/rejected.jsonl" ||
  fail "the refused connection was not reported: $(cat "$tmp/rejected.jsonl")"

# Every good sample decodes and verifies in every format; the malformed one fails and says where.
for base in full-set noadv withdraw multi-nlri; do
  for fmt in hex mrt pcap; do
    expect_rc 0 "$base.$fmt" "$tool" --verify "$samples/$base.$fmt"
    grep -q "^failures: 0" "$tmp/out" || fail "$base.$fmt: summary does not say failures: 0"
  done
done
for fmt in hex mrt pcap; do
  expect_rc 1 "malformed.$fmt" "$tool" "$samples/malformed.$fmt"
  grep -q "malformed.$fmt: message 1 (offset 0.*Wide Community attribute refused: the route-attribute sub-TLV (length 4) must fill the Target TLV (length 9) at attribute byte 22 (message byte 83): TAM_RPD_ERR_PKT_MALFORMED" \
    "$tmp/err" || fail "malformed.$fmt: error text: $(cat "$tmp/err")"
  grep -q "^    attribute bytes: ... 09 30 \[00\] 04 02 ...$" "$tmp/err" || fail "malformed.$fmt: no excerpt"
  grep -q "Distinguisher: 10" "$tmp/out" || fail "malformed.$fmt: the walk did not go on to message 2"
done
"$tool" "$samples/multi-nlri.hex" | grep -c "^  announce" | grep -x 4 >/dev/null || fail "multi-nlri: not 4 routes"
# (Output goes to a file first: grep -q stopping early would break the pipe.)
"$tool" --json "$samples/full-set.pcap" >"$tmp/json" 2>/dev/null
grep -q '"as_path":\["^100\$","_200_"\]' "$tmp/json" || fail "json match"
"$tool" --format hex - <"$samples/noadv.hex" >"$tmp/stdin.out"
grep -q "MATCH AND NOADV" "$tmp/stdin.out" || fail "stdin"

# --plugin-text is the plug-in's own composite text under the headings the default text has, byte for byte.
for base in full-set noadv withdraw multi-nlri malformed; do
  for fmt in hex mrt pcap; do
    (cd "$samples" && "$tool" --plugin-text "$base.$fmt") >"$tmp/out" 2>/dev/null
    cmp -s "$tmp/out" "$here/golden/$base.$fmt.plugin-text" ||
      fail "--plugin-text $base.$fmt differs from the plug-in's composite text"
  done
done
# The default shows each policy item on its own line.
"$tool" "$samples/full-set.hex" >"$tmp/out"
for line in "    match AS path     ^100\$" "    match community   1:2 3:4" "    match community   65535:65535" "    MED               + 50"; do
  grep -q "^$line\$" "$tmp/out" || fail "readable text lacks '$line'"
done

# Filters: by peer address, distinguisher and community value.
"$tool" --peer 10.0.0.2 --peer 10.0.0.3 "$samples/multi-nlri.hex" >"$tmp/out"
[[ $(grep -c "^  announce" "$tmp/out") -eq 2 ]] || fail "--peer: not 2 routes"
grep -q "routes left out by the filters" "$tmp/out" || fail "--peer: filtered routes not counted"
"$tool" --distinguisher 4294967295 "$samples/multi-nlri.hex" | grep -c "^  announce" | grep -x 1 >/dev/null || fail "--distinguisher"
"$tool" --community MATCH_AND_NOADV "$samples/full-set.hex" "$samples/noadv.hex" | grep -c "^  announce" | grep -x 1 >/dev/null ||
  fail "--community"

# JSON: every record of every sample and fixture holds to the schema (Debian's python3-jsonschema).
for f in "$samples"/*.hex "$samples"/*.pcap "$samples"/*.mrt "$fixtures"/*.pcap* "$fixtures"/*.mrt; do
  "$tool" --json --verify --port 179 --port 1179 "$f" 2>/dev/null >"$tmp/records"
  "$here/validate_json.py" "$schema" <"$tmp/records" 2>"$tmp/err" || fail "$(basename "$f"): records off the schema: $(cat "$tmp/err")"
done
# --table: the routes in force, on the schema too; a BMP peer that went down leaves none, an earlier time some.
"$tool" --table --json --station lab --at 2023-11-14T22:13:22.6Z "$fixtures/bmp-rpd.pcapng" 2>/dev/null >"$tmp/records"
"$here/validate_json.py" "$schema" <"$tmp/records" 2>"$tmp/err" || fail "--table --json off the schema: $(cat "$tmp/err")"
tail -1 "$tmp/records" | grep -x '{"type":"table","routes":5,"at":"2023-11-14T22:13:22.600000Z"}' >/dev/null ||
  fail "--table --at: $(tail -1 "$tmp/records")"
"$tool" --table "$fixtures/bmp-rpd.pcapng" >"$tmp/out"
grep -q "^table: 0 RPD routes in force at the end" "$tmp/out" || fail "--table after peer down"
expect_rc 2 "--table with --display" "$tool" --table --display "$samples/full-set.hex"
expect_rc 2 "--at without --table" "$tool" --at 2023-11-14T22:13:22Z "$samples/full-set.hex"
# Decode -> encode -> decode gives the same routes and policies, for every sample and fixture.
same_routes() {
  /usr/bin/python3 - "$1" "$2" <<'PY'
import json, sys
def routes(path):
    out = []
    for line in open(path):
        r = json.loads(line)
        if r["type"] in ("route", "policy"):
            out.append((r["type"], r.get("action"), r.get("key"), r.get("policy")))
    return out
a, b = routes(sys.argv[1]), routes(sys.argv[2])
sys.exit(0 if a == b and a else 1)
PY
}
for f in "$samples"/*.pcap "$samples"/*.mrt "$fixtures"/session.pcap "$fixtures"/*.mrt; do
  "$tool" --json --port 179 "$f" 2>/dev/null >"$tmp/first"
  "$tool" encode --format raw --output "$tmp/again.raw" "$tmp/first" || { fail "$(basename "$f"): encode refused the records"; continue; }
  "$tool" --json "$tmp/again.raw" 2>/dev/null >"$tmp/second"
  same_routes "$tmp/first" "$tmp/second" || fail "$(basename "$f"): decode -> encode -> decode changed the routes"
done

# encode: a failure leaves no file behind and names the field.
echo '{"session":{"peer_address":"192.0.2.1","local_address":"2001:db8::2"},"updates":[{}]}' >"$tmp/mixed.json"
expect_rc 1 "encode with addresses of two families" "$tool" encode --format pcap --output "$tmp/mixed.pcap" "$tmp/mixed.json"
grep -q "local_address: must be of the same family" "$tmp/err" || fail "endpoint error text: $(cat "$tmp/err")"
[[ ! -e $tmp/mixed.pcap && ! -e $tmp/mixed.pcap.part ]] || fail "a failed encode left a file behind"

# pcapng (converted by a third party) gives the same routes as pcap.
if command -v editcap >/dev/null; then
  editcap -F pcapng "$samples/multi-nlri.pcap" "$tmp/multi.pcapng"
  "$tool" --plugin-text "$samples/multi-nlri.pcap" >"$tmp/pcap.out"
  "$tool" --plugin-text "$tmp/multi.pcapng" >"$tmp/pcapng.out" || fail "pcapng exit code"
  cmp -s <(sed 's/^[^ ]*: message/message/' "$tmp/pcap.out") <(sed 's/^[^ ]*: message/message/' "$tmp/pcapng.out") ||
    fail "pcapng routes differ from pcap"
fi

# encode reproduces the bundled samples byte for byte (the malformed one only when told to take it).
for json in "$samples"/*.json; do
  base=$(basename "$json" .json)
  unchecked=()
  [[ $base == malformed ]] && unchecked=(--unchecked)
  for fmt in hex mrt pcap; do
    "$tool" encode "${unchecked[@]}" --format "$fmt" --output "$tmp/$base.$fmt" "$json" || fail "encode $base.$fmt"
    cmp -s "$tmp/$base.$fmt" "$samples/$base.$fmt" || fail "encode $base.$fmt differs from the sample"
  done
done
# encode and speak take a policy the plug-in refuses only when told to: otherwise it is an error in the
# decoder's words, and nothing is written or sent.
for policy in '{"community":"MATCH AND SET","match":{"as_path":["^1$"]}}|MATCH AND SET needs at least one action' \
              '{"community":"MATCH AND NOADV"}|the route-attribute sub-TLV must not be empty' \
              '{"match":{"prefixes":[{"prefix":"10.0.0.0/8","greater_equal":4}]},"actions":{"med":{"value":1}}}|greater-equal match needs mask <= greater-equal'; do
  echo "{\"updates\":[{\"announce\":[{\"distinguisher\":1,\"peer\":\"10.0.0.1\"}],\"policy\":${policy%%|*}}]}" >"$tmp/refused.json"
  expect_rc 1 "encode of a refused policy" "$tool" encode --output "$tmp/refused.hex" "$tmp/refused.json"
  grep -q "\$.updates\[0\]): Wide Community attribute refused: .*${policy#*|}" "$tmp/err" || fail "refusal not said: $(cat "$tmp/err")"
  [[ ! -e $tmp/refused.hex ]] || fail "a refused policy was written"
  expect_rc 0 "encode --unchecked of a refused policy" "$tool" encode --unchecked --output "$tmp/refused.hex" "$tmp/refused.json"
  rm -f "$tmp/refused.hex"
done
expect_rc 1 "speak with a refused policy" "$tool" speak --connect 127.0.0.1 --port 1 --duration 5 "$tmp/refused.json"
grep -q "cannot connect" "$tmp/out" && fail "speak tried to send a refused policy"
echo '{"updates":[{"policy":{"community":"MATCH ANDSET"}}]}' >"$tmp/bad.json"
expect_rc 1 "encode with a community misspelt" "$tool" encode "$tmp/bad.json"
grep -q 'community: expected "MATCH AND SET", "MATCH AND NOADV" or a number' "$tmp/err" || fail "community error: $(cat "$tmp/err")"
expect_rc 2 "encode to an unknown format" "$tool" encode --format json "$samples/noadv.json"
grep -q "unknown output format json" "$tmp/err" || fail "format error does not name the value: $(cat "$tmp/err")"
echo '{"updates":[{"policy":{"bogus":1}}]}' >"$tmp/bad.json"
expect_rc 1 "encode with an unknown field" "$tool" encode "$tmp/bad.json"
grep -q 'bad.json: $.updates\[0\].policy.bogus: unknown field' "$tmp/err" || fail "encode error text: $(cat "$tmp/err")"

# Truncated and garbage files: a clear error and exit 1, never a crash.
for f in full-set.mrt full-set.pcap multi-nlri.hex full-set.raw; do
  src=$samples/$f
  if [[ $f == *.raw ]]; then "$tool" encode --format raw --output "$tmp/$f" "$samples/full-set.json"; src=$tmp/$f; fi
  size=$(stat -c %s "$src")
  for cut in 1 13 30 $((size / 2)) $((size - 4)); do
    head -c "$cut" "$src" >"$tmp/cut"
    expect_rc 1 "$f cut to $cut bytes" "$tool" "$tmp/cut"
    grep -q "^rpd-host: $tmp/cut: " "$tmp/err" || fail "$f cut to $cut: error does not name the file"
  done
done
head -c 5000 /dev/urandom >"$tmp/garbage"
for fmt in auto hex raw mrt pcap; do
  expect_rc 1 "garbage as $fmt" "$tool" --format "$fmt" "$tmp/garbage"
done

# Compressed input, told by its magic number whatever is inside, from a file or a pipe: the
# same output as the plain file. A cut compressed stream is reported and fails the run.
for f in full-set.mrt multi-nlri.pcap noadv.hex; do
  "$tool" "$samples/$f" >"$tmp/plain.out" 2>&1
  for z in gzip bzip2 xz zstd; do
    $z -c "$samples/$f" >"$tmp/$f.$z"
    "$tool" "$tmp/$f.$z" >"$tmp/z.out" 2>&1 || fail "$f.$z: exit code"
    diff <(sed "s|$tmp/$f.$z|F|" "$tmp/z.out") <(sed "s|$samples/$f|F|" "$tmp/plain.out") >/dev/null ||
      fail "$f.$z: output differs from the plain file's"
  done
  "$tool" - <"$tmp/$f.xz" >"$tmp/z.out" 2>&1 || fail "$f.xz on stdin: exit code"
  grep -q "failures: 0" "$tmp/z.out" || fail "$f.xz on stdin"
done
cat "$samples"/*.mrt | gzip -c >"$tmp/all.mrt.gz"
head -c $(($(stat -c %s "$tmp/all.mrt.gz") - 30)) "$tmp/all.mrt.gz" >"$tmp/cut.gz"
expect_rc 1 "cut gzip" "$tool" "$tmp/cut.gz"
grep -q "gzip" "$tmp/err" || fail "cut gzip not reported: $(cat "$tmp/err")"

# Hex as real tools print it: xxd, xxd -p, hexdump -C, with a UTF-8 comment and a NUL.
"$tool" encode --format raw --output "$tmp/m.raw" "$samples/multi-nlri.json"
"$tool" "$samples/multi-nlri.hex" | grep "announce" >"$tmp/want.routes"
{ printf '# r\xc3\xa9sum\xc3\xa9\n\0'; xxd -p "$tmp/m.raw"; } >"$tmp/m.utf8"
xxd "$tmp/m.raw" >"$tmp/m.xxd"
hexdump -C "$tmp/m.raw" >"$tmp/m.hexdump"
for f in m.xxd m.hexdump m.utf8; do
  expect_rc 0 "hex form $f" "$tool" "$tmp/$f"
  grep "announce" "$tmp/out" | cmp -s - "$tmp/want.routes" || fail "hex form $f: other routes"
done

# Exit status 1 for damage, with the damage counted in the summary.
expect_rc 1 "capture that starts inside a message" "$tool" "$fixtures/session-midstream.pcap"
grep -q "^damaged: .*bytes that start no BGP message" "$tmp/out" || fail "mid-stream damage not in the summary"
grep -q "^failures: 1 (input: BGP stream 1)$" "$tmp/out" || fail "the failure does not say what was damaged: $(tail -1 "$tmp/out")"

# BGP on another port: a hint without --port, the messages with it.
expect_rc 0 "BGP on port 1179" "$tool" "$fixtures/session-port1179.pcap"
grep -q "no BGP message found" "$tmp/err" || fail "no warning for a capture without BGP on 179"
grep -q "try --port 1179" "$tmp/out" || fail "no --port hint"
expect_rc 0 "BGP on port 1179 with --port" "$tool" --port 1179 "$fixtures/session-port1179.pcap"
grep -q "^summary: [1-9]" "$tmp/out" || fail "--port 1179 found nothing"

# Captures and dumps made by real implementations (tests/fixtures/peers/make), and compressed
# copies: rpd-host recovers at least every BGP message tshark recovers.
messages() { sed -n 's/^summary: \([0-9]*\) messages\?.*/\1/p' "$1"; }
for f in "$fixtures"/*.pcap "$fixtures"/*.pcapng; do
  b=$(basename "$f")
  want=$(tshark -r "$f" -d tcp.port==1179,bgp -Y bgp -T fields -e bgp.type 2>/dev/null | tr ',' '\n' | grep -c .)
  for z in cat gzip zstd; do
    $z <"$f" >"$tmp/fx"
    "$tool" --port 179 --port 1179 "$tmp/fx" >"$tmp/out" 2>"$tmp/err"
    got=$(messages "$tmp/out")
    [[ -n $got && $got -ge $want ]] || fail "$b ($z): $got BGP messages, tshark finds $want"
  done
done
# The OPEN on the SYN, numbered from the SYN itself: every message tshark decodes, none lost after it.
f=$fixtures/session-syn-data.pcap
want=$(tshark -r "$f" -Y bgp -T fields -e bgp.type 2>/dev/null | tr ',' '\n' | grep -c .)
expect_rc 0 "data on the SYN" "$tool" "$f"
[[ $(messages "$tmp/out") -eq $want ]] || fail "session-syn-data.pcap: $(messages "$tmp/out") BGP messages, tshark decodes $want"
grep -q "^damaged" "$tmp/out" && fail "session-syn-data.pcap: damage reported"
grep -q "numbered from the SYN itself" "$tmp/out" || fail "session-syn-data.pcap: the SYN's numbering is not reported"
for f in gobgp-updates.mrt gobgp-table.mrt; do
  for z in cat bzip2 xz; do
    $z <"$fixtures/$f" >"$tmp/fx"
    expect_rc 0 "$f ($z)" "$tool" --verify "$tmp/fx"
    grep -q "policies [1-9]" "$tmp/out" || fail "$f ($z): no policy decoded"
  done
done
grep -q "^  announce" <("$tool" "$fixtures/session.pcap") || fail "session.pcap: no RPD route announced"
# The README's first example is what rpd-host prints for it, line for line (… stands for lines left out).
"$tool" "$fixtures/session.pcap" >"$tmp/session.txt" 2>&1
sed -n '/^\$ rpd-host tests\/fixtures\/peers\/session.pcap$/,/^```$/p' "$here/../../README.md" | sed '1d;$d' | grep -v '^…$' |
  sed 's#^tests/fixtures/peers/#'"$fixtures"'/#' >"$tmp/readme.txt"
[[ -s $tmp/readme.txt ]] || fail "README: the session.pcap example is missing"
grep -vxFf "$tmp/session.txt" "$tmp/readme.txt" >"$tmp/stale" && fail "README example differs from the output: $(head -1 "$tmp/stale")"

# BMP in captures (two GoBGP routers, a hand-built router; one capture cut inside a message):
# every BMP message tshark decodes is read, as a BGP message or an event of its type; the
# whole captures exactly as tshark counts them.
bmp_counts() {  # CAPTURE: "type count" for each BMP message type, from tshark, then from rpd-host
  tshark -r "$1" -d tcp.port==1790,bmp -Y bmp -T fields -e bmp.type 2>/dev/null | tr ',' '\n' | grep . >"$tmp/tshark"
  "$tool" --json "$1" 2>/dev/null >"$tmp/records"
  /usr/bin/python3 - "$tmp/tshark" "$tmp/records" <<'PY'
import collections, json, sys
want = collections.Counter(int(t) for t in open(sys.argv[1]))
records = [json.loads(l) for l in open(sys.argv[2])]
summary = [r for r in records if r["type"] == "summary"][0]
kinds = {1: "statistics:", 2: "peer down:", 3: "peer up:", 4: "BMP initiation", 5: "BMP termination"}
got = {t: sum(1 for r in records if r["type"] == "event" and text in r["event"]) for t, text in kinds.items()}
# Route monitoring carries one UPDATE, each route mirroring here one BGP message.
got[0] = summary["messages"] - want[6]
print(" ".join(f"{t}:{want[t]}:{got[t]}" for t in sorted(got)))
PY
}
gzip -c "$fixtures/bmp-gobgp.pcap" >"$tmp/bmp-gobgp.pcap.gz"
for f in bmp-gobgp.pcap bmp-rpd.pcapng bmp-midstream.pcap "$tmp/bmp-gobgp.pcap.gz"; do
  [[ $f == /* ]] || f=$fixtures/$f
  counts=$(bmp_counts "$f")
  for c in $counts; do
    IFS=: read -r type want got <<<"$c"
    if [[ $f == */bmp-midstream.pcap ]]; then
      [[ $got -ge $want ]] || fail "$f: BMP type $type: $got read, tshark decodes $want"
    else
      [[ $got -eq $want ]] || fail "$f: BMP type $type: $got read, tshark decodes $want"
    fi
  done
  [[ $(echo "$counts" | tr ' ' '\n' | awk -F: '{ n += $2 } END { print n }') -gt 0 ]] || fail "$f: tshark decodes no BMP"
done
expect_rc 0 "BMP captures" "$tool" "$fixtures/bmp-gobgp.pcap" "$fixtures/bmp-rpd.pcapng"
grep -q "^  announce" "$tmp/out" || fail "bmp-rpd.pcapng: no RPD route announced"
expect_rc 1 "a BMP capture that starts inside a message" "$tool" "$fixtures/bmp-midstream.pcap"
grep -q "^damaged: .*bytes that start no BMP message" "$tmp/out" || fail "BMP mid-stream damage not in the summary"

# A third party reads the pcap output as BGP UPDATEs with MP_REACH_NLRI AFI 1 SAFI 75
# and a path attribute 129 as long as the policy rpd-host decoded.
if command -v tshark >/dev/null; then
  for base in full-set multi-nlri; do
    fields=$(tshark -r "$samples/$base.pcap" -Y "bgp.type == 2" -T fields -E separator=';' \
      -e bgp.update.path_attribute.type_code -e bgp.update.path_attribute.length \
      -e bgp.update.path_attribute.mp_reach_nlri.afi -e bgp.update.path_attribute.mp_reach_nlri.safi 2>/dev/null)
    [[ -n $fields ]] || fail "tshark found no UPDATE in $base.pcap"
    IFS=';' read -r codes lens afi safi <<<"$fields"
    [[ $afi == 1 && $safi == 75 ]] || fail "tshark: $base.pcap MP_REACH_NLRI AFI/SAFI $afi/$safi"
    IFS=',' read -ra c <<<"$codes"
    IFS=',' read -ra l <<<"$lens"
    wclen=
    for i in "${!c[@]}"; do [[ ${c[$i]} == 129 ]] && wclen=${l[$i]}; done
    raw=$("$tool" --json "$samples/$base.pcap" 2>/dev/null | head -1 | sed -n 's/.*"raw":"\([0-9a-f]*\)".*/\1/p')
    [[ -n $wclen && $wclen -eq $((${#raw} / 2)) ]] || fail "tshark: $base.pcap attribute 129 length '$wclen', policy ${#raw} hex digits"
  done
else
  fail "tshark is not installed"
fi

[[ $fails -eq 0 ]] && echo "all CLI checks passed"
exit $((fails > 0))
