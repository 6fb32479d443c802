#!/usr/bin/env bash
# Real OBS inside one keyring session for both runs. The first streams from the
# panel to a local RTMP server (H.264 and AAC) and closes the panel; the second
# gets the destination back from the encrypted file, switches profile and scene
# collection away and back, and exits cleanly on SIGINT while the panel's Remove
# question is open. The module logs its banner only, and no secret anywhere.
#   run-obs.sh TORVANE_SO PROBE_SO WORK_DIR VERSION
source "$(dirname "$0")/obs-lib.sh"
version=$4 port=19450 secrets=(probe-key-123 probe-pass-456)
banner_only() {
	[ "$(grep -ac '\[Torvane\]' "$log")" = 1 ] &&
		grep -qaF "[Torvane] Loaded v$version (Linux). No automatic streaming." "$log" ||
		fail "the module logged more than its banner, or no banner"
}

start_rtmp_server "$work/rtmp" $port || fail "the RTMP server did not start"
TORVANE_HOST_PROBE=stream TORVANE_HOST_PROBE_SERVER=rtmp://127.0.0.1:$port/app run_obs stream
banner_only
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
banner_only
for said in 'panel shown' 'fields came back' 'now on profile Host Probe' 'now on scene collection Host Probe' \
	'box shown: Remove this destination' unloaded; do
	grep -qaF "[host-probe] $said" "$log" || fail "the probe never said '$said'"
done
check_no_secrets "$settings" "$work"/{stream,reopen}.{log,stdout} -- "${secrets[@]}" || fail "a secret was found in clear"
echo "OBS streamed from the panel, got the settings back encrypted, switched profile and collection and exited"
echo "cleanly under the panel's question; the module logged its banner only and no secret was found"
