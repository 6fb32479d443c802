#!/usr/bin/env bash
# Torvane driven by obs-websocket-js (automation-client.js) and OBS's own stream in real OBS, with no secret or
# server URL in any answer or event, and no secret in OBS's log; then, restarted with the panel never opened,
# by its F9 hotkey, and OBS exits cleanly while a destination reconnects.
#   run-obs-automation.sh TORVANE_SO PROBE_SO WORK_DIR
source "$(dirname "$0")/obs-lib.sh"

port=19470
servers=() pids=()
for i in 1 2 3; do
	start_rtmp_server "$work/rtmp$i" $((port + i)) || fail "RTMP server $i did not start"
	servers+=("rtmp://127.0.0.1:$((port + i))/app") pids+=("$rtmp_pid")
done
websocket=$home/.config/obs-studio/plugin_config/obs-websocket
mkdir -p "$websocket"
printf '{"server_enabled":true,"server_port":%s,"auth_required":false,"first_load":false,"alerts_enabled":false}\n' \
	$port >"$websocket/config.json"

NODE_PATH=/opt/torvane-npm/node_modules node "$(dirname "$0")/automation-client.js" ws://127.0.0.1:$port "$work" \
	"${servers[2]}" "${pids[2]}" >"$work/client.log" 2>&1 &
client=$!
track $client
TORVANE_HOST_PROBE=automation TORVANE_HOST_PROBE_DIR=$work TORVANE_HOST_PROBE_SERVERS="${servers[*]:0:2}" \
	run_obs automation
wait $client || { cat "$work/client.log"; fail "the client's checks failed"; }
check_no_secrets "$work/responses.json" -- auto-key-1 auto-key-2 auto-user auto-pass "${servers[@]}" &&
	check_no_secrets "$work"/automation.{log,stdout} -- auto-key-1 auto-key-2 auto-user auto-pass ||
	fail "a secret reached a client or the log"
# OBS's one encode for all three, let go of before a stop and after a failure, recorded alike (last but one).
for said in "video encoders while OBS and Torvane stream: 1" "at OBS's output stop 2: 0 live" \
	"after OBS's stream stop 3: 0 live"; do
	grep -qaF "[host-probe] $said" "$log" || fail "the probe never said '$said'"
done
for i in 1 2 3; do
	file=$(ls "$work/rtmp$i"/rec/*.flv | tail -n 2 | head -n 1)
	size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 "$file")
	ffprobe -v error -select_streams v:0 -show_entries packet=pts_time,size -of csv=p=0 "$file" | awk -F, -v s=$size \
		'NR==1{f=$1} {l=$1; n++; b+=$2} END{printf "%s %.0f fps %.0f kbps\n", s, (n-1)/(l-f), b*.008/(l-f)}'
done | tee "$work/shapes" | awk 'NR==1{s=$1$2; lo=hi=$4} {bad+=$1$2!=s; lo=$4<lo?$4:lo; hi=$4>hi?$4:hi}
	END{exit bad || hi > lo*1.1}' || fail "the recordings differ:" $(cat "$work/shapes")

TORVANE_HOST_PROBE=restart TORVANE_HOST_PROBE_KILL=${pids[1]} run_obs restart
grep -q 'start all key: OBS_KEY_F9' "$log" || fail "the binding of \"Torvane: Start all\" was not kept"
# F9's press started Torvane outside the hotkey lock, its release nothing; OBS's own stream, started while
# Torvane sent, restarted nothing, and its failure ("Go live" kept) stopped nothing.
grep -q "Torvane's outputs: 2 made, 0 under the hotkey lock, 0 sending after F9's release, 2 after OBS's stream failed" "$log" ||
	fail "F9 or OBS's own stream drove Torvane wrongly"
echo "requests, the event, OBS's own stream and F9 drove Torvane in real OBS, without a secret shown"
