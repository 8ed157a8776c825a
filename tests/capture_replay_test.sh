#!/usr/bin/env bash
# A capture of the demo session end to end: the client records it with --capture, tshark decodes
# it with the Wireshark dissector, talvex-sim --replay plays it to the client again and finds its
# answers as recorded, and finds an answer changed in the file; a full disk ends the capture with
# one notice while the session goes on, and a file that is no capture is refused at its offset.
# usage: capture_replay_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$1
source=$2
talvex=$build/app/talvex
sim=$build/sim/talvex-sim
dissector=$source/packaging/wireshark/talvex.lua
command -v tshark >/dev/null || { echo "SKIP: tshark is not installed"; exit 77; }

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
# No user's settings or Wireshark profile is read.
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data LC_ALL=C.UTF-8
export QT_QPA_PLATFORM=offscreen
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Runs the client against the device at $1 until its panel is laid out, then it closes.
client() {
    timeout 60 "$talvex" --files-dir "$work/files" --screenshot "$work/shot.png" "$@" \
        >"$work/client.out" 2>&1
}

# Plays $1 on a new pseudo-terminal to the client; the replay's exit status and output remain.
replay() {
    local fd pid line pty
    exec {fd}< <(exec "$sim" --replay "$1" --as-fast-as-possible 2>&1)
    pid=$!
    # Its first line names the pseudo-terminal.
    read -r -t 10 -u $fd line
    pty=$(echo "$line" | sed -n 's/^talvex-sim: replaying .* on \(.*\)$/\1/p')
    [ -n "$pty" ] && client --port "$pty" --connect
    { echo "$line"; timeout 30 cat <&$fd; } >"$work/replay.out"
    exec {fd}<&-
    wait $pid
}

mkdir -p "$work/files"
client --demo --capture "$work/demo.pcapng" || fail "the demo session: $(cat "$work/client.out")"

fields=$(timeout 60 tshark -X "lua_script:$dissector" -r "$work/demo.pcapng" -T fields \
    -E separator='|' -e talvex.direction -e talvex.name -e talvex.title -e talvex.argument \
    -e talvex.control.name -e talvex.count -e talvex.value 2>"$work/tshark.err")
grep -v '^Running as user' "$work/tshark.err" | grep -q . && fail "tshark: $(cat "$work/tshark.err")"
first=$(echo "$fields" | head -1)
last=$(echo "$fields" | tail -1)
[ "${first%%|||*}" = "2|MSG_CONNECT" ] || fail "first frame: $first"
[ "${last%%|||*}" = "2|MSG_DISCONNECT" ] || fail "last frame: $last"
echo "$fields" | grep -q '^1|MSG_PANEL_INFO|North greenhouse|' || fail "no panel title in: $fields"
echo "$fields" | grep -q '^2|MSG_REQUEST||512|' || fail "no layout request in: $fields"
echo "$fields" | grep -q '^1|MSG_PANEL_DEFINITION|||Temperatures,Controller clock,' ||
    fail "no control names in: $fields"
echo "$fields" | grep -q '^1|MSG_LAYOUT_RECORDS|||.*|[0-9][0-9]*|' || fail "no layout records"
echo "$fields" | grep -q '^1|MSG_DEVICE_VALUES|||.*|#16 number [0-9]*$' ||
    fail "no decoded value in: $fields"
verbose=$(timeout 60 tshark -X "lua_script:$dissector" -r "$work/demo.pcapng" -V 2>/dev/null)
echo "$verbose" | grep -q 'panel title "North greenhouse"' || fail "no title comment"
echo "$verbose" | grep -q 'Expert Info (Warning' && fail "the dissector warns: $verbose"

replay "$work/demo.pcapng"
status=$?
[ $status -eq 0 ] || fail "replay to the unchanged client ended $status: $(cat "$work/replay.out")"
grep -q "answers were as recorded" "$work/replay.out" || fail "replay: $(cat "$work/replay.out")"

# The recorded layout request asks for 768 instead of 512.
python3 - "$work/demo.pcapng" "$work/changed.pcapng" <<'EOF'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
request = bytes.fromhex('48eff07472efe666000200000200010012000000' '00020000')
at = data.index(request)
data[at + 21] = 3
open(sys.argv[2], 'wb').write(data)
EOF
replay "$work/changed.pcapng"
status=$?
[ $status -eq 1 ] || fail "replay of a changed answer ended $status"
grep -q "^The client's answers differ at frame 4 (byte offset [0-9]* of the capture), first at byte 21" \
    "$work/replay.out" && grep -q "recorded: <- MSG_REQUEST (18): argument 768" "$work/replay.out" &&
    grep -q "client:   <- MSG_REQUEST (18): argument 512" "$work/replay.out" ||
    fail "the changed answer: $(cat "$work/replay.out")"

client --demo --capture /dev/full ||
    fail "a session capturing to a full disk: $(cat "$work/client.out")"
[ "$(grep -c 'The capture to /dev/full has stopped: No space left on device' "$work/client.out")" = 1 ] ||
    fail "no single notice: $(cat "$work/client.out")"
grep -q "Screenshot saved" "$work/client.out" || fail "the session did not go on"

out=$("$sim" --replay "$source/README.md" 2>&1)
status=$?
[ $status -eq 2 ] && [[ "$out" == *"not a pcapng file: no section header block at byte offset 0" ]] ||
    fail "a README replayed: $status $out"

[ $failures -eq 0 ] && echo "capture, dissector and replay: all passed"
exit $((failures > 0))
