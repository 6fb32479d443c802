#!/usr/bin/env bash
# The Windows installer under Wine, in a stand-in OBS Studio folder that the
# registry names as OBS's own installer does: it refuses an OBS older than 30.2
# and a folder without OBS, changing nothing; it installs silently and registers
# its uninstaller, which leaves the folder and the registry as they were before
# and the user's settings alone. While OBS Studio holds torvane.dll, an update and
# the uninstaller refuse, changing nothing.
#   installer-test.sh WINDOWS_BUILD_DIR VERSION
build=$1 version=$2 work=$1/installer-run obs=$WINEPREFIX/drive_c/standin-obs
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Torvane'
fail() { echo "FAIL: $*" && exit 1; }
value() { wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_SZ *//p"; }
state() { (cd "$obs" && find . | sort) && echo "uninstall entry: $(value DisplayName)"; }
install() { # OBS_DLL_VERSION ARGS...: the installer's exit status
	cp "$build/bin/standin-obs-$1.dll" "$obs/bin/64bit/obs.dll" &&
		wine "$work/out/torvane-$version-windows-x64-installer.exe" /S "${@:2}"
}
held() { wine "$build/bin/hold-dll.exe" 'C:\standin-obs\obs-plugins\64bit\torvane.dll' "$@"; }

rm -rf "$work" "$obs"
"$(dirname "$0")/../../scripts/package.sh" windows "$build" "$work/out" || exit 1
mkdir -p "$obs/bin/64bit" "$obs/obs-plugins/64bit" "$obs/data/obs-plugins/other"
touch "$obs/bin/64bit/obs.dll" "$obs/obs-plugins/64bit/other.dll" "$obs/data/obs-plugins/other/other.ini"
wine reg delete "$key" /f >/dev/null 2>&1
wine reg add 'HKLM\Software\OBS Studio' /ve /d 'C:\standin-obs' /f >/dev/null || fail "no registry key"
settings=$(winepath -u "$(wine cmd /c echo %APPDATA% | tr -d '\r')")/obs-studio/plugin_config/torvane/settings.dpapi
mkdir -p "$(dirname "$settings")" && echo "the user's settings" >"$settings"

before=$(state)
install 30.1
old=$?
install 30.2 /D='C:\no-obs-here'
[ "$old $?" = "2 2" ] || fail "the installer did not refuse both OBS Studio 30.1 and a folder without it"
[ "$(state)" = "$before" ] || fail "a refused install changed something"

install 30.2 || fail "the silent install failed"
# An older version in place, held by OBS Studio; then the update replaces it.
dll=$obs/obs-plugins/64bit/torvane.dll older=$build/bin/standin-obs-30.1.dll
cp "$older" "$dll" && wine reg add "$key" /v DisplayVersion /d 0.1 /f >/dev/null && before_update=$(state)
held "$(winepath -w "$work/out/torvane-$version-windows-x64-installer.exe")" /S
update=$?
held 'C:\standin-obs\data\obs-plugins\torvane\uninstall.exe' /S '_?=C:\standin-obs\data\obs-plugins\torvane'
[ "$update $?" = "2 2" ] && cmp -s "$older" "$dll" && [ "$(value DisplayVersion)" = 0.1 ] &&
	[ "$(state)" = "$before_update" ] || fail "with torvane.dll held, an update or the uninstaller changed something"
install 30.2 || fail "the update failed"
# Stripped: one code section and no debug sections.
[ "$(x86_64-w64-mingw32ucrt-objdump -h "$obs/obs-plugins/64bit/torvane.dll" | grep -cE ' \.(text|debug_)')" = 1 ] &&
	[ -f "$obs/data/obs-plugins/torvane/LICENSE" ] || fail "no stripped DLL or no LICENSE: $(state)"
[ "$(value DisplayVersion)" = "$version" ] || fail "no uninstall entry for version $version"
# The uninstaller goes on from a copy of itself in the temporary folder.
wine "$(winepath -u "$(value UninstallString | tr -d '"')")" /S || fail "the entry names no uninstaller"
for i in $(seq 100); do [ "$(state)" = "$before" ] && break || sleep 0.3; done
diff <(echo "$before") <(state) >&2 || fail "the uninstaller did not leave the folder and the registry as they were"
[ "$(cat "$settings")" = "the user's settings" ] || fail "the user's settings were touched"
echo "the installer refused old or missing OBS and a held DLL, installed, updated, registered and uninstalled cleanly"
