# Starts a private Xvfb display for a test and stops it again.
#   start_xvfb WORK_DIR    sets DISPLAY and xvfb_pid; the screen is
#                          $TORVANE_XVFB_SCREEN (WxHxDEPTH), 1920x1080x24 by default
#   stop_xvfb

start_xvfb() {
	local work=$1 n
	for n in $(seq 90 190); do
		[ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
		Xvfb :$n -screen 0 "${TORVANE_XVFB_SCREEN:-1920x1080x24}" -nolisten tcp >"$work/xvfb.log" 2>&1 &
		xvfb_pid=$!
		local i
		for i in $(seq 100); do
			if [ -e /tmp/.X11-unix/X$n ]; then
				export DISPLAY=:$n
				return 0
			fi
			kill -0 $xvfb_pid 2>/dev/null || break
			sleep 0.05
		done
		kill $xvfb_pid 2>/dev/null
		wait $xvfb_pid 2>/dev/null
	done
	return 1
}

stop_xvfb() {
	[ -n "${xvfb_pid:-}" ] || return 0
	kill $xvfb_pid 2>/dev/null
	wait $xvfb_pid 2>/dev/null
	xvfb_pid=
}
