#!/usr/bin/env bash
# Fails when the host's libraries no longer export a function that torvane.dll
# imports: each .def list names what the DLL takes from one OBS library, and
# the Linux build of the same OBS version must define every one of them.
#   def-exports.sh DEF LIBRARY [DEF LIBRARY]...
set -u
status=0
while [ $# -ge 2 ]; do
	def=$1 lib=$2
	shift 2
	exported=$(nm -D --defined-only "$lib" | awk '{ print $NF }' | sort -u)
	[ -n "$exported" ] || { echo "FAIL: no exports read from $lib"; status=1; continue; }
	wanted=$(sed -n '/^EXPORTS/,$p' "$def" | sed 1d | sed 's/[;@].*//' | awk 'NF { print $1 }' | sort -u)
	missing=$(comm -23 <(echo "$wanted") <(echo "$exported"))
	if [ -n "$missing" ]; then
		echo "FAIL: $(basename "$lib") does not export:" $missing
		status=1
	else
		echo "ok: $(basename "$lib") exports all $(wc -l <<<"$wanted") functions of $(basename "$def")"
	fi
done
exit $status
