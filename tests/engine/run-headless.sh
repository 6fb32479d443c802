#!/usr/bin/env bash
# Runs a test program on a private Xvfb display, which headless libobs needs
# for its EGL context.
#   run-headless.sh PROGRAM [ARGS...]
set -u
work=$(mktemp -d /tmp/torvane-headless-XXXXXX)
source "$(dirname "$0")/../lib/xvfb.sh"
if ! start_xvfb "$work"; then
	echo "Xvfb did not start" >&2
	cat "$work/xvfb.log" >&2
	rm -rf "$work"
	exit 1
fi
"$@"
status=$?
stop_xvfb
rm -rf "$work"
exit $status
