#!/usr/bin/env bash
# Runs a command against a private Secret Service: its own session bus and a
# gnome-keyring-daemon with a throwaway login keyring, unlocked.
#   keyring-session.sh COMMAND [ARGS...]
set -u
if [ -z "${TORVANE_KEYRING_INNER:-}" ]; then
	TORVANE_KEYRING_INNER=1 exec dbus-run-session -- "$0" "$@"
fi
unset TORVANE_KEYRING_INNER DISPLAY WAYLAND_DISPLAY
state=$(mktemp -d)
export XDG_DATA_HOME=$state/data XDG_RUNTIME_DIR=$state/run HOME=$state/home
mkdir -p "$XDG_DATA_HOME" "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
source "$(dirname "$0")/../../../scripts/lib/local-run.sh"
printf '%s' keyring-test-password | gnome-keyring-daemon --foreground --unlock --components=secrets >"$state/out" 2>&1 &
track $!
trap 'cleanup_tracked; rm -rf "$state"' EXIT
# Until the daemon owns the name, a lookup would make the bus start another one.
for _ in $(seq 200); do
	dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
		org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q 'boolean true' && break
	kill -0 $! 2>/dev/null || { cat "$state/out" >&2; exit 1; }
	sleep 0.05
done
"$@"
