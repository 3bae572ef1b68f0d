#!/bin/sh
# Builds everything, makes the sample distribution and installs it with
# setup inside a throw-away sandbox (tests/sandbox/run.sh), answering the
# licence question with "y"; then shows the dialogue, the exit status, the
# installed tree with its modes, the generated scripts and the log.
# Nothing on this machine is changed: /usr, /var, /opt and /etc are
# copy-on-write views inside the sandbox and /tmp is its own.
#
#   scripts/demo.sh [--keep] [-- SETUP-ARGS...]
#     --keep   keep the sandbox's state directory (its path is printed)
#     SETUP-ARGS  passed to setup, e.g. -- install /opt
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
keep=0
while [ $# -gt 0 ]; do
    case $1 in
    --keep) keep=1; shift ;;
    --) shift; break ;;
    -h | --help) sed -n '2,/^set -eu/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) echo "demo: unknown option $1 (see --help)" >&2; exit 2 ;;
    esac
done

say() { printf '\n\033[1m=== %s\033[0m\n' "$*"; }

# 1. Build (missing Debian build packages are installed when run as root).
say "Building setup and the sample distribution"
PKGS="g++ cmake ninja-build libgtest-dev libgmock-dev"
missing=""
for p in $PKGS; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    if [ "$(id -u)" = 0 ]; then
        apt-get update -q >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -q $missing >/dev/null
    else
        echo "missing build packages; run as root: apt-get install -y$missing" >&2
        exit 1
    fi
fi
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j 2 --target setup sample_dist | tail -n 1
dist=$root/build/sample-dist
echo "distribution: $dist"
ls -l "$dist" | sed 's/^/  /'

# 2. A sandbox, and a picture of the machine's own places before the run.
if ! why=$(tests/sandbox/run.sh --probe 2>&1); then
    echo "demo: no sandbox can be made here, so setup is not run: $why" >&2
    exit 1
fi
places="/usr/Zarvo /opt/Zarvo /var/spool/Zarvo /tmp/ZarvoInstall /tmp/setup.log /usr/bin/zqsf
        /usr/bin/osprint /usr/share/doc/zarvo-osxx /usr/share/printconf/util/ZarvoPrintosxx"
snapshot() {
    for p in $places; do
        if [ -e "$p" ] || [ -L "$p" ]; then
            find "$p" -exec stat -c '%n %A %s %Y' {} + 2>/dev/null
        else
            echo "$p absent"
        fi
    done
    stat -c '%n %Y' /usr /usr/bin /var/spool /opt /etc 2>/dev/null
}
state=$(mktemp -d /tmp/setup-demo.XXXXXX)
before=$(snapshot)
cleanup() { [ $keep = 1 ] || rm -rf "$state"; }
trap cleanup EXIT

# 3. The installation, answers fed in.
say "Running: /dist/setup${*:+ $*} (inside the sandbox; the demo types \"y\" to the licence)"
set +e
printf 'y\n' | tests/sandbox/run.sh --state "$state" --dist "$dist" -- /dist/setup "$@" \
    >"$state/out" 2>"$state/err"
status=$?
set -e
say "The dialogue (licence text shortened)"
awk -v q="Agree (y) / Disagree (n)? " '
    !asked && index($0, q) { sub(/Agree \(y\) \/ Disagree \(n\)\? /, ""); 
        printf "  ... (%d lines of the licence agreement) ...\n%s%sy    <- typed by the demo\n", n - 6, q, "";
        if (length($0)) print; asked = 1; next }
    !asked { n++; if (n <= 6) print; next }
    { print }' "$state/out"
if [ -s "$state/err" ]; then
    echo "--- standard error:"
    cat "$state/err"
fi
say "Exit status: $status"

# 4. What the run left, seen from inside the same sandbox.
inside() { tests/sandbox/run.sh --state "$state" --dist "$dist" -- /bin/sh -c "$1" 2>/dev/null; }
say "Installed tree (mode owner:group size path)"
inside 'for p in /usr/Zarvo /opt/Zarvo /var/spool/Zarvo /usr/share/doc/zarvo-osxx /usr/bin/zqsf /usr/bin/osprint; do
            [ -e "$p" ] || [ -L "$p" ] || continue
            find "$p" | sort | while read -r f; do
                if [ -L "$f" ]; then stat -c "%A %U:%G %8s %N" "$f"; else stat -c "%A %U:%G %8s %n" "$f"; fi
            done
        done' | sed 's/^/  /'
say "Generated scripts (first lines)"
inside 'for s in /usr/Zarvo/osxx/ZarvoPrintosxx /usr/Zarvo/osxx/v4DriverScript /usr/Zarvo/osxx/ZarvoQSF /usr/bin/zqsf; do
            echo "--- $s"; head -n 12 "$s"; done; echo "--- /usr/Zarvo/osxx/.os_cfg"; cat /usr/Zarvo/osxx/.os_cfg; echo' |
    sed 's/^/  /'
say "What the product's stand-in programs recorded"
inside 'cd /usr/Zarvo/osxx && for f in osqadmin.calls selinux/SHXPatchSELinuxPolicy.calls; do echo "--- $f"; cat "$f"; done' |
    sed 's/^/  /'
say "The log /tmp/setup.log"
sed 's/^/  /' "$state/root/tmp/setup.log" 2>/dev/null || echo "  (no log)"

# 5. The machine itself.
after=$(snapshot)
say "This machine"
if [ "$before" = "$after" ]; then
    echo "Nothing on this machine was changed: /usr/Zarvo, /var/spool/Zarvo, /usr/bin, the work area"
    echo "and log in /tmp and the other places setup writes look exactly as before; every change"
    echo "stayed in the sandbox."
else
    echo "WARNING: the machine's own places differ from before the run:"
    printf '%s\n' "$before" >"$state/before"
    printf '%s\n' "$after" >"$state/after"
    diff "$state/before" "$state/after" || true
fi
if [ $keep = 1 ]; then echo "sandbox state kept in $state"; fi
exit 0
