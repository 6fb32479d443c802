#!/usr/bin/env bash
# Runs every test on a fresh Debian machine: checks that includes follow the
# layers, sets up the build roots (one per OBS version the module is tested
# with), checks the sources' format, builds the Linux preset in each of them
# and the Windows preset, the fuzzers and the sanitizer builds in the oldest,
# all with warnings as errors, and runs the Linux lane once per OBS version,
# the Windows lane under Wine, a short run of each fuzzer, the engine,
# end-to-end and settings suites under AddressSanitizer with UBSan and the
# engine and end-to-end suites under ThreadSanitizer, with the network
# unshared, and a one-minute soak with a fixed seed. Prints how long each phase
# took.
set -uo pipefail
cd "$(dirname "$0")/.."

phases=()
passed=0
failed=0
status=0
checks=0 # the layer and format checks fail the run but leave the tests to run

phase() { # name command...
	local name=$1 start=$SECONDS
	shift
	echo "==== $name"
	"$@"
	local rc=$?
	phases+=("$(printf '%-28s %4ds  %s' "$name" $((SECONDS - start)) "$([ $rc = 0 ] && echo ok || echo "FAILED ($rc)")")")
	return $rc
}

# Runs ctest for a preset and adds its counts to the totals.
lane() { # preset [obs-version]
	local log
	log=$(mktemp)
	scripts/root.sh run --obs "${2:-$oldest}" ctest --preset "$1" --no-tests=error 2>&1 | tee "$log"
	local rc=${PIPESTATUS[0]}
	local line total bad
	line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
	if [ -n "$line" ]; then
		bad=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")
		total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
		passed=$((passed + total - bad))
		failed=$((failed + bad))
	elif [ $rc != 0 ]; then
		failed=$((failed + 1))
	fi
	rm -f "$log"
	return $rc
}

# One minute of the soak in the oldest root (its iproute2 caps the bandwidth);
# it counts as one test.
soak() {
	if scripts/root.sh run --obs "$oldest" env TORVANE_SOAK_INSIDE=1 bash scripts/soak.sh --minutes 1 --seed 1; then
		passed=$((passed + 1))
	else
		failed=$((failed + 1))
		return 1
	fi
}

build() { # preset [obs-version]
	scripts/root.sh run --obs "${2:-$oldest}" bash -c "cmake --preset $1 -DTORVANE_WERROR=ON >/dev/null && cmake --build --preset $1 -j2"
}

phase "layers" scripts/check-layers.sh || checks=1
phase "build roots" scripts/root.sh ensure all || exit 1
phase "format" scripts/check-format.sh || checks=1
versions=$(scripts/root.sh versions)
oldest=$(head -n 1 <<<"$versions")
for v in $versions; do
	phase "build linux OBS $v" build linux "$v" || status=1
done
phase "build windows" build windows || status=1
phase "build fuzzers" build fuzz || status=1
phase "build linux-asan" build linux-asan || status=1
phase "build linux-tsan" build linux-tsan || status=1
if [ $status = 0 ]; then
	for v in $versions; do
		phase "tests linux OBS $v" lane linux "$v" || status=1
	done
	phase "soak (60 s, seed 1)" soak || status=1
	phase "tests windows (Wine)" lane windows || status=1
	phase "fuzzing (smoke)" lane fuzz || status=1
	phase "tests linux-asan" lane linux-asan || status=1
	phase "tests linux-tsan" lane linux-tsan || status=1
fi

echo
echo "==== phases"
printf '%s\n' "${phases[@]}"
echo
echo "all lanes: $passed passed, $failed failed"
exit $((status | checks))
