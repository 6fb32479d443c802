#!/usr/bin/env bash
# Real OBS loads the module, shows its panel, switches profile and collection,
# and exits cleanly on SIGINT while the panel's Remove question is open.
#   run-obs.sh TORVANE_SO PROBE_SO WORK_DIR VERSION
source "$(dirname "$0")/obs-lib.sh"
version=$4

run_obs load
[ "$(grep -acF "[Torvane] Loaded v$version (Linux). No automatic streaming." "$log")" = 1 ] ||
	fail "the banner is not in the log exactly once"
[ "$(grep -ac '\[Torvane\]' "$log")" = 1 ] || fail "the module logged more than its banner"
[ "$(grep -acF '[host-probe] tools entry: Torvane — Multistream' "$log")" = 1 ] || fail "not one Tools entry"
for said in 'panel shown' 'now on profile Host Probe' 'now on scene collection Host Probe' \
	'box shown: Remove this destination' unloaded; do
	grep -qaF "[host-probe] $said" "$log" || fail "the probe never said '$said'"
done
echo "OBS loaded, used and unloaded the module cleanly, also under the panel's question"
