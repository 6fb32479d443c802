#!/usr/bin/env bash
# The torvane tool as automation uses it: exit codes and sentences of
# `check`, and the live lines, stop and exit code of `stream` against local
# RTMP servers.
#   tool-test.sh TORVANE WORK_DIR
set -u
torvane=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib/testlib.sh"

rm -rf "$work"
mkdir -p "$work"
failures=0
fail() {
	echo "FAIL: $*"
	failures=$((failures + 1))
}

# expect_run NAME CODE EXPECTED_OUTPUT -- COMMAND...
expect_run() {
	local name=$1 code=$2 expected=$3
	shift 4
	local output status
	output=$("$@" 2>/dev/null)
	status=$?
	[ "$status" = "$code" ] || fail "$name: exit $status, expected $code (output: $output)"
	[ "$output" = "$expected" ] || fail "$name: printed '$output', expected '$expected'"
}

doc() { # doc FILE BODY-OF-DESTINATIONS [QUALITY]
	printf '{"version":1,%s"destinations":[%s]}\n' "${3:-\"bitrate\":2500,\"height\":720,\"fps\":30,}" "$2" >"$1"
}
dest() { # dest NAME SERVER KEY ENABLED [PLATFORM]
	printf '{"name":"%s","platform":"%s","server":"%s","key":"%s","enabled":%s}' "$1" "${5:-Custom}" "$2" "$3" "$4"
}

# --- check ---
doc "$work/good.json" "$(dest A rtmp://127.0.0.1:1935/app k true)"
expect_run "check: settings that can start" 0 "" -- "$torvane" check "$work/good.json"
doc "$work/kick.json" "$(dest K rtmps://abc.global-contribute.live-video.net k true Kick)"
expect_run "check: a bare Kick host is completed as loading does" 0 "" -- "$torvane" check "$work/kick.json"
doc "$work/none.json" "$(dest A rtmp://127.0.0.1:1935/app k false)"
expect_run "check: nothing enabled" 1 "Enable at least one destination using its checkbox." -- \
	"$torvane" check "$work/none.json"
doc "$work/key.json" "$(dest A rtmp://127.0.0.1:1935/app 'k k' true)"
expect_run "check: key with a space" 1 "Destination 1: the stream key contains whitespace. Paste it again." -- \
	"$torvane" check "$work/key.json"
echo 'not json' >"$work/text.json"
expect_run "check: not JSON" 2 "Unsupported settings version. The file has been left untouched." -- \
	"$torvane" check "$work/text.json"
doc "$work/rate.json" "$(dest A rtmp://127.0.0.1:1935/app k true)" '"bitrate":900,'
expect_run "check: bitrate out of range" 2 "Invalid settings. The file has been left untouched." -- \
	"$torvane" check "$work/rate.json"
expect_run "check: missing file" 2 \
	"The settings document $work/missing.json cannot be read: No such file or directory." -- \
	"$torvane" check "$work/missing.json"
expect_run "stream: unknown option" 2 "" -- "$torvane" stream "$work/good.json" --bogus 1

# --- stream ---
start_xvfb "$work" || { echo "FAIL: Xvfb did not start"; exit 1; }
good_port=$((20000 + RANDOM % 20000))
closed_port=$((good_port + 1))
start_rtmp_server "$work/good" "$good_port" || fail "nginx did not start"
good_pid=$rtmp_pid

doc "$work/mixed.json" "$(dest Good rtmp://127.0.0.1:$good_port/app k0 true),$(dest Closed rtmp://127.0.0.1:$closed_port/app k1 true),$(dest Off rtmp://127.0.0.1:$good_port/app k2 false)"
"$torvane" stream "$work/mixed.json" --seconds 4 --obs-log "$work/mixed-obs.log" >"$work/mixed.out" 2>/dev/null
status=$?
cat "$work/mixed.out"
[ $status = 1 ] || fail "stream with a failed destination exited $status, expected 1"
grep -qxF '[   3 s] 1 / 2 sending' "$work/mixed.out" || fail "no header count while sending"
grep -qxF '  Actual output: 1280 × 720 / 30 fps  ·  H.264 + AAC' "$work/mixed.out" || fail "no actual output line"
grep -qxF '  1 Good: Sending' "$work/mixed.out" || fail "no Sending line"
grep -qxF '  2 Closed: Failed: connection' "$work/mixed.out" || fail "no failure line"
grep -qxF '  3 Off: Not included' "$work/mixed.out" || fail "no line for the disabled destination"
tail -n 5 "$work/mixed.out" | grep -qxF '[stopped] 2 enabled  ·  Ready' || fail "did not end with nothing busy"

# Ctrl-C ends a stream without --seconds cleanly.
doc "$work/one.json" "$(dest Good rtmp://127.0.0.1:$good_port/app k3 true)"
"$torvane" stream "$work/one.json" >"$work/one.out" 2>/dev/null &
tool_pid=$!
for _ in $(seq 100); do
	grep -qF '1 / 1 sending' "$work/one.out" && break
	sleep 0.1
done
kill -INT $tool_pid
wait $tool_pid
status=$?
[ $status = 0 ] || fail "stream ended by Ctrl-C exited $status, expected 0"
grep -qxF '  1 Good: Sending' "$work/one.out" || fail "the interrupted stream never sent"
tail -n 3 "$work/one.out" | grep -qxF '  1 Good: Ready' || fail "the interrupted stream did not end on Ready"

# A refusal prints its sentence and exits 3 without streaming.
expect_run "stream: HDR colour space refused" 3 \
	"Use an SDR OBS video profile (Rec. 709) for this H.264 multistream." -- \
	"$torvane" stream "$work/one.json" --seconds 2 --colorspace pq
expect_run "stream: settings that cannot start" 3 "Enable at least one destination using its checkbox." -- \
	"$torvane" stream "$work/none.json" --seconds 2

stop_server $good_pid
stop_xvfb
recordings=$(ls "$work"/good/rec/k0-*.flv "$work"/good/rec/k3-*.flv 2>/dev/null | wc -l)
[ "$recordings" = 2 ] || fail "the server recorded $recordings streams, expected 2"

if [ $failures = 0 ]; then
	echo "torvane check and stream behave"
	exit 0
fi
exit 1
