#!/usr/bin/env bash
# Builds the linux preset in the build root and runs the soak there with the
# network unshared: a 640x360 picture streamed through the engine to local
# nginx RTMP servers (one behind the TLS front, one behind a relay of the
# soak's own) while a seeded schedule kills and restarts a server, stops one
# with SIGSTOP past the output's timeout, restarts the TLS front, caps one
# server's bandwidth with tbf and makes the relay delay, stall and cut. Every
# fault and state change is logged; a table and the verdicts follow, and the
# last line is "soak: held" or "soak: FAILED (reason)" (exit 0 or 1). The same
# seed gives the same faults.
#
#   scripts/soak.sh [--minutes N] [--destinations N] [--seed S]   (defaults 10, 8, 1)
#
# It runs in the oldest root, whose iproute2 shapes the traffic.
set -u

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
checkout=$(cd "$here/.." && pwd)

if [ "${TORVANE_SOAK_INSIDE:-}" != 1 ]; then
	set -e
	cd "$checkout"
	obs=$("$here/root.sh" versions | head -n 1)
	"$here/root.sh" ensure "$obs"
	"$here/root.sh" run --obs "$obs" bash -c 'cmake --preset linux >/dev/null && cmake --build --preset linux -j2 >/dev/null'
	exec "$here/root.sh" run --obs "$obs" env TORVANE_SOAK_INSIDE=1 bash "$here/soak.sh" "$@"
fi

minutes=10 destinations=8 seed=1
while [ $# -gt 0 ]; do
	case "$1" in
	--minutes) minutes=$2 ;;
	--destinations) destinations=$2 ;;
	--seed) seed=$2 ;;
	*)
		echo "usage: scripts/soak.sh [--minutes N] [--destinations N] [--seed S]" >&2
		exit 2
		;;
	esac
	shift 2 || exit 2
done

source "$checkout/scripts/lib/local-run.sh"
work=$checkout/build/linux$TORVANE_HOST_SUFFIX/soak-run
rm -rf "$work"
mkdir -p "$work"
# The servers are the soak's own children; whatever outlives it is ended here.
end_servers() {
	local pidfile
	for pidfile in "$work"/*/nginx.pid; do
		[ -f "$pidfile" ] && kill -KILL "$(cat "$pidfile")" 2>/dev/null
	done
	cleanup_tracked
}
trap end_servers EXIT

base=19500
# Like the ingest services, the servers drop a publisher that has gone silent:
# an output that gave up a throttled connection may publish its key again
# before that connection has closed.
for i in $(seq "$destinations"); do
	rtmp_conf "$work/server-$i" $((base + i))
	sed -i 's/live on;/live on; drop_idle_publisher 5s;/' "$work/server-$i/nginx.conf"
done
trust=()
if [ "$destinations" -gt 3 ]; then
	make_authority "$work/ca" soak.test || { echo "soak: FAILED (no test certificate)"; exit 1; }
	tls_conf "$work/tls" $((base + 50)) $((base + 3)) "$work/ca/server.crt" "$work/ca/server.key"
	trust=(run_trusting "$work/ca/ca.crt" soak.test)
fi
TORVANE_XVFB_SCREEN=640x480x24 start_xvfb "$work" || { echo "soak: FAILED (Xvfb did not start)"; exit 1; }

seconds=$(awk -v m="$minutes" 'BEGIN { printf "%d", m * 60 }')
"${trust[@]}" "$checkout/build/linux$TORVANE_HOST_SUFFIX/tools/torvane_soak" --work "$work" --seconds "$seconds" \
	--destinations "$destinations" --seed "$seed" --port-base $base 2>"$work/soak.stderr" | tee "$work/soak.log"
exit "${PIPESTATUS[0]}"
