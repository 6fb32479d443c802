#!/usr/bin/env bash
# The panel's row actions in real OBS: three local RTMP servers, Start all,
# one destination stopped and started again on its own while the other two
# keep sending, then one stopped and one reconnecting, pictured.
#   run-obs-rows.sh TORVANE_SO PROBE_SO WORK_DIR
source "$(dirname "$0")/obs-lib.sh"

urls=() pids=()
for n in 1 2 3; do
	start_rtmp_server "$work/rtmp$n" $((19460 + n)) || fail "RTMP server $n did not start"
	urls+=("rtmp://127.0.0.1:$((19460 + n))/app") pids+=("$rtmp_pid")
done
shot=$work/panel-one-stopped-one-reconnecting.png
TORVANE_HOST_PROBE=rows TORVANE_HOST_PROBE_SERVERS="${urls[*]}" TORVANE_HOST_PROBE_KILL=${pids[2]} \
	TORVANE_HOST_PROBE_SHOT=$shot run_obs rows
grep -qaF '[host-probe] row menu: Start- Stop+ Retry- ' "$log" || fail "the row menu did not offer Stop alone"
grep -qaF '[host-probe] stopped: ' "$log" || fail "Stop all did not end the run"
[ -s "$shot" ] || fail "no picture of the panel"
for pid in "${pids[@]}"; do stop_server "$pid"; done

# Server 1 recorded one stream from start to end; Server 2 one before its stop
# and one after its restart; each holds H.264 and AAC.
for n in 1 2; do
	recordings=("$work/rtmp$n"/rec/*.flv)
	[ ${#recordings[@]} = "$n" ] || fail "server $n recorded ${#recordings[@]} streams, not $n"
	for recording in "${recordings[@]}"; do
		streams=$(ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$recording" | sort | tr '\n' ' ')
		[ "$streams" = "aac h264 " ] || fail "$recording holds '$streams', not H.264 and AAC"
	done
done
echo "one destination stopped and started on its own while the others kept sending; picture: $shot"
