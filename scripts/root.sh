#!/usr/bin/env bash
# The Debian build roots, one per OBS version the module is tested with:
# created once with mmdebstrap, cached outside the checkout, brought up to date
# when root-packages.txt grows, entered with bwrap.
#
#   scripts/root.sh ensure [VERSION|all]         create or update a root (default: all),
#                                                with the npm packages the tests drive OBS with
#   scripts/root.sh run [--obs VERSION] [--net] CMD...
#                                                run CMD inside a root, in the current
#                                                folder; without --net the network is
#                                                unshared (loopback only)
#   scripts/root.sh versions                     the OBS versions, oldest first
#   scripts/root.sh newest                       the newest of them
#
# Without --obs, `run` enters the root of TORVANE_OBS, or else the oldest: the
# only one that also holds the Windows and fuzzing tool chains. Inside a root,
# TORVANE_OBS names its OBS version and TORVANE_HOST_SUFFIX the suffix of its
# Linux build folder (build/linux for the oldest, build/linux-obs<VERSION> for
# the others), so that the roots never share a build.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
checkout=$(cd "$here/.." && pwd)
cache=${TORVANE_CACHE:-/var/cache/torvane}
list=$here/root-packages.txt
# Installed from the npm registry into /opt/torvane-npm of every root when it is
# created or updated, never at test time; npm trusts the machine's own CA bundle.
npm_packages="obs-websocket-js@5.0.8"
npm_prefix=/opt/torvane-npm
host_ca=${NODE_EXTRA_CA_CERTS:-/etc/ssl/certs/ca-certificates.crt}

# OBS version, root folder, Debian suite, extra apt options. Debian's unstable
# index is served with a Valid-Until date that may have passed.
hosts=(
	"30.2.3 trixie trixie -"
	"32.2.2 sid unstable Acquire::Check-Valid-Until=false"
)

say() { printf '[root] %s\n' "$*" >&2; }

host_field() { # version field-number
	local h
	for h in "${hosts[@]}"; do
		read -r -a f <<<"$h"
		if [ "${f[0]}" = "$1" ]; then
			echo "${f[$2]}"
			return
		fi
	done
	echo "unknown OBS version '$1'; known: $(versions | paste -sd' ')" >&2
	exit 2
}

versions() { local h; for h in "${hosts[@]}"; do echo "${h%% *}"; done; }
oldest() { versions | head -n 1; }
newest() { versions | tail -n 1; }

# The root's packages: lines of root-packages.txt, where a second word names
# the only root that gets the package.
packages() { # root-name
	grep -v -e '^#' -e '^[[:space:]]*$' "$list" | awk -v root="$1" 'NF == 1 || $2 == root { print $1 }'
}

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

# bwrap arguments shared by every entry into a root.
enter_args() { # version
	local name root suffix=""
	name=$(host_field "$1" 1)
	root=$cache/$name
	[ "$1" = "$(oldest)" ] || suffix=-obs$1
	local args=(--bind "$root" / --dev /dev --proc /proc --perms 1777 --tmpfs /tmp
		--bind "$checkout" "$checkout" --die-with-parent --setenv HOME /tmp/home
		--setenv PATH /usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
		--setenv LANG C.UTF-8 --setenv TORVANE_OBS "$1" --setenv TORVANE_HOST_SUFFIX "$suffix"
		--chdir "$PWD")
	[ -e /etc/resolv.conf ] && args+=(--ro-bind /etc/resolv.conf /etc/resolv.conf)
	printf '%s\0' "${args[@]}"
}

run_in_root() {
	local net=0 version=${TORVANE_OBS:-$(oldest)}
	while :; do
		case "${1:-}" in
		--net) net=1 ;;
		--obs)
			version=$2
			shift
			;;
		*) break ;;
		esac
		shift
	done
	[ "$version" = newest ] && version=$(newest)
	local args=()
	mapfile -d '' args < <(enter_args "$version")
	((net)) || args+=(--unshare-net)
	exec bwrap "${args[@]}" -- /bin/bash -c 'mkdir -p "$HOME"; exec "$@"' bash "$@"
}

ensure_one() { # version
	local name suite aptopt root stamp
	name=$(host_field "$1" 1)
	suite=$(host_field "$1" 2)
	aptopt=$(host_field "$1" 3)
	root=$cache/$name
	stamp=$root/.torvane-packages
	local opts=()
	[ "$aptopt" = - ] || opts+=("--aptopt=${aptopt%%=*} \"${aptopt#*=}\"")
	if [ ! -f "$stamp" ]; then
		say "creating the root for OBS $1 (Debian $suite) in $root"
		mkdir -p "$cache"
		rm -rf "$root.new"
		local include
		include=$(packages "$name" | paste -sd, -)
		mmdebstrap --quiet --variant=minbase "${opts[@]}" --include="$include" "$suite" "$root.new" </dev/null
		if [ "$aptopt" != - ]; then
			echo "${aptopt%%=*} \"${aptopt#*=}\";" >"$root.new/etc/apt/apt.conf.d/99torvane"
		fi
		rm -rf "$root"
		mv "$root.new" "$root"
		packages "$name" | sort >"$stamp"
		ensure_npm "$1" "$root"
		return
	fi
	local missing
	missing=$(comm -13 "$stamp" <(packages "$name" | sort))
	if [ -n "$missing" ]; then
		say "installing into the root for OBS $1: $(echo $missing)"
		local args=()
		mapfile -d '' args < <(enter_args "$1")
		# shellcheck disable=SC2086
		bwrap "${args[@]}" -- /bin/sh -c "apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $(echo $missing) >/dev/null"
		packages "$name" | sort >"$stamp"
	fi
	ensure_npm "$1" "$root"
}

ensure_npm() { # version root
	local stamp=$2/.torvane-npm
	[ "$(cat "$stamp" 2>/dev/null)" = "$npm_packages" ] && return
	say "installing into the root for OBS $1 from npm: $npm_packages"
	local args=()
	mapfile -d '' args < <(enter_args "$1")
	# shellcheck disable=SC2086
	bwrap "${args[@]}" --ro-bind "$host_ca" /tmp/host-ca.pem -- /bin/sh -c "mkdir -p /tmp/home &&
		npm install --prefix $npm_prefix --cafile /tmp/host-ca.pem --no-audit --no-fund --loglevel=error $npm_packages"
	echo "$npm_packages" >"$stamp"
}

ensure() { # [version|all]
	host_tools
	local v
	case "${1:-all}" in
	all) for v in $(versions); do ensure_one "$v"; done ;;
	newest) ensure_one "$(newest)" ;;
	*) ensure_one "$1" ;;
	esac
}

case "${1:-}" in
ensure) ensure "${2:-all}" ;;
run)
	shift
	run_in_root "$@"
	;;
versions) versions ;;
newest) newest ;;
*)
	echo "usage: scripts/root.sh ensure [VERSION|newest|all] | run [--obs VERSION] [--net] CMD... | versions | newest" >&2
	exit 2
	;;
esac
