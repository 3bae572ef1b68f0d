#!/bin/sh
# Configures, builds and runs every test.  Usage: scripts/test.sh [build-dir] [extra cmake args]
# Missing Debian build packages are installed when run as root.
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build}
[ $# -gt 0 ] && shift
PKGS="g++ cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev groff-base"
missing=""
for p in $PKGS; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    if [ "$(id -u)" = 0 ]; then
        apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q $missing
    else
        echo "missing build packages; run as root: apt-get install -y$missing" >&2
        exit 1
    fi
fi
cmake -S . -B "$BUILD" -G Ninja "$@"
cmake --build "$BUILD" -j "$(nproc)"
# Every test runs once: one that fails now and then is a fault to mend.
ctest --test-dir "$BUILD" --output-on-failure -j "$(nproc)"
