#!/usr/bin/env bash
# Fails when torvane.dll needs any DLL beside Windows' own, obs.dll and
# obs-frontend-api.dll (for example a MinGW runtime DLL that users don't have),
# or exports anything but the module's entry points.
#   check-imports.sh OBJDUMP DLL
set -u
objdump=$1 dll=$2
imports=$("$objdump" -p "$dll" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$imports" ] || {
	echo "FAIL: no imports read from $dll"
	exit 1
}
allowed='^(obs\.dll|obs-frontend-api\.dll|kernel32\.dll|user32\.dll|gdi32\.dll|gdiplus\.dll|comctl32\.dll|advapi32\.dll|crypt32\.dll|dwmapi\.dll|shell32\.dll|ole32\.dll|uxtheme\.dll|msvcrt\.dll|ucrtbase\.dll|api-ms-win-crt-[a-z0-9-]+\.dll|api-ms-win-core-[a-z0-9-]+\.dll|bcrypt\.dll|ws2_32\.dll)$'
status=0
while read -r name; do
	if [[ ${name,,} =~ $allowed ]]; then
		echo "ok: $name"
	else
		echo "FAIL: $dll imports $name"
		status=1
	fi
done <<<"$imports"
grep -qx 'obs.dll' <<<"$imports" || {
	echo "FAIL: obs.dll is not imported"
	status=1
}
exports=$("$objdump" -p "$dll" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed 1d | awk '/\[/ {print $NF}' | sort | tr '\n' ' ')
expected="obs_module_author obs_module_description obs_module_load obs_module_name obs_module_set_pointer obs_module_unload obs_module_ver "
if [ "$exports" = "$expected" ]; then
	echo "ok: exports $exports"
else
	echo "FAIL: exports '$exports', expected '$expected'"
	status=1
fi
exit $status
