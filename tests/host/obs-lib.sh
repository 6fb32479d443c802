# Shared steps of the real-OBS tests: a throwaway HOME with the module and the
# host probe installed, and a private display. OBS ignores SIGTERM.
#   run-obs*.sh TORVANE_SO PROBE_SO WORK_DIR [...]
# An empty TORVANE_SO leaves the module out of the user folder.
set -u
module=$1 probe=$2 work=$3 home=$3/home
source "$(dirname "$0")/../../scripts/lib/local-run.sh"

log=
fail() {
	echo "FAIL: $*"
	[ -n "$log" ] && grep -a '\[host-probe\]\|\[Torvane\]\|rror' "$log" | tail -n 30
	exit 1
}

rm -rf "$work"
for plugin in torvane:"$module" probe:"$probe"; do
	[ -n "${plugin#*:}" ] || continue
	mkdir -p "$home/.config/obs-studio/plugins/${plugin%%:*}/bin/64bit"
	cp "${plugin#*:}" "$home/.config/obs-studio/plugins/${plugin%%:*}/bin/64bit/${plugin%%:*}.so"
done
# No first-run wizard: OBS 31 and later read this from user.ini.
for ini in global user; do printf '[General]\nFirstRun=true\n' >"$home/.config/obs-studio/$ini.ini"; done
start_xvfb "$work" || fail "Xvfb did not start"

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
}
