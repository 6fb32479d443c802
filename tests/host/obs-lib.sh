# Shared steps of the tests that run the real OBS Studio: a throwaway HOME with
# the module and the host probe installed, OBS started under the current
# DISPLAY, waiting for the probe, stopping OBS with SIGINT (it ignores SIGTERM).

# install_obs_home HOME TORVANE_SO PROBE_SO
install_obs_home() {
	local home=$1 module=$2 probe=$3
	local cfg=$home/.config/obs-studio
	mkdir -p "$cfg/plugins/torvane/bin/64bit" "$cfg/plugins/torvane-host-probe/bin/64bit"
	cp "$module" "$cfg/plugins/torvane/bin/64bit/torvane.so"
	cp "$probe" "$cfg/plugins/torvane-host-probe/bin/64bit/torvane-host-probe.so"
	printf '[General]\nFirstRun=true\n' >"$cfg/global.ini"
}

# start_obs HOME OUTPUT_FILE: sets obs_pid; extra environment is passed through.
start_obs() {
	local home=$1 output=$2
	rm -rf "$home/.config/obs-studio/logs"
	HOME=$home XDG_CONFIG_HOME=$home/.config QT_QPA_PLATFORM=xcb \
		obs --multi --disable-shutdown-check --disable-updater >"$output" 2>&1 &
	obs_pid=$!
	# OBS ignores SIGTERM.
	! declare -F track >/dev/null || track "$obs_pid" INT
}

# wait_for_probe HOME SECONDS: sets obs_log; false when OBS ended or the probe
# did not log "done" in time.
wait_for_probe() {
	local home=$1 seconds=$2 i
	obs_log=
	for i in $(seq $((seconds * 10))); do
		obs_log=$(ls "$home"/.config/obs-studio/logs/*.txt 2>/dev/null | head -n 1)
		[ -n "$obs_log" ] && grep -q '\[host-probe\] done' "$obs_log" && return 0
		kill -0 $obs_pid 2>/dev/null || return 1
		sleep 0.1
	done
	return 1
}

# stop_obs: SIGINT and wait up to 30 s; sets obs_status.
stop_obs() {
	local i
	kill -INT $obs_pid 2>/dev/null
	for i in $(seq 300); do
		kill -0 $obs_pid 2>/dev/null || break
		sleep 0.1
	done
	if kill -0 $obs_pid 2>/dev/null; then
		kill -KILL $obs_pid
		wait $obs_pid
		obs_status=timeout
		return 1
	fi
	wait $obs_pid
	obs_status=$?
}
