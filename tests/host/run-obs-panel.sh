#!/usr/bin/env bash
# The panel in real OBS streams to a local RTMP server (H.264 and AAC), gives
# the destination back from the encrypted file after a restart, and logs no
# secret. Runs inside one keyring session for both OBS runs.
#   run-obs-panel.sh TORVANE_SO PROBE_SO WORK_DIR
source "$(dirname "$0")/obs-lib.sh"
secrets=(probe-key-123 probe-pass-456)

port=19450
start_rtmp_server "$work/rtmp" $port || fail "the RTMP server did not start"
TORVANE_HOST_PROBE=stream TORVANE_HOST_PROBE_SERVER=rtmp://127.0.0.1:$port/app run_obs stream
grep -qaF 'Local nginx: Sending' "$log" || fail "the row never read Sending"
grep -a '\[host-probe\] rows:' "$log" | tail -n 1 | grep -qF 'Local nginx: Ready' || fail "no Ready after Stop all"
grep -qaF '[host-probe] panel hidden' "$log" || fail "closing did not hide the panel"
stop_server "$rtmp_pid"
recording=$(ls "$work"/rtmp/rec/*.flv 2>/dev/null | head -n 1)
streams=$(ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$recording" | sort | tr '\n' ' ')
[ "$streams" = "aac h264 " ] || fail "the recording holds '$streams', not H.264 and AAC"
settings=$home/.config/obs-studio/plugin_config/torvane/settings.dpapi
[ "$(head -c 4 "$settings")" = TRV1 ] || fail "no settings file starting with TRV1"

TORVANE_HOST_PROBE=reopen TORVANE_HOST_PROBE_FIELDS="Local nginx|rtmp://127.0.0.1:$port/app|probe-key-123|probe-user|probe-pass-456|" \
	run_obs reopen
grep -qaF '[host-probe] fields came back' "$log" || fail "the destination did not come back whole"
check_no_secrets "$settings" "$work"/{stream,reopen}.{log,stdout} -- "${secrets[@]}" || fail "a secret was found in clear"
echo "the panel streamed from real OBS, its settings came back encrypted and no secret was logged"
