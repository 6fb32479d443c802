#!/usr/bin/env bash
# Torvane driven by obs-websocket-js (automation-client.js) in real OBS, with no
# secret or server URL in any answer or event, and no secret in OBS's log; then
# OBS's own stream starts Torvane's, whose bitrates GetStatus reports.
#   run-obs-automation.sh TORVANE_SO PROBE_SO WORK_DIR
source "$(dirname "$0")/obs-lib.sh"

port=19470
servers=()
for i in 1 2 3; do
	start_rtmp_server "$work/rtmp$i" $((port + i)) || fail "RTMP server $i did not start"
	servers+=("rtmp://127.0.0.1:$((port + i))/app")
done
websocket=$home/.config/obs-studio/plugin_config/obs-websocket
mkdir -p "$websocket"
printf '{"server_enabled":true,"server_port":%s,"auth_required":false,"first_load":false,"alerts_enabled":false}\n' \
	$port >"$websocket/config.json"

NODE_PATH=/opt/torvane-npm/node_modules node "$(dirname "$0")/automation-client.js" ws://127.0.0.1:$port "$work" \
	"${servers[2]}" >"$work/client.log" 2>&1 &
client=$!
track $client
TORVANE_HOST_PROBE=automation TORVANE_HOST_PROBE_DIR=$work TORVANE_HOST_PROBE_SERVERS="${servers[*]:0:2}" \
	run_obs automation
wait $client || { cat "$work/client.log"; fail "the client's checks failed"; }
TORVANE_HOST_PROBE=restart run_obs restart # "Go live" was kept, and the hotkey's binding
grep -qaE '\[host-probe\] remote kbps:( [1-9][0-9]*){2}$' "$log" || fail "GetStatus reported no bitrate, the panel never opened"
grep -q 'start all key: OBS_KEY_F9' "$log" || fail "the binding of \"Torvane: Start all\" was not kept"
# F9's press started Torvane outside the hotkey lock, its release nothing; OBS's start while Torvane
# sent restarted nothing, its stop stopped Torvane, its failure did not.
grep -q "Torvane's outputs: 4 made, 0 under the hotkey lock, 0 sending after F9's release, 2 after OBS's stream failed" "$log" ||
	fail "F9 or OBS's own stream drove Torvane wrongly"
ls "$work"/rtmp{1,2}/rec/*.flv >/dev/null || fail "a server recorded nothing"
check_no_secrets "$work/responses.json" -- auto-key-1 auto-key-2 auto-user auto-pass "${servers[@]}" &&
	check_no_secrets "$work"/automation.{log,stdout} -- auto-key-1 auto-key-2 auto-user auto-pass ||
	fail "a secret reached a client or the log"
echo "requests, events, hotkeys and OBS's own Start Streaming drove Torvane in real OBS, without a secret shown"
