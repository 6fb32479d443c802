#!/usr/bin/env bash
# The Debian package, installed with apt-get into a throwaway layer over this
# build root (an overlay in a private mount namespace, so the root stays as it
# was): real OBS loads the module from its system plug-in folder, with no user
# plug-in folder, and after apt-get purge the layer holds nothing but dpkg's and
# apt's records, while the user's settings file stays.
#   deb-package.sh BUILD_DIR PROBE_SO WORK_DIR VERSION
set -u
build=$1 probe_so=$2 work=$3 version=$4 here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${TORVANE_DEB_LAYER:-}" ]; then
	rm -rf "$work"
	"$here/../../scripts/package.sh" deb "$build" "$work/out" || exit 1
	layer=$(mktemp -d) && mkdir -p "$layer"/{upper,scratch,root}
	unshare -m bash -c 'layer=$1 checkout=$2
		shift 2
		mount -t overlay overlay -o lowerdir=/,upperdir=$layer/upper,workdir=$layer/scratch $layer/root &&
			mount --rbind /dev $layer/root/dev && mount -t proc proc $layer/root/proc &&
			mount -t tmpfs tmpfs $layer/root/tmp && mkdir -p $layer/root$checkout &&
			mount --bind $checkout $layer/root$checkout || exit 4
		exec chroot $layer/root env TORVANE_DEB_LAYER=1 "$@"' bash "$layer" "$(cd "$here/../.." && pwd)" "$0" "$@"
	status=$?
	left=$(cd "$layer/upper" && find . ! -type d | grep -vE '^\./(var/lib/(dpkg|apt)|var/cache|var/log)/')
	rm -rf "$layer"
	[ $status != 0 ] || [ -z "$left" ] || { echo "FAIL: left behind: $left" && exit 1; }
	exit $status
fi

package=$work/out/torvane_${version}_amd64.deb apt_log=$work/apt.log
source "$here/obs-lib.sh" "" "" "$work/obs"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$package" >"$apt_log" 2>&1 ||
	fail "apt-get install failed: $(tail -n 5 "$apt_log")"
cp "$probe_so" /usr/lib/x86_64-linux-gnu/obs-plugins/torvane_host_probe.so
TORVANE_HOST_PROBE=menu run_obs load
[ "$(grep -acF "[Torvane] Loaded v$version (Linux). No automatic streaming." "$log")" = 1 ] ||
	fail "the banner is not in the log exactly once"
[ "$(grep -acF '[host-probe] tools entry: Torvane — Multistream' "$log")" = 1 ] || fail "not one Tools entry"

settings=$home/.config/obs-studio/plugin_config/torvane/settings.dpapi
mkdir -p "$(dirname "$settings")" && echo "the user's settings" >"$settings"
HOME=$home DEBIAN_FRONTEND=noninteractive apt-get purge -y -q torvane >>"$apt_log" 2>&1 || fail "apt-get purge failed"
rm /usr/lib/x86_64-linux-gnu/obs-plugins/torvane_host_probe.so
[ "$(cat "$settings")" = "the user's settings" ] || fail "the purge touched the user's settings"
echo "apt-get installed the package, OBS loaded it from the system folder, and the purge removed it all"
