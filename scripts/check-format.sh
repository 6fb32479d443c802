#!/usr/bin/env bash
# Checks every tracked C/C++ source and header against .clang-format with the
# clang-format of the default build root, leaving the files as they are. Prints
# the first offence of each file that differs and how many differ; exit 1 if
# any does. Third-party and generated sources are not ours to format.
#
#   scripts/check-format.sh
set -uo pipefail
cd "$(dirname "$0")/.."

files=$(git ls-files -- '*.h' '*.hpp' '*.c' '*.cc' '*.cpp' | grep -vE '(^|/)(third-party|third_party|generated)/')
total=$(wc -l <<<"$files")
out=$(scripts/root.sh run xargs -d '\n' clang-format --dry-run -Werror --ferror-limit=1 <<<"$files" 2>&1)
rc=$?
[ -z "$out" ] || printf '%s\n' "$out"
bad=$(grep -E '^[^ ]+:[0-9]+:[0-9]+: error:' <<<"$out" | cut -d: -f1 | sort -u | wc -l)
if [ $rc != 0 ] || [ "$bad" != 0 ]; then
	echo "format: $bad of $total files differ from .clang-format (clang-format -i FILE rewrites one)"
	exit 1
fi
echo "format: all $total files follow .clang-format"
