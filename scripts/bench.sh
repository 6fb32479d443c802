#!/usr/bin/env bash
# Builds the linux preset in the build root and runs the multistream benchmark
# there with the network unshared: eight local RTMP servers, then CPU per
# second, start time and memory with 1, 4 and 8 destinations, beside OBS's own
# stream output to one server and one encoder pair per destination, with
# Torvane's CPU as a ratio of each; then 2 destinations against 8 with two
# qualities, and with two pictures (the program and its centre at 9:16); last
# OBS's own stream with 3 destinations sharing its encoder, and with Torvane's
# own, as a ratio of OBS's stream alone.
#
#   scripts/bench.sh [--obs VERSION]   (default: the newest OBS of scripts/root.sh)
set -u

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
checkout=$(cd "$here/.." && pwd)

if [ "${TORVANE_BENCH_INSIDE:-}" != 1 ]; then
	set -e
	cd "$checkout"
	obs=$("$here/root.sh" newest)
	if [ "${1:-}" = --obs ]; then
		obs=$2
		shift 2
	fi
	"$here/root.sh" ensure "$obs"
	"$here/root.sh" run --obs "$obs" bash -c 'cmake --preset linux >/dev/null && cmake --build --preset linux -j2 >/dev/null'
	exec "$here/root.sh" run --obs "$obs" env TORVANE_BENCH_INSIDE=1 bash "$here/bench.sh" "$@"
fi

source "$checkout/scripts/lib/local-run.sh"
work=$checkout/build/linux$TORVANE_HOST_SUFFIX/bench-run
rm -rf "$work"
mkdir -p "$work"

ports=()
for i in 1 2 3 4 5 6 7 8; do
	port=$((19400 + i))
	start_rtmp_server "$work/server-$i" $port || { echo "server $i did not start"; exit 1; }
	ports+=("$port")
done
start_xvfb "$work" || { echo "Xvfb did not start"; exit 1; }
"$checkout/build/linux$TORVANE_HOST_SUFFIX/bench/torvane_multistream_bench" "${ports[@]}" 2>"$work/bench.stderr"
