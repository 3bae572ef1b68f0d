#!/bin/sh
# Builds a distribution directory from a package tree: the installer, the
# disk list "disks", the size files "isize" and "tsize" (1K blocks, measured
# from the tree), and the gzip-compressed tar of "pkg" split into "pkg_tar."
# pieces.
#
#   sample/make-dist.sh [options] OUTDIR
#     --pkg DIR      package tree to ship as "pkg" (default: sample/pkg)
#     --setup FILE   installer to copy in as OUTDIR/setup (default: none)
#     --pieces N     number of archive pieces (default 3)
#     --upper        an upper-case medium: "DISKS" and "PKG_TAR.n" files
#                    (the list itself stays in lower case)
# OUTDIR is made (it must not exist yet, or be empty).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
pkg=$here/pkg setup="" pieces=3 upper=0
while [ $# -gt 0 ]; do
    case $1 in
    --pkg) pkg=$2; shift 2 ;;
    --setup) setup=$2; shift 2 ;;
    --pieces) pieces=$2; shift 2 ;;
    --upper) upper=1; shift ;;
    -h | --help) sed -n '2,/^set -eu/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) echo "make-dist: unknown option $1" >&2; exit 2 ;;
    *) break ;;
    esac
done
[ $# -eq 1 ] || { echo "usage: make-dist.sh [options] OUTDIR (see --help)" >&2; exit 2; }
out=$1
[ -d "$pkg" ] || { echo "make-dist: no package tree $pkg" >&2; exit 2; }
[ -f "$pkg/pkg.list" ] || echo "make-dist: warning: $pkg has no pkg.list" >&2
case $pieces in '' | *[!0-9]* | 0) echo "make-dist: --pieces needs a number" >&2; exit 2 ;; esac
mkdir -p "$out"
[ -z "$(ls -A "$out")" ] || { echo "make-dist: $out is not empty" >&2; exit 2; }
out=$(cd "$out" && pwd)

stage=$(mktemp -d "${TMPDIR:-/tmp}/make-dist.XXXXXX")
trap 'rm -rf "$stage"' EXIT
cp -pR "$pkg" "$stage/pkg"
tar --sort=name --owner=0 --group=0 --numeric-owner -C "$stage" -cf "$stage/pkg.tar" pkg
gzip -9n -c "$stage/pkg.tar" >"$stage/pkg.tar.gz"

# Pieces pkg_tar.1 .. pkg_tar.N, joined in list order by the installer.
prefix=pkg_tar. list=pkg_tar. disks=disks
[ $upper = 0 ] || { prefix=PKG_TAR. disks=DISKS; }
(cd "$out" && split -n "$pieces" -a "${#pieces}" --numeric-suffixes=1 "$stage/pkg.tar.gz" "$prefix")
names=""
for f in "$out/$prefix"*; do
    n=${f##*/"$prefix"}
    names="$names $list$n"
done

# Sizes in 1K blocks: the installed tree; the work area holds the copied
# pieces, the joined archive, the tar and the unpacked tree at once.
kb() { du -sk "$1" | cut -f1; }
tree=$(kb "$stage/pkg")
gz=$(kb "$stage/pkg.tar.gz")
tarkb=$(kb "$stage/pkg.tar")
echo "$tree" >"$out/isize"
echo $((gz * 2 + tarkb + tree)) >"$out/tsize"

{
    echo "${names# }"
    if [ $upper = 0 ]; then echo "disks isize tsize"; else echo "disks"; fi
    echo "end_of_list"
} >"$out/$disks"

[ -z "$setup" ] || cp "$setup" "$out/setup"
echo "make-dist: $out:" $(cd "$out" && ls)
