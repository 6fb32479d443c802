#!/usr/bin/env bash
# Checks that project includes follow the layers: settings/ -> engine/ ->
# control/ -> panel/ and tools/ (siblings; bench/ counts as tools/) -> module/.
# A file may include a header of its own layer or an earlier one, never one of
# a later layer or of its sibling. Platform folders (panel/win32, settings/linux,
# ...) belong to their parent; tests/ may include anything and is not read.
#
#   scripts/check-layers.sh [TREE]   (default: this checkout)
#
# Prints one line per offence and exits 1 if there is any.
set -euo pipefail
tree=${1:-"$(dirname "$0")/.."}
cd "$tree"

dirs=(settings engine control panel tools bench module)
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
	files=$(git ls-files -- "${dirs[@]}")
else
	files=$(find "${dirs[@]}" -type f 2>/dev/null || true)
fi
files=$(grep -E '\.(h|cpp|c)$' <<<"$files" || true)
[ -n "$files" ] || exit 0

# -H: the file name even when xargs hands grep a single file.
includes=$(xargs grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' <<<"$files" || true)
awk '
BEGIN {
	# layer and group: siblings share a layer but not a group
	split("settings engine control panel tools bench module", names, " ")
	split("0 1 2 3 3 3 4", layers, " ")
	split("settings engine control panel tools tools module", groups, " ")
	for (i in names) { layer[names[i]] = layers[i]; group[names[i]] = groups[i] }
	bad = 0
}
{
	file = $0; sub(/:.*/, "", file)
	rest = substr($0, length(file) + 2)
	line = rest; sub(/:.*/, "", line)
	header = rest; sub(/^[^"]*"/, "", header); sub(/".*/, "", header)
	from = file; sub(/\/.*/, "", from)
	to = header; sub(/\/.*/, "", to)
	if (!(to in layer) || header !~ /\//)
		next
	if (layer[to] > layer[from] || (layer[to] == layer[from] && group[to] != group[from])) {
		printf "%s:%s: %s includes %s against the layer order\n", file, line, file, header
		bad = 1
	}
}
END { exit bad }
' <<<"$includes"
