#!/usr/bin/env bash
# Fails when torvane.dll needs a DLL beside Windows' own, obs.dll and
# obs-frontend-api.dll (a MinGW runtime DLL users don't have, say), or exports
# anything but the module's entry points.
#   check-imports.sh OBJDUMP DLL
set -u
table=$("$1" -p "$2") || exit 1
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$table" | tr 'A-Z' 'a-z' | sort)
allowed='^(obs|obs-frontend-api|kernel32|user32|gdi32|gdiplus|comctl32|advapi32|crypt32|dwmapi|shell32|ole32|uxtheme|msvcrt|ucrtbase|bcrypt|ws2_32|api-ms-win-(crt|core)-[a-z0-9-]+)\.dll$'
exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$table" | awk '/\[ *[0-9]+\]/ {print $NF}' | sort | xargs)
expected="obs_module_author obs_module_description obs_module_load obs_module_name obs_module_post_load obs_module_set_pointer obs_module_unload obs_module_ver"
status=0
grep -vE "$allowed" <<<"$imports" | sed 's/^/FAIL: imports /' | grep . && status=1
grep -qx obs.dll <<<"$imports" || { echo "FAIL: obs.dll is not imported"; status=1; }
[ "$exports" = "$expected" ] || { echo "FAIL: exports '$exports', expected '$expected'"; status=1; }
[ $status = 0 ] && echo "ok: imports $(xargs <<<"$imports"); exports $exports"
exit $status
