#!/usr/bin/env bash
# Real OBS loads the module, shows its Tools entry and panel, switches profile
# and scene collection, and is stopped with SIGINT while the panel's Remove
# question is open: it must exit cleanly.
#   run-obs.sh TORVANE_SO PROBE_SO WORK_DIR VERSION
source "$(dirname "$0")/obs-lib.sh"
version=$4

run_obs load
[ "$(grep -acF "[Torvane] Loaded v$version (Linux). No automatic streaming." "$log")" = 1 ] ||
	fail "the banner is not in the log exactly once"
[ "$(grep -ac '\[Torvane\]' "$log")" = 1 ] || fail "the module logged more than its banner"
[ "$(grep -acF '[host-probe] tools entry: Torvane — Multistream' "$log")" = 1 ] || fail "not one Tools entry"
grep -qaF '[host-probe] panel shown' "$log" || fail "the entry did not show the panel"
grep -qaF '[host-probe] now on profile Host Probe' "$log" || fail "the profile did not change"
grep -qaF '[host-probe] now on scene collection Host Probe' "$log" || fail "the collection did not change"
grep -qaF '[host-probe] box shown: Remove this destination' "$log" || fail "Remove's question did not show"
grep -qaF '[host-probe] unloaded' "$log" || fail "the modules were not unloaded"
echo "OBS loaded, used and unloaded the module cleanly, also under the panel's question"
