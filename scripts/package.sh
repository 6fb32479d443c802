#!/usr/bin/env bash
# The release artifacts: builds the module for Linux and Windows (release-linux
# and release-windows presets, in the build root of the oldest OBS supported)
# and puts into build/package/ the Debian package, the Windows installer, the
# zip in the layout of OBS's own folder (for portable installs), the debug
# symbols of both binaries (debug/) and SHA256SUMS. The version is the
# project's (CMakeLists.txt).
#
#   scripts/package.sh                    everything, into build/package/
#   scripts/package.sh deb BUILD OUT      the .deb of BUILD's torvane.so
#   scripts/package.sh windows BUILD OUT  the installer and zip of BUILD's torvane.dll
#
# The binaries in the artifacts are stripped; each keeps a link to its
# debug file (debug/torvane.so.debug, debug/torvane.dll.debug).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
checkout=$(cd "$here/.." && pwd)

if [ -z "${TORVANE_OBS:-}" ]; then
	oldest=$("$here/root.sh" versions)
	oldest=${oldest%%$'\n'*}
	[ $# -gt 0 ] || "$here/root.sh" ensure "$oldest"
	exec "$here/root.sh" run --obs "$oldest" "$0" "$@"
fi

cache_value() { # BUILD NAME
	sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"
}

# split_debug BUILD BINARY STRIPPED DEBUG_DIR: the debug sections go to
# DEBUG_DIR/NAME.debug, the rest to STRIPPED, which links to that file.
split_debug() {
	local objcopy debug
	objcopy=$(cache_value "$1" CMAKE_OBJCOPY)
	debug=$4/$(basename "$2").debug
	mkdir -p "$4" "$(dirname "$3")"
	"$objcopy" --only-keep-debug "$2" "$debug"
	"$objcopy" --strip-debug --strip-unneeded --add-gnu-debuglink="$debug" "$2" "$3"
	chmod 0644 "$3" "$debug"
}

# The module's data folder as OBS reads it: the licence and data/.
stage_data() { # DIR
	mkdir -p "$1"
	install -m 0644 "$checkout/LICENSE" "$1/LICENSE"
	[ ! -d "$checkout/data" ] || cp -r "$checkout/data/." "$1/"
}

# The packages, with their oldest versions, that hold the shared libraries
# BINARY links to, in the system it was built on (libsodium23 in Debian 13,
# libsodium26 in later releases).
shared_library_packages() { # BINARY
	local dir found
	dir=$(mktemp -d)
	mkdir "$dir/debian"
	printf 'Source: torvane\n\nPackage: torvane\nArchitecture: amd64\n' >"$dir/debian/control"
	found=$(cd "$dir" && dpkg-shlibdeps -O "$1" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
	rm -rf "$dir"
	[ -n "$found" ] || { echo "dpkg-shlibdeps found no packages for $1" >&2 && return 1; }
	echo "$found"
}

deb() { # BUILD OUT
	local build=$1 out=$2 version stage depends
	version=$(cache_value "$build" CMAKE_PROJECT_VERSION)
	stage=$(mktemp -d)
	split_debug "$build" "$build/module/torvane.so" "$stage/usr/lib/x86_64-linux-gnu/obs-plugins/torvane.so" \
		"$out/debug"
	[ ! -d "$checkout/data" ] || { mkdir -p "$stage/usr/share/obs/obs-plugins/torvane" &&
		cp -r "$checkout/data/." "$stage/usr/share/obs/obs-plugins/torvane/"; }
	mkdir -p "$stage/usr/share/doc/torvane" "$stage/DEBIAN"
	{
		printf 'Torvane is free software: you can redistribute it and/or modify it under the terms of\n'
		printf 'the GNU General Public License, version 2 or (at your option) any later version.\n\n'
		cat "$checkout/LICENSE"
	} >"$stage/usr/share/doc/torvane/copyright"
	find "$stage" -type d -exec chmod 0755 {} +
	find "$stage/usr" -type f -exec chmod 0644 {} +
	(cd "$stage" && find usr -type f -exec md5sum {} + | sort -k 2) >"$stage/DEBIAN/md5sums"
	depends=$(shared_library_packages "$stage/usr/lib/x86_64-linux-gnu/obs-plugins/torvane.so")
	cat >"$stage/DEBIAN/control" <<EOF
Package: torvane
Version: $version
Architecture: amd64
Maintainer: Torvane developers <torvane@localhost>
Installed-Size: $(du -sk --exclude=DEBIAN "$stage" | cut -f 1)
Depends: obs-studio (>= 30.2), $depends
Section: video
Priority: optional
Description: multistreaming module for OBS Studio
 Sends OBS Studio's program output to several live-streaming destinations
 at once (YouTube, Twitch, Kick, Patreon and custom RTMP/RTMPS servers),
 encoding the picture once however many destinations receive it. Adds
 "Torvane — Multistream" to OBS's Tools menu.
EOF
	mkdir -p "$out"
	dpkg-deb --root-owner-group -Zxz --build "$stage" "$out/torvane_${version}_amd64.deb" >/dev/null
	rm -rf "$stage"
}

windows() { # BUILD OUT
	local build=$1 out=$2 version stage
	version=$(cache_value "$build" CMAKE_PROJECT_VERSION)
	stage=$(mktemp -d)
	split_debug "$build" "$build/bin/torvane.dll" "$stage/obs-plugins/64bit/torvane.dll" "$out/debug"
	stage_data "$stage/data/obs-plugins/torvane"
	mkdir -p "$out"
	makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DLICENSE="$checkout/LICENSE" \
		-DOUTFILE="$out/torvane-$version-windows-x64-installer.exe" "$here/package/torvane.nsi" >/dev/null
	rm -f "$out/torvane-$version-windows-x64.zip"
	(cd "$stage" && cmake -E tar cf "$out/torvane-$version-windows-x64.zip" --format=zip obs-plugins data)
	rm -rf "$stage"
}

case "${1:-}" in
deb | windows) "$@" ;;
"")
	cd "$checkout"
	for preset in release-linux release-windows; do
		cmake --preset $preset -DTORVANE_WERROR=ON >/dev/null
		cmake --build --preset $preset -j2
	done
	out=$checkout/build/package
	rm -rf "$out"
	deb build/release-linux "$out"
	windows build/release-windows "$out"
	(cd "$out" && find . -type f ! -name SHA256SUMS -printf '%P\n' | sort | xargs sha256sum >SHA256SUMS)
	(cd "$out" && du -b $(cut -d ' ' -f 3 SHA256SUMS))
	;;
*)
	echo "usage: scripts/package.sh [deb BUILD OUT | windows BUILD OUT]" >&2
	exit 2
	;;
esac
