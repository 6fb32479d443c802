#!/usr/bin/env bash
# The panel's row actions in real OBS: a destination stopped and started on its own while two others
# keep sending, then one stopped and one reconnecting, pictured.
#   run-obs-rows.sh TORVANE_SO PROBE_SO WORK_DIR
source "$(dirname "$0")/obs-lib.sh"

for n in 1 2 3; do
	start_rtmp_server "$work/rtmp$n" $((19460 + n)) || fail "RTMP server $n did not start"
	urls+=("rtmp://127.0.0.1:$((19460 + n))/app") pids+=("$rtmp_pid")
done
TORVANE_HOST_PROBE=rows TORVANE_HOST_PROBE_SERVERS="${urls[*]}" TORVANE_HOST_PROBE_KILL=${pids[2]} \
	TORVANE_HOST_PROBE_SHOT=$work/panel-one-stopped-one-reconnecting.png run_obs rows
for pid in "${pids[@]}"; do stop_server "$pid"; done
echo "a destination stopped and started on its own while the others kept sending; picture in $work"
