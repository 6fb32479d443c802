#!/usr/bin/env bash
# Real OBS streams to four local servers through the panel; two servers die,
# and while their rows reconnect OBS is stopped with SIGINT: once with the
# panel closed, once with it open under a modal question. Each time OBS
# exits 0 without a crash or a leak report.
#   run-obs-reconnect.sh TORVANE_SO PROBE_SO WORK_DIR
source "$(dirname "$0")/obs-lib.sh"

for variant in closed box; do
	servers=() pids=()
	for i in 1 2 3 4; do
		port=$((19460 + i))
		start_rtmp_server "$work/$variant-rtmp-$i" $port || fail "RTMP server $i did not start"
		servers+=("rtmp://127.0.0.1:$port/app")
		pids+=("$rtmp_pid")
	done
	box=
	[ $variant = box ] && box=1
	TORVANE_HOST_PROBE=reconnect TORVANE_HOST_PROBE_SERVERS="${servers[*]}" TORVANE_HOST_PROBE_KILL="${pids[*]:2}" \
		TORVANE_HOST_PROBE_BOX=$box run_obs $variant
	grep -a '\[host-probe\] rows:' "$log" | tail -n 1 | grep -qF 'Local 3: Reconnecting...' ||
		fail "the killed servers' rows were not reconnecting"
	for pid in "${pids[@]:0:2}"; do
		stop_server "$pid"
	done
	rm -rf "$home/.config/obs-studio/plugin_config"
done
grep -qaF '[host-probe] box shown: Keep streaming?' "$work/box.log" || fail "no question was open at SIGINT"
echo "OBS exited cleanly while destinations reconnected, with the panel closed and under a question"
