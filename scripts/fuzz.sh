#!/bin/sh
# Builds the libFuzzer targets of fuzz/ with clang and runs each for SECONDS
# (default 60), one after the other, starting from the seed corpus in the tree
# (which holds every input that ever crashed) plus what earlier runs found.
# Usage: scripts/fuzz.sh [SECONDS]
# Environment: FUZZ_BUILD (build directory, default build-fuzz), FUZZ_TARGETS
# (names to run, default all), FUZZ_JOBS (build jobs, default nproc).
set -u
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-60}
BUILD=${FUZZ_BUILD:-build-fuzz}
TARGETS=${FUZZ_TARGETS:-"help transconf database settings validate tokens textedit pkglist nlscat"}
JOBS=${FUZZ_JOBS:-$(nproc)}

if ! command -v clang++ >/dev/null 2>&1; then
    if [ "$(id -u)" = 0 ]; then
        apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q clang || exit 1
    else
        echo "clang is missing; run as root: apt-get install -y clang" >&2
        exit 1
    fi
fi
launcher=""
command -v ccache >/dev/null 2>&1 && launcher="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
mkdir -p "$BUILD"
# shellcheck disable=SC2086
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DFUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    $launcher >"$BUILD/configure.log" 2>&1 || { cat "$BUILD/configure.log"; exit 1; }
cmake --build "$BUILD" -j "$JOBS" --target fuzz_all || exit 1

# Absolute paths: the targets work inside scratch directories of their own.
top=$(pwd)
case $BUILD in /*) ;; *) BUILD="$top/$BUILD" ;; esac
out="$BUILD/fuzz/runs"
mkdir -p "$out"
passed=0
failed=0
for t in $TARGETS; do
    bin="$BUILD/fuzz/fuzz_$t"
    corpus="$BUILD/fuzz/corpus/$t"
    log="$out/$t.log"
    mkdir -p "$corpus" "$out/$t"
    # Help pages are laid out whole; inputs stay small enough for every page
    # to render well inside the time-out.
    maxlen=4096
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} UBSAN_OPTIONS=print_stacktrace=1 \
        "$bin" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=1536 -max_len=$maxlen \
        -dict="$top/fuzz/$t.dict" -artifact_prefix="$out/$t/" -print_final_stats=1 \
        "$corpus" "$top/fuzz/corpus/$t" >"$log" 2>&1
    rc=$?
    # A crash leaves the target's scratch directory behind.
    scratch=$(sed -n 's|^fuzz scratch: \(/tmp/fuzz-[A-Za-z]*\.[A-Za-z0-9]*\)$|\1|p' "$log" | head -n 1)
    [ -n "$scratch" ] && [ -d "$scratch" ] && rm -rf "$scratch"
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1)
    if [ "$rc" -eq 0 ]; then
        passed=$((passed + 1))
        echo "$t: ${runs:-0} runs, ${cov:-cov: 0 ft: 0}, nothing found"
    else
        failed=$((failed + 1))
        what=$(grep -m 1 -E 'ERROR: (AddressSanitizer|libFuzzer|LeakSanitizer)|runtime error|SUMMARY' "$log")
        echo "$t: ${runs:-0} runs, ${cov:-cov: 0 ft: 0}, FOUND: ${what:-exit status $rc} (see $log, input in $out/$t/)"
    fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
