#!/usr/bin/env bash
# The torvane tool as automation uses it: exit codes and sentences of `check`,
# and the live lines, stop and exit code of `stream` against a local RTMP
# server; no key or password may reach OBS's log or the tool's output.
#   tool-test.sh TORVANE WORK_DIR
set -u
torvane=$1 work=$2
source "$(dirname "$0")/../../scripts/lib/local-run.sh"
rm -rf "$work"
mkdir -p "$work"
failures=0
fail() {
	echo "FAIL: $*"
	failures=$((failures + 1))
}

# expect_run NAME CODE EXPECTED_OUTPUT COMMAND...
expect_run() {
	local name=$1 code=$2 expected=$3 output status
	shift 3
	output=$("$@" 2>/dev/null)
	status=$?
	[ "$status" = "$code" ] || fail "$name: exit $status, expected $code (output: $output)"
	[ "$output" = "$expected" ] || fail "$name: printed '$output', expected '$expected'"
}
wait_for() { # wait_for TEXT FILE: up to 20 s
	for _ in $(seq 200); do
		grep -qF "$1" "$2" && return 0
		sleep 0.1
	done
	return 1
}
doc() { # doc FILE DESTINATIONS [QUALITY]
	printf '{"version":1,%s"destinations":[%s]}\n' "${3:-\"bitrate\":2500,\"height\":720,\"fps\":30,}" "$2" >"$1"
}
dest() { # dest NAME SERVER KEY ENABLED [PLATFORM] [PASSWORD]
	printf '{"name":"%s","platform":"%s","server":"%s","key":"%s","enabled":%s%s}' "$1" "${5:-Custom}" "$2" "$3" \
		"$4" "${6:+,\"username\":\"tool\",\"password\":\"$6\"}"
}

doc "$work/good.json" "$(dest A rtmp://127.0.0.1:1935/app k true)"
expect_run "check: settings that can start" 0 "" "$torvane" check "$work/good.json"
doc "$work/none.json" "$(dest A rtmp://127.0.0.1:1935/app k false)"
expect_run "check: nothing enabled" 1 "Enable at least one destination using its checkbox." \
	"$torvane" check "$work/none.json"
# The relay's files: only their owner reads them, and the tool prints where they are, not what.
doc "$work/relay.json" "$(dest A rtmp://127.0.0.1:1935/app tool-key-relay true)" \
	'"bitrate":2500,"relay":{"enabled":true,"ingest":"rtmp://127.0.0.1:1935/live","key":"tool-relay-key-1"},'
expect_run "export-relay" 0 \
	"Relay configuration written to $work/relay/nginx.conf, readable only by you: it holds your stream keys." \
	"$torvane" export-relay "$work/relay.json" "$work/relay"
[ "$(stat -c %a "$work/relay/nginx.conf")" = 600 ] || fail "the relay configuration is readable by others"
expect_run "check: missing file" 2 \
	"The settings document $work/missing.json cannot be read: No such file or directory." \
	"$torvane" check "$work/missing.json"
expect_run "stream: unknown option" 2 "" "$torvane" stream "$work/good.json" --bogus 1
expect_run "no arguments" 2 "" "$torvane"

start_xvfb "$work" || fail "Xvfb did not start"
port=$((20000 + RANDOM % 20000))
start_rtmp_server "$work/server" $port || fail "nginx did not start"
secrets=(tool-key-good tool-password-good tool-key-closed tool-key-off tool-key-ctrl-c)
# The hardware choice finds no hardware here: x264 encodes, and the start says so.
doc "$work/mixed.json" "$(dest Good rtmp://127.0.0.1:$port/app tool-key-good true Custom tool-password-good),$(
	dest Closed rtmp://127.0.0.1:$((port + 1))/app tool-key-closed true),$(
	dest 'Off\u001b[2J' rtmp://127.0.0.1:$port/app tool-key-off false)" \
	'"bitrate":2500,"height":720,"fps":30,"encoder":"hardware_h264",'
"$torvane" stream "$work/mixed.json" --seconds 4 --obs-log "$work/mixed-obs.log" >"$work/mixed.out" 2>&1
status=$?
cat "$work/mixed.out"
[ $status = 1 ] || fail "stream with a failed destination exited $status, expected 1"
for line in 'Sending your OBS program. Confirm each platform'"'"'s preview. No hardware H.264 encoder was found, so x264 encodes instead.' \
	'  Actual output: 1280 × 720 / 30 fps  ·  H.264 + AAC' '  2 Closed: Failed: connection' '  3 Off�[2J: Not included'; do
	grep -qxF "$line" "$work/mixed.out" || fail "no line '$line'"
done
# Into a file: a line when something changed, a bitrate that moves is no news.
grep -qx '\[   [1-4] s\] 1 / 2 sending' "$work/mixed.out" || fail "no line with the count sending"
[ "$(grep -cxF '  1 Good: Sending' "$work/mixed.out")" = 1 ] || fail "Sending not said once"
tail -n 5 "$work/mixed.out" | grep -qxF '[stopped] 2 enabled  ·  Ready' || fail "did not end with nothing busy"
# On a terminal: the block of five lines is drawn over itself, each line cut to
# the width (by characters, not bytes) and no name's control characters sent.
script -qec "stty cols 40; $torvane stream $work/mixed.json --seconds 3 --obs-log $work/tty-obs.log" /dev/null \
	>"$work/tty.out"
[ "$(grep -o $'\e\\[5A' "$work/tty.out" | wc -l)" -ge 2 ] || fail "the block was not redrawn in place"
grep -qF $'  Actual output: 1280 × 720 / 30 fps  ·\e[K' "$work/tty.out" || fail "a line wider than the terminal"
! grep -qF $'\e[2J' "$work/mixed.out" "$work/tty.out" || fail "a name's escape sequence reached the output"
grep -q '^  1 Good: Sending ([1-9][0-9,]* kbps)' "$work/tty.out" || fail "no bitrate on the terminal"

# Ctrl-C ends a stream without --seconds cleanly.
doc "$work/one.json" "$(dest Good rtmp://127.0.0.1:$port/app tool-key-ctrl-c true)"
"$torvane" stream "$work/one.json" --obs-log "$work/one-obs.log" >"$work/one.out" 2>&1 &
tool=$!
track $tool INT
wait_for '1 / 1 sending' "$work/one.out"
kill -KILL $rtmp_pid # the server gone: its attempts count
wait_for '  1 Good: Reconnecting... (attempt 2 of 20 · next in ' "$work/one.out" || fail "no reconnect figures"
kill -INT $tool
wait $tool
status=$?
[ $status = 0 ] || fail "stream ended by Ctrl-C exited $status, expected 0"
tail -n 3 "$work/one.out" | grep -qxF '  1 Good: Ready' || fail "the interrupted stream did not end on Ready"
check_no_secrets "$work"/{mixed,tty,one}-obs.log "$work"/{mixed,tty,one}.out -- "${secrets[@]}" || fail "a secret leaked"

expect_run "stream: HDR colour space refused" 3 \
	"Use an SDR OBS video profile (Rec. 709) for this H.264 multistream." \
	"$torvane" stream "$work/one.json" --seconds 2 --colorspace pq
doc "$work/gone.json" '{"name":"G","platform":"Custom","server":"rtmp://127.0.0.1:1/app","key":"k","enabled":true,'\
'"picture":{"kind":"scene","scene":"Gone"}}'
expect_run "stream: a scene that is gone refused" 3 \
	'Destination 1: there is no scene "Gone" in this scene collection. Choose another picture.' \
	"$torvane" stream "$work/gone.json" --seconds 2
stop_pid $rtmp_pid
recordings=$(ls "$work"/server/rec/tool-key-good-*.flv "$work"/server/rec/tool-key-ctrl-c-*.flv 2>/dev/null | wc -l)
[ "$recordings" = 3 ] || fail "the server recorded $recordings streams, expected 3"

[ $failures = 0 ] && echo "torvane check and stream behave"
[ $failures = 0 ]
