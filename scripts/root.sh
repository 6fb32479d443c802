#!/usr/bin/env bash
# The Debian 13 build root: created once with mmdebstrap, cached outside the
# checkout, brought up to date when root-packages.txt grows, entered with bwrap.
#
#   scripts/root.sh ensure              create or update the root
#   scripts/root.sh run [--net] CMD...  run CMD inside it, in the current folder;
#                                       without --net the network is unshared
#                                       (loopback only)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
checkout=$(cd "$here/.." && pwd)
cache=${TORVANE_CACHE:-/var/cache/torvane}
root=$cache/trixie
list=$here/root-packages.txt

say() { printf '[root] %s\n' "$*" >&2; }

packages() { grep -v -e '^#' -e '^[[:space:]]*$' "$list"; }

host_tools() {
	local missing=()
	command -v mmdebstrap >/dev/null || missing+=(mmdebstrap)
	command -v bwrap >/dev/null || missing+=(bubblewrap)
	if ((${#missing[@]})); then
		say "installing ${missing[*]} on this machine"
		apt-get update -qq
		DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
	fi
}

# bwrap arguments shared by every entry into the root.
enter_args() {
	local args=(--bind "$root" / --dev /dev --proc /proc --perms 1777 --tmpfs /tmp
		--bind "$checkout" "$checkout" --die-with-parent --setenv HOME /tmp/home
		--setenv PATH /usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
		--setenv LANG C.UTF-8 --chdir "$PWD")
	[ -e /etc/resolv.conf ] && args+=(--ro-bind /etc/resolv.conf /etc/resolv.conf)
	printf '%s\0' "${args[@]}"
}

run_in_root() {
	local net=0
	if [ "${1:-}" = --net ]; then
		net=1
		shift
	fi
	local args=()
	mapfile -d '' args < <(enter_args)
	((net)) || args+=(--unshare-net)
	exec bwrap "${args[@]}" -- /bin/bash -c 'mkdir -p "$HOME"; exec "$@"' bash "$@"
}

ensure() {
	host_tools
	local stamp=$root/.torvane-packages
	if [ ! -f "$stamp" ]; then
		say "creating the Debian 13 root in $root (about a minute and a half, 3 GB)"
		mkdir -p "$cache"
		rm -rf "$root.new"
		local include
		include=$(packages | paste -sd, -)
		mmdebstrap --quiet --variant=minbase --include="$include" trixie "$root.new" </dev/null
		rm -rf "$root"
		mv "$root.new" "$root"
		packages | sort >"$stamp"
		return
	fi
	local missing
	missing=$(comm -13 "$stamp" <(packages | sort))
	if [ -n "$missing" ]; then
		say "installing into the root: $(echo $missing)"
		local args=()
		mapfile -d '' args < <(enter_args)
		# shellcheck disable=SC2086
		bwrap "${args[@]}" -- /bin/sh -c "apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $(echo $missing) >/dev/null"
		packages | sort >"$stamp"
	fi
}

case "${1:-}" in
ensure) ensure ;;
run)
	shift
	run_in_root "$@"
	;;
*)
	echo "usage: scripts/root.sh ensure | run [--net] CMD..." >&2
	exit 2
	;;
esac
