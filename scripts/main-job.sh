#!/usr/bin/env bash
# The main job: builds torvane in the build root, starts three local RTMP
# servers (the third behind TLS), streams the moving test picture with its tone
# to all three for about 20 seconds through `torvane stream` with the live lines
# on screen, and ends with a table of what each server recorded.
#
#   scripts/main-job.sh [--obs VERSION] [SECONDS]   (default: the newest OBS of scripts/root.sh)
#
# Runs on the host; everything after the build runs inside the root with the
# network unshared (loopback only).
set -u

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
checkout=$(cd "$here/.." && pwd)

if [ "${TORVANE_MAIN_JOB_INSIDE:-}" != 1 ]; then
	set -e
	cd "$checkout"
	obs=$("$here/root.sh" newest)
	if [ "${1:-}" = --obs ]; then
		obs=$2
		shift 2
	fi
	seconds=${1:-20}
	"$here/root.sh" ensure "$obs"
	"$here/root.sh" run --obs "$obs" bash -c 'cmake --preset linux >/dev/null && cmake --build --preset linux -j2 >/dev/null'
	exec "$here/root.sh" run --obs "$obs" env TORVANE_MAIN_JOB_INSIDE=1 bash "$here/main-job.sh" "$seconds"
fi

# ---- inside the root ----
seconds=${1:-20}
source "$checkout/scripts/lib/local-run.sh"

torvane=$checkout/build/linux$TORVANE_HOST_SUFFIX/tools/torvane
work=$checkout/build/linux$TORVANE_HOST_SUFFIX/main-job
tls_host=ingest.torvane.test
rm -rf "$work"
mkdir -p "$work"

say() { printf '\n== %s\n' "$*"; }

say "Servers"
port_a=1935 port_b=1936 port_c=1937 port_tls=4443
start_rtmp_server "$work/server-a" $port_a || { echo "server A did not start"; exit 1; }
start_rtmp_server "$work/server-b" $port_b || { echo "server B did not start"; exit 1; }
start_rtmp_server "$work/server-c" $port_c || { echo "server C did not start"; exit 1; }
# A throwaway authority signs the TLS front's certificate. torvane trusts it
# through a private mount namespace below; the root's trust store is untouched.
make_authority "$work/authority" "$tls_host" || { echo "the test authority could not be made"; exit 1; }
start_tls_front "$work/tls-front" $port_tls $port_c "$work/authority/server.crt" "$work/authority/server.key" ||
	{ echo "the TLS front did not start"; exit 1; }
echo "A: rtmp://127.0.0.1:$port_a/app   B: rtmp://127.0.0.1:$port_b/app   C: rtmps://$tls_host:$port_tls/app (TLS front for :$port_c)"

cat >"$work/settings.json" <<JSON
{
  "version": 1, "bitrate": 2500, "height": 720, "fps": 30,
  "destinations": [
    {"name": "Server A", "platform": "Custom", "server": "rtmp://127.0.0.1:$port_a/app", "key": "main-job-key-a", "enabled": true},
    {"name": "Server B", "platform": "Custom", "server": "rtmp://127.0.0.1:$port_b/app", "key": "main-job-key-b", "username": "main-job", "password": "main-job-password-b", "enabled": true},
    {"name": "Server C (TLS)", "platform": "Custom", "server": "rtmps://$tls_host:$port_tls/app", "key": "main-job-key-c", "enabled": true}
  ]
}
JSON

say "torvane check"
"$torvane" check "$work/settings.json" && echo "The settings can start."

start_xvfb "$work" || { echo "Xvfb did not start"; exit 1; }
say "torvane stream for $seconds seconds"
run_trusting "$work/authority/ca.crt" "$tls_host" \
	"$torvane" stream "$work/settings.json" --seconds "$seconds" --obs-log "$work/obs.log" 2>"$work/torvane.stderr" |
	tee "$work/torvane.out"
status=${PIPESTATUS[0]}
echo "torvane stream exited with $status"
# No stream key or password may reach OBS's log or the tool's output.
check_no_secrets "$work/obs.log" "$work/torvane.out" "$work/torvane.stderr" -- \
	main-job-key-a main-job-key-b main-job-password-b main-job-key-c || status=1

# Graceful stops finish the recordings before they are read.
cleanup_tracked

say "What each server recorded"
printf '%-16s %-12s %-12s %-10s %-10s %-10s\n' Server Video Size "Frame rate" Duration Audio
for name in a b c; do
	file=$(ls "$work/server-$name"/rec/*.flv 2>/dev/null | head -n 1)
	label="Server ${name^^}"
	[ $name = c ] && label="Server C (TLS)"
	if [ -z "$file" ]; then
		printf '%-16s %s\n' "$label" "nothing recorded"
		continue
	fi
	video=$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,profile,width,height \
		-of default=nw=1:nk=1 "$file" | paste -sd' ')
	read -r vcodec vprofile width height <<<"$(echo "$video" | awk '{print $1, $2, $(NF-1), $NF}')"
	rate=$(ffprobe -v error -select_streams v:0 -show_entries packet=pts_time -of csv=p=0 "$file" |
		awk 'NR==1{f=$1} {l=$1; n++} END{if (n>1 && l>f) printf "%.2f", (n-1)/(l-f); else print "?"}')
	duration=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$file")
	audio=$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,sample_rate,channels \
		-of default=nw=1:nk=1 "$file" | paste -sd' ')
	printf '%-16s %-12s %-12s %-10s %-10s %-10s\n' "$label" "$vcodec $vprofile" "${width}x$height" "$rate" \
		"$(printf '%.1f s' "$duration")" "$audio"
done
exit $status
