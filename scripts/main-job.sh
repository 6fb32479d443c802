#!/usr/bin/env bash
# The main job: builds the module and starts OBS Studio with it loaded under a
# private Xvfb display, then shows the module's banner from OBS's log.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/root.sh ensure
scripts/root.sh run bash -c 'cmake --preset linux >/dev/null && cmake --build --preset linux -j2 >/dev/null'
scripts/root.sh run bash -c '
	work=build/linux/main-job
	tests/host/run-obs.sh build/linux/module/torvane.so build/linux/tests/host/torvane_host_probe.so "$work"
'
