#!/bin/bash
# Runs a command (normally the installer) in a throw-away system view, so that
# what it does to /usr, /var, /opt, /etc and /tmp never reaches the machine.
#
#   tests/sandbox/run.sh [options] -- COMMAND [ARG...]
#
# Options:
#   --state DIR    state directory (created when missing; must not lie under
#                  /usr, /var, /opt or /etc). Default: a new /tmp/sandbox.XXXXXX,
#                  kept after the run and named on standard error.
#   --dist DIR     distribution directory, shown read-only at /dist.
#   --setup FILE   installer program, shown as /dist/setup.
#   --bin FILE     another program, shown as /dist/<its name> (repeatable).
#   --cwd DIR      directory the command starts in (default /dist).
#   --timeout SEC  kill everything after SEC seconds (default 60; status 124).
#   --env NAME=VAL add to the command's environment (repeatable). The command
#                  otherwise gets PATH=/usr/sbin:/usr/bin:/sbin:/bin, HOME=/,
#                  TERM=dumb and the sanitizer options of the caller.
#   --probe        only check that a sandbox can be made (status 0), else
#                  print why (status 125).
# Standard input, output and error are the command's own. The exit status is
# the command's; 124 after the time-out, 125 when no sandbox could be made.
#
# Inside: a private mount and process namespace whose root is STATE/root.
#   /usr, /var, /opt, /etc  copy-on-write overlays of the machine's trees; every
#                  change lands in STATE/upper/<tree> (a deletion shows as a
#                  character device 0/0, overlayfs' "whiteout").
#   /usr/sbin      begins with the fake ps, df, du, whoami and lpd of
#                  tests/sandbox/fake, first on the installer's search list.
#   /tmp and any other new top-level path: plain directories in STATE/root.
#   /.sandbox      the fakes' knobs (STATE/root/.sandbox); see each fake. The
#                  file "absent" there, read before the run, names fakes to
#                  leave out. Every fake call is appended to /.sandbox/calls.
#   /dev, /proc    the machine's devices; the namespace's own processes.
# Before the run, STATE/seed/usr|var|opt|etc (when present) lie as an extra
# layer over the machine's trees, so what the run changes of them still shows
# in STATE/upper; other top-level entries of STATE/seed (tmp, data, ...) are
# copied into STATE/root.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
trees="usr var opt etc"

die() {
    echo "sandbox: $*" >&2
    exit 125
}

# Builds the state directory's fixed parts.
prepare() {
    local s=$1 f absent="" links=() dirs=() fakes=()
    mkdir -p "$s/seed" "$s/root/.sandbox" "$s/root/tmp" "$s/fake/sbin" "$s/distbin" "$s/dist0" \
        "$s/root/dev" "$s/root/proc" "$s/root/dist" "$s/root/.oldroot"
    for t in $trees; do dirs+=("$s/upper/$t" "$s/work/$t" "$s/root/$t"); done
    for f in bin sbin lib lib32 lib64 libx32; do
        if [ -L "/$f" ]; then
            [ -L "$s/root/$f" ] || links+=("/$f")
        elif [ -d "/$f" ]; then
            dirs+=("$s/root/$f")
        fi
    done
    mkdir -p "${dirs[@]}"
    [ ${#links[@]} = 0 ] || cp -P "${links[@]}" "$s/root/"
    [ -f "$s/root/.sandbox/absent" ] && absent=" $(tr '\n' ' ' <"$s/root/.sandbox/absent") "
    for f in ps df du whoami lpd; do
        case "$absent" in *" $f "*) ;; *) fakes+=("$here/fake/$f") ;; esac
    done
    rm -f "$s/fake/sbin/"*
    cp "${fakes[@]}" "$s/fake/sbin/"
    for f in "$s/seed"/* "$s/seed"/.[!.]*; do
        [ -e "$f" ] || [ -L "$f" ] || continue
        case " $trees " in *" ${f##*/} "*) continue ;; esac
        cp -a "$f" "$s/root/"
    done
    chmod 1777 "$s/root/tmp"
}

# Mounts the view below STATE/root; runs inside the new namespaces.
mount_view() {
    local s=$1 dist=$2 r=$1/root t lower
    mount --make-rprivate /
    mount --bind "$r" "$r"
    for t in $trees; do
        lower=/$t
        [ "$t" = usr ] && lower=$s/fake:$lower
        [ -d "$s/seed/$t" ] && lower=$s/seed/$t:$lower
        mount -t overlay overlay -o "lowerdir=$lower,upperdir=$s/upper/$t,workdir=$s/work/$t" "$r/$t"
    done
    for t in bin sbin lib lib32 lib64 libx32; do
        if [ -d "/$t" ] && [ ! -L "/$t" ]; then mount --rbind "/$t" "$r/$t"; fi
    done
    mount -t overlay overlay -o "lowerdir=$s/distbin:$dist" "$r/dist"
    mount --rbind /dev "$r/dev"
    mount -t proc proc "$r/proc"
    cd "$r"
    pivot_root . .oldroot
    umount -l /.oldroot
    rmdir /.oldroot
}

# Second stage, inside the namespaces: mount, then run the command as a child.
inner() {
    local s=$1 dist=$2 cwd=$3
    shift 3
    mount_view "$s" "$dist" >&2 || die "cannot mount the sandbox view"
    cd "$cwd" 2>/dev/null || die "no directory $cwd inside"
    local -a envs=()
    mapfile -t envs <"/.sandbox/.env"
    rm -f "/.sandbox/.env"
    set +e
    env -i "${envs[@]}" "$@"
    exit $?
}

if [ "${1:-}" = --inner ]; then
    shift
    inner "$@"
fi

state="" dist="" setup="" cwd=/dist timeout=60 probe=0
declare -a extra=() bins=()
while [ $# -gt 0 ]; do
    case $1 in
    --state) state=$2; shift 2 ;;
    --dist) dist=$2; shift 2 ;;
    --setup) setup=$2; shift 2 ;;
    --bin) bins+=("$2"); shift 2 ;;
    --cwd) cwd=$2; shift 2 ;;
    --timeout) timeout=$2; shift 2 ;;
    --env) extra+=("$2"); shift 2 ;;
    --probe) probe=1; shift ;;
    --) shift; break ;;
    -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) die "unknown option $1 (see --help)" ;;
    esac
done
[ $# -gt 0 ] || [ $probe = 1 ] || die "no command given (see --help)"

announce=0
if [ -z "$state" ]; then
    state=$(mktemp -d /tmp/sandbox.XXXXXX)
    announce=1
fi
mkdir -p "$state"
state=$(cd "$state" && pwd)
case "$state/" in /usr/* | /var/* | /opt/* | /etc/*) die "state directory $state lies in an overlaid tree" ;; esac
case "$state$dist" in *[:,]*) die "paths with ':' or ',' cannot be layered" ;; esac
ns=(unshare --mount --pid --fork --kill-child=KILL)
[ "$(id -u)" = 0 ] || ns=(unshare --user --map-root-user --mount --pid --fork --kill-child=KILL)

if [ $probe = 1 ]; then
    # Namespaces and an overlay mount are all a run needs from the kernel.
    p=$state/probe
    mkdir -p "$p/l" "$p/u" "$p/w" "$p/m"
    set +e
    err=$("${ns[@]}" sh -c "mount --make-rprivate / && mount -t overlay overlay \
        -o lowerdir=$p/l,upperdir=$p/u,workdir=$p/w $p/m" 2>&1)
    rc=$?
    rm -rf "$p"
    [ $announce = 0 ] || rm -rf "$state"
    [ $rc = 0 ] || echo "sandbox unavailable: ${err:-namespaces cannot be made}"
    [ $rc = 0 ] || exit 125
    exit 0
fi

prepare "$state"
if [ -n "$dist" ]; then dist=$(cd "$dist" && pwd); else dist=$state/dist0; fi
[ -z "$setup" ] || cp "$setup" "$state/distbin/setup"
for b in "${bins[@]}"; do
    ln -f "$b" "$state/distbin/" 2>/dev/null || cp "$b" "$state/distbin/"
done

{
    echo "PATH=/usr/sbin:/usr/bin:/sbin:/bin"
    echo "HOME=/"
    echo "TERM=dumb"
    for v in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS; do
        [ -z "${!v:-}" ] || echo "$v=${!v}"
    done
    for v in "${extra[@]}"; do echo "$v"; done
} >"$state/root/.sandbox/.env"

set +e
timeout -k 2 "$timeout" "${ns[@]}" "$0" --inner "$state" "$dist" "$cwd" "$@"
rc=$?
set -e
rm -f "$state/root/.sandbox/.env"
[ $announce = 0 ] || echo "sandbox: state kept in $state" >&2
[ $rc != 137 ] || rc=124
exit $rc
