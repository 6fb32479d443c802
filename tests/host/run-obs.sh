#!/usr/bin/env bash
# Starts the real OBS Studio under Xvfb with torvane and the host probe
# installed in a throwaway HOME, waits for the probe to finish its steps, stops
# OBS with SIGINT and checks its log.
#   run-obs.sh TORVANE_SO PROBE_SO WORK_DIR VERSION
set -u
module=$1 probe=$2 work=$3 version=$4

fail() {
	echo "FAIL: $*"
	[ -n "${log:-}" ] && [ -f "$log" ] && tail -n 40 "$log"
	exit 1
}

rm -rf "$work"
mkdir -p "$work"
home=$work/home
here=$(dirname "$0")
source "$here/obs-lib.sh"
source "$here/../lib/testlib.sh"
install_obs_home "$home" "$module" "$probe"
start_xvfb "$work" || fail "Xvfb did not start"

start_obs "$home" "$work/obs.stdout"
wait_for_probe "$home" 60
probe_finished=$?
log=$obs_log
[ $probe_finished = 0 ] || fail "the probe did not finish (OBS ended or 60 s passed)"
stop_obs || fail "OBS did not exit within 30 s of SIGINT"
status=$obs_status
stop_xvfb

echo "log: $log"
grep -a '\[host-probe\]\|\[Torvane\]' "$log"

banner="[Torvane] Loaded v$version (Linux). No automatic streaming."
[ "$(grep -acF "$banner" "$log")" = 1 ] || fail "the banner is not in the log exactly once"
[ "$(grep -ac '\[Torvane\]' "$log")" = 1 ] || fail "the module logged more than its banner"
grep -qaF '[host-probe] tools entry: Torvane — Multistream' "$log" || fail "no Tools menu entry"
[ "$(grep -acF '[host-probe] tools entry: Torvane' "$log")" = 1 ] || fail "more than one Tools menu entry"
grep -qaF '[host-probe] triggered the Torvane entry' "$log" || fail "the entry was not triggered"
for event in 'profile changing' 'profile changed' 'scene collection changing' 'scene collection changed'; do
	grep -qaF "[host-probe] event: $event" "$log" || fail "no $event event"
done
grep -qaF '[host-probe] now on profile Host Probe' "$log" || fail "the profile did not change"
grep -qaF '[host-probe] now on scene collection Host Probe' "$log" || fail "the scene collection did not change"
grep -qaF '[host-probe] unloaded' "$log" || fail "the modules were not unloaded"
grep -qa 'Number of memory leaks: 0' "$log" || fail "OBS reported leaked memory"
[ $status = 0 ] || fail "OBS exited with status $status"
echo "OBS loaded, used and unloaded the module cleanly"
