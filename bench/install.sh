#!/bin/sh
# Install benchmark: a generated package of FILES files (default 2000, about
# 50 MB of incompressible data) installed by setup inside the sandbox, timed
# against a plain shell script that makes the same copies, unpacking and mode
# changes in the same sandbox. Prints both times and their ratio (setup /
# plain), best of RUNS runs each (default 3).
#
#   bench/install.sh [--files N] [--kb SIZE-PER-FILE] [--runs N] [--setup FILE]
# Needs a built setup (default build/setup) and a sandbox (tests/sandbox).
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
files=2000 kb=25 runs=3 setup=$root/build/setup
while [ $# -gt 0 ]; do
    case $1 in
    --files) files=$2; shift 2 ;;
    --kb) kb=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --setup) setup=$2; shift 2 ;;
    -h | --help) sed -n '2,/^set -eu/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) echo "install.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
[ -x "$setup" ] || { echo "install.sh: no setup at $setup (build first)" >&2; exit 2; }
tests/sandbox/run.sh --probe >/dev/null || { echo "install.sh: no sandbox here" >&2; exit 2; }

work=$(mktemp -d /tmp/install-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

# The package: 20 directories of files, each directory copied by one "dir"
# line and made mode 755, plus the queue programs the installer sets.
pkg=$work/pkg
dirs=20
per=$((files / dirs))
mkdir -p "$pkg"
: >"$pkg/pkg.list"
d=0
while [ $d -lt $dirs ]; do
    mkdir -p "$pkg/d$d"
    i=0
    while [ $i -lt $per ]; do
        head -c $((kb * 1024)) /dev/urandom >"$pkg/d$d/f$i"
        i=$((i + 1))
    done
    echo "dir d$d mode 755" >>"$pkg/pkg.list"
    d=$((d + 1))
done
for p in osqadmin osrosxxtty qsf; do
    cp sample/pkg/$p "$pkg/$p"
    echo "c $p mode 755" >>"$pkg/pkg.list"
done
sh sample/make-dist.sh --pkg "$pkg" --pieces 10 "$work/dist" >/dev/null
echo "package: $(find "$pkg" -type f | wc -l) files, $(du -sk "$pkg" | cut -f1) KB;" \
    "distribution $(du -sk "$work/dist" | cut -f1) KB"

# The plain script: the same work as setup, without its checks and queries.
cat >"$work/dist/plain.sh" <<'EOF'
#!/bin/sh
set -e
W=/tmp/ZarvoInstall A=/usr/Zarvo/osxx
rm -rf $W
mkdir $W
for f in pkg_tar.* disks isize tsize; do cp -p /dist/$f $W; done
cd $W
for f in pkg_tar.*; do cat $f >>$W/ZarvoLinuxi386Osxx.tar.Z; done
gzip -dfv $W/ZarvoLinuxi386Osxx.tar.Z 1>>/tmp/setup.log 2>>/tmp/setup.log
tar xvfp $W/ZarvoLinuxi386Osxx.tar >>/tmp/setup.log 2>&1
rm -f $W/ZarvoLinuxi386Osxx.tar
mkdir -p $A /var/spool/Zarvo/osxx/__osa_download__
chmod 755 $A
while read -r cmd name attr mode; do
    case $cmd in
    dir) cp -pr $W/pkg/$name $A ;;
    c) cp -p $W/pkg/$name $A ;;
    esac
    chmod $mode $A/$name
done <$W/pkg/pkg.list
chmod 755 /usr/Zarvo
chmod 4755 $A/osrosxxtty $A/qsf
cd /
rm -rf $W
EOF
chmod 755 "$work/dist/plain.sh"

now() { date +%s.%N; }
# Best wall time of $runs sandboxed runs of the given command.
best() {
    b=""
    r=0
    while [ $r -lt $runs ]; do
        rm -rf "$work/state"
        t0=$(now)
        printf 'y\n' | tests/sandbox/run.sh --state "$work/state" --dist "$work/dist" \
            --setup "$setup" --timeout 600 -- "$@" >"$work/out" 2>&1 ||
            { echo "install.sh: run failed:" >&2; tail -5 "$work/out" >&2; exit 1; }
        t1=$(now)
        t=$(awk -v a="$t0" -v z="$t1" 'BEGIN { printf "%.3f", z - a }')
        if [ -z "$b" ] || awk -v t="$t" -v b="$b" 'BEGIN { exit !(t < b) }'; then b=$t; fi
        r=$((r + 1))
    done
    echo "$b"
}
tsetup=$(best /dist/setup)
[ -f "$work/state/upper/usr/Zarvo/osxx/d0/f0" ] || { echo "install.sh: setup installed nothing" >&2; exit 1; }
tplain=$(best /bin/sh /dist/plain.sh)
[ -f "$work/state/upper/usr/Zarvo/osxx/d0/f0" ] || { echo "install.sh: the plain script installed nothing" >&2; exit 1; }
awk -v s="$tsetup" -v p="$tplain" \
    'BEGIN { printf "setup: %.2f s   plain script: %.2f s   ratio: %.2f\n", s, p, s / p }'
