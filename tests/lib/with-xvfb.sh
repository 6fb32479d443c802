#!/usr/bin/env bash
# Runs a command with a private Xvfb display, stopped by its PID afterwards.
#   with-xvfb.sh COMMAND [ARGS...]
set -u
source "$(dirname "$0")/../../scripts/lib/local-run.sh"
work=$(mktemp -d /tmp/torvane-xvfb-XXXXXX)
trap 'cleanup_tracked; rm -rf "$work"' EXIT
start_xvfb "$work" || {
	cat "$work/xvfb.log" >&2
	echo "Xvfb did not start" >&2
	exit 1
}
"$@"
