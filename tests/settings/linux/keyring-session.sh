#!/usr/bin/env bash
# Runs a command against a private Secret Service: its own D-Bus session bus
# and a gnome-keyring-daemon whose login keyring lives in a throwaway folder and
# is unlocked with a fixed password. The daemon is ended by its PID afterwards.
#   keyring-session.sh COMMAND [ARGS...]
set -u

if [ -z "${TORVANE_KEYRING_INNER:-}" ]; then
	export TORVANE_KEYRING_INNER=1
	exec dbus-run-session -- "$0" "$@"
fi
unset TORVANE_KEYRING_INNER

state=$(mktemp -d)
export XDG_DATA_HOME=$state/data XDG_RUNTIME_DIR=$state/run HOME=$state/home
mkdir -p "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY

printf '%s' keyring-test-password |
	gnome-keyring-daemon --foreground --unlock --components=secrets >"$state/daemon.out" 2>&1 &
daemon=$!
source "$(dirname "$0")/../../lib/testlib.sh"
track "$daemon"
trap 'cleanup_tracked; rm -rf "$state"' EXIT

# Until the daemon owns the name, a lookup would make the bus start another one.
for _ in $(seq 200); do
	if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
		org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q 'boolean true'; then
		break
	fi
	kill -0 "$daemon" 2>/dev/null || { cat "$state/daemon.out" >&2; echo "the keyring daemon did not start" >&2; exit 1; }
	sleep 0.05
done

"$@"
