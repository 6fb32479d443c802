#!/usr/bin/env bash
# Real OBS Studio under Xvfb with the module and the host probe installed in a
# throwaway HOME, inside one keyring session for both runs. The first run
# streams from the panel to a local RTMP server (H.264 and AAC) and closes the
# panel; the second gets the destination back from the encrypted file, switches
# profile and scene collection away and back, and exits cleanly on SIGINT while
# the panel's Remove question is open. The module logs its banner only, and no
# secret anywhere. OBS ignores SIGTERM.
#   run-obs.sh TORVANE_SO PROBE_SO WORK_DIR VERSION
set -u
module=$1 probe=$2 work=$3 home=$3/home version=$4
source "$(dirname "$0")/../../scripts/lib/local-run.sh"
secrets=(probe-key-123 probe-pass-456)

log=
fail() {
	echo "FAIL: $*"
	[ -n "$log" ] && grep -a '\[host-probe\]\|\[Torvane\]\|rror' "$log" | tail -n 30
	exit 1
}

# run_obs NAME: OBS until the probe says "done", then SIGINT and a clean exit;
# sets log (copied to WORK_DIR/NAME.log).
run_obs() {
	local name=$1 i pid status
	rm -rf "$home/.config/obs-studio/logs"
	HOME=$home XDG_CONFIG_HOME=$home/.config QT_QPA_PLATFORM=xcb \
		obs --multi --disable-shutdown-check --disable-updater >"$work/$name.stdout" 2>&1 &
	pid=$!
	track $pid INT
	for i in $(seq 1200); do
		log=$(ls "$home"/.config/obs-studio/logs/*.txt 2>/dev/null | head -n 1)
		[ -n "$log" ] && grep -q '\[host-probe\] done' "$log" && break
		kill -0 $pid 2>/dev/null || fail "OBS ended before the probe was done"
		sleep 0.1
	done
	grep -q '\[host-probe\] done' "$log" || fail "the probe was not done within 120 s"
	kill -INT $pid
	timeout 30 tail --pid=$pid -f /dev/null || fail "OBS did not exit within 30 s of SIGINT"
	wait $pid
	status=$?
	cp "$log" "$work/$name.log"
	grep -a '\[host-probe\]' "$log"
	[ $status = 0 ] || fail "OBS exited with status $status"
	grep -qa 'Number of memory leaks: 0' "$log" || fail "OBS reported leaked memory"
	[ "$(grep -ac '\[Torvane\]' "$log")" = 1 ] &&
		grep -qaF "[Torvane] Loaded v$version (Linux). No automatic streaming." "$log" ||
		fail "the module logged more than its banner, or no banner"
}

rm -rf "$work"
for plugin in torvane:"$module" probe:"$probe"; do
	mkdir -p "$home/.config/obs-studio/plugins/${plugin%%:*}/bin/64bit"
	cp "${plugin#*:}" "$home/.config/obs-studio/plugins/${plugin%%:*}/bin/64bit/${plugin%%:*}.so"
done
printf '[General]\nFirstRun=true\n' >"$home/.config/obs-studio/global.ini"
start_xvfb "$work" || fail "Xvfb did not start"
port=19450
start_rtmp_server "$work/rtmp" $port || fail "the RTMP server did not start"

TORVANE_HOST_PROBE=stream TORVANE_HOST_PROBE_SERVER=rtmp://127.0.0.1:$port/app run_obs stream
[ "$(grep -acF '[host-probe] tools entry: Torvane — Multistream' "$log")" = 1 ] || fail "not one Tools entry"
grep -qaF 'Local nginx: Sending' "$log" || fail "the row never read Sending"
grep -a '\[host-probe\] rows:' "$log" | tail -n 1 | grep -qF 'Local nginx: Ready' || fail "no Ready after Stop all"
grep -qaF '[host-probe] panel hidden' "$log" || fail "closing did not hide the panel"
stop_pid "$rtmp_pid"
recording=$(ls "$work"/rtmp/rec/*.flv 2>/dev/null | head -n 1)
streams=$(ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$recording" | sort | tr '\n' ' ')
[ "$streams" = "aac h264 " ] || fail "the recording holds '$streams', not H.264 and AAC"
settings=$home/.config/obs-studio/plugin_config/torvane/settings.dpapi
[ "$(head -c 4 "$settings")" = TRV1 ] || fail "no settings file starting with TRV1"

TORVANE_HOST_PROBE_FIELDS="Local nginx|rtmp://127.0.0.1:$port/app|probe-key-123|probe-user|probe-pass-456|" \
	run_obs reopen
for said in 'panel shown' 'fields came back' 'now on profile Host Probe' 'now on scene collection Host Probe' \
	'box shown: Remove this destination' unloaded; do
	grep -qaF "[host-probe] $said" "$log" || fail "the probe never said '$said'"
done
check_no_secrets "$settings" "$work"/{stream,reopen}.{log,stdout} -- "${secrets[@]}" || fail "a secret was found in clear"
echo "OBS streamed from the panel, got the settings back encrypted, switched profile and collection and exited"
echo "cleanly under the panel's question; the module logged its banner only and no secret was found"
