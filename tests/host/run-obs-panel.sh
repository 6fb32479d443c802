#!/usr/bin/env bash
# The panel inside real OBS, driven by the host probe as a person would use it:
# a custom destination for a local nginx RTMP server is added, ticked, started
# and stopped; the server's recording is checked with ffprobe; OBS is closed
# and started again, and the destination comes back from the encrypted file.
# Run inside a keyring session so both OBS runs share one Secret Service.
#   run-obs-panel.sh TORVANE_SO PROBE_SO WORK_DIR
set -u
module=$1 probe=$2 work=$3
here=$(dirname "$0")
source "$here/obs-lib.sh"
source "$here/../lib/testlib.sh"

log=
nginx_pid=
fail() {
	echo "FAIL: $*"
	[ -n "$log" ] && [ -f "$log" ] && grep -a '\[host-probe\]\|\[Torvane\]\|error' "$log" | tail -n 40
	[ -n "${obs_pid:-}" ] && kill -KILL $obs_pid 2>/dev/null
	[ -n "$nginx_pid" ] && kill $nginx_pid 2>/dev/null
	stop_xvfb
	exit 1
}

rm -rf "$work"
mkdir -p "$work/nginx/logs" "$work/recordings"
chmod 777 "$work/recordings"
home=$work/home
install_obs_home "$home" "$module" "$probe"

port=19450
cat >"$work/nginx/nginx.conf" <<CONF
load_module /usr/lib/nginx/modules/ngx_rtmp_module.so;
daemon off;
master_process off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log info;
events { worker_connections 64; }
rtmp {
	server {
		listen 127.0.0.1:$port;
		application app { live on; record all; record_path $work/recordings; }
	}
}
CONF
nginx -c "$work/nginx/nginx.conf" -p "$work/nginx/" -e "$work/nginx/logs/error.log" &
nginx_pid=$!
track "$nginx_pid" QUIT

start_xvfb "$work" || fail "Xvfb did not start"

# First run: add, tick, start, stop, close.
TORVANE_HOST_PROBE=stream TORVANE_HOST_PROBE_SERVER=rtmp://127.0.0.1:$port/app start_obs "$home" "$work/obs1.stdout"
wait_for_probe "$home" 90
finished=$?
log=$obs_log
[ $finished = 0 ] || fail "the stream script did not finish"
stop_obs || fail "OBS did not exit after the stream script"
[ "$obs_status" = 0 ] || fail "OBS exited with status $obs_status"
cp "$log" "$work/obs1.log"
grep -a '\[host-probe\]' "$log"

grep -qaF '[host-probe] panel shown' "$log" || fail "the Tools menu entry did not show the panel"
grep -qaF 'Local nginx: Sending' "$log" || fail "the row never read Sending"
grep -a '\[host-probe\] rows:' "$log" | tail -n 1 | grep -qF 'Local nginx: Ready' ||
	fail "the row did not return to Ready after Stop all"
grep -qaF '[host-probe] panel hidden' "$log" || fail "closing did not hide the panel"

kill $nginx_pid
wait $nginx_pid 2>/dev/null
nginx_pid=
recording=$(ls "$work"/recordings/*.flv 2>/dev/null | head -n 1)
[ -n "$recording" ] || fail "the server recorded nothing"
streams=$(ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$recording" | sort | tr '\n' ' ')
echo "recorded: $recording: $streams"
[ "$streams" = "aac h264 " ] || fail "the recording holds '$streams', not H.264 and AAC"

settings=$home/.config/obs-studio/plugin_config/torvane/settings.dpapi
[ -f "$settings" ] || fail "closing the panel saved no settings file"
[ "$(head -c 4 "$settings")" = TRV1 ] || fail "the settings file does not start with TRV1"
! grep -qa 'probe-key-123' "$settings" || fail "the stream key is in the settings file in clear"

# Second run: the destination comes back from the encrypted file.
TORVANE_HOST_PROBE=reopen start_obs "$home" "$work/obs2.stdout"
wait_for_probe "$home" 60
finished=$?
log=$obs_log
[ $finished = 0 ] || fail "the reopen script did not finish"
stop_obs || fail "OBS did not exit after the reopen script"
[ "$obs_status" = 0 ] || fail "OBS exited with status $obs_status"
stop_xvfb
grep -a '\[host-probe\]' "$log"
grep -qaF '[host-probe] field 102: Local nginx' "$log" || fail "the name did not come back"
grep -qaF "[host-probe] field 103: rtmp://127.0.0.1:$port/app" "$log" || fail "the server did not come back"
grep -qaF '[host-probe] field 104: probe-key-123' "$log" || fail "the key did not come back"
echo "the panel streamed from real OBS and its settings came back encrypted"
