#!/usr/bin/env bash
# Real OBS stopped with SIGINT while the panel's Remove question is open: the
# panel must go without a crash and OBS must exit cleanly.
#   run-obs-question.sh TORVANE_SO PROBE_SO WORK_DIR
set -u
module=$1 probe=$2 work=$3
here=$(dirname "$0")
source "$here/obs-lib.sh"
source "$here/../lib/testlib.sh"

log=
fail() {
	echo "FAIL: $*"
	[ -n "$log" ] && [ -f "$log" ] && tail -n 30 "$log"
	[ -n "${obs_pid:-}" ] && kill -KILL $obs_pid 2>/dev/null
	stop_xvfb
	exit 1
}

rm -rf "$work"
mkdir -p "$work"
install_obs_home "$work/home" "$module" "$probe"
start_xvfb "$work" || fail "Xvfb did not start"
TORVANE_HOST_PROBE=question start_obs "$work/home" "$work/obs.stdout"
wait_for_probe "$work/home" 60
finished=$?
log=$obs_log
[ $finished = 0 ] || fail "the question script did not finish"
grep -qaF '[host-probe] box shown: Remove this destination' "$log" || fail "Remove's question did not show"
stop_obs || fail "OBS did not exit within 30 s of SIGINT"
stop_xvfb
grep -a '\[host-probe\]' "$log"
[ "$obs_status" = 0 ] || fail "OBS exited with status $obs_status"
grep -qa 'Number of memory leaks: 0' "$log" || fail "OBS reported leaked memory"
echo "OBS exited cleanly with the panel's question open"
