#!/usr/bin/env bash
# The Debian package in real OBS: apt-get installs it under overlays on /etc,
# /usr and /var in a private mount namespace (the build root stays as it was),
# OBS loads it from its system plug-in folder, and apt-get purge leaves nothing
# but dpkg's and apt's records, and the user's settings file as it was.
#   deb-package.sh BUILD_DIR PROBE_SO WORK_DIR VERSION
build=$1 probe_so=$2 work=$3 version=$4
if [ -z "${TORVANE_DEB_LAYER:-}" ]; then
	rm -rf "$work" && "$(dirname "$0")/../../scripts/package.sh" deb "$build" "$work/out" || exit 1
	layer=$(mktemp -d)
	unshare -m bash -c 'for d in etc usr var; do mkdir -p $1/$d $1/.$d && mount -t overlay overlay \
		-o lowerdir=/$d,upperdir=$1/$d,workdir=$1/.$d /$d || exit 4; done; shift
		exec env TORVANE_DEB_LAYER=1 "$@"' bash "$layer" "$0" "$@"
	status=$?
	left=$(cd "$layer" && find etc usr var ! -type d | grep -vE '^var/(lib/(dpkg|apt)|cache|log)/')
	rm -rf "$layer"
	[ $status != 0 ] || [ -z "$left" ] || { echo "FAIL: left behind: $left" && exit 1; }
	exit $status
fi

deb=$work/out/torvane_${version}_amd64.deb apt_log=$work/apt.log
source "$(dirname "$0")/obs-lib.sh" "" "$probe_so" "$work/obs"
apt() { # the user's HOME, for a package script that would touch it
	HOME=$home DEBIAN_FRONTEND=noninteractive apt-get -y -q "$@" >>"$apt_log" 2>&1 ||
		fail "apt-get $1 failed: $(tail -n 5 "$apt_log")"
}
apt install "$deb"
run_obs load
[ "$(grep -acF "[Torvane] Loaded v$version (Linux). No automatic streaming." "$log")" = 1 ] ||
	fail "the banner is not in the log exactly once"
grep -qaF '[host-probe] panel shown' "$log" || fail "the Tools entry did not open the panel"
settings=$home/.config/obs-studio/plugin_config/torvane/settings.dpapi
mkdir -p "$(dirname "$settings")" && echo "the user's settings" >"$settings"
apt purge torvane
[ "$(cat "$settings")" = "the user's settings" ] || fail "the purge touched the user's settings"
echo "apt-get installed the package, OBS loaded it from the system folder, and the purge removed it all"
