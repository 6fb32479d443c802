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
# Server 1 recorded one unbroken stream, server 2 one before its stop and one with data after its start.
recorded="$(ls "$work"/rtmp1/rec | wc -l) $(ls "$work"/rtmp2/rec | wc -l)"
[ "$recorded" = "1 2" ] && [ -s "$(ls "$work"/rtmp2/rec/*.flv | tail -n 1)" ] ||
	fail "servers 1 and 2 recorded $recorded streams, not 1 and 2 with data in the last"
echo "a destination stopped and started on its own while the others kept sending"
