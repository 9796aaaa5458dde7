#!/usr/bin/env bash
# A Debian 13 (trixie) root built with debootstrap from Debian's own packages,
# with Debian's python3.13 and Qt bindings, for running the test suite the way
# a user of the distribution would: a venv with the system site packages, the
# module built with Debian's compiler, CMake and build backend.
#
#   scripts/debian13.sh build                 make the root (or keep it as is)
#   scripts/debian13.sh test [pytest args...] copy this tree into the root and
#                                             run the suite on each binding, as
#                                             an ordinary user
#   scripts/debian13.sh shell                 interactive shell in the root
#
# The root is kept between runs at $DEBIAN13_ROOT, with a stamp of what it was
# built from (suite, mirror, package list); it is built again where it is
# missing or its stamp differs. Needs root (debootstrap, chroot, mounts).
#
# Environment:
#   DEBIAN13_ROOT=/var/cache/zarnu/debian13   where the root lives
#   DEBIAN13_MIRROR=URL      Debian mirror (default: the one this machine's apt
#                            sources name for Debian itself)
#   DEBIAN13_APIS="pyside6 pyqt6 pyqt5"       bindings the suite runs on
set -euo pipefail

SRC="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
TARGET="${DEBIAN13_ROOT:-/var/cache/zarnu/debian13}"
SUITE=trixie
APIS="${DEBIAN13_APIS:-pyside6 pyqt6 pyqt5}"
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8

log() { echo "debian13: $*" >&2; }
die() { echo "debian13: error: $*" >&2; exit 1; }

# What a user installs with apt to build and test the module: Debian's
# interpreter, its three Qt bindings, qtpy, the test tools and the build tools.
PACKAGES=(
    python3.13 python3.13-dev python3.13-venv python3-pip
    python3-pyside6.qtcore python3-pyside6.qtgui python3-pyside6.qtwidgets
    python3-pyside6.qttest
    python3-pyqt6 python3-pyqt5 python3-qtpy
    python3-pytest python3-pytestqt python3-hypothesis
    python3-scikit-build-core cmake ninja-build g++
    fonts-dejavu-core
)

# The mirror this machine's apt uses for Debian itself (not its security
# archive), so the root comes from the same place as the host's packages.
host_mirror() {
    local url
    url="$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list 2>/dev/null \
        | grep -v '^[[:space:]]*#' \
        | grep -oE '(https?|file)://[^ ]+/debian/?( |$)' | grep -v security | head -n1 | tr -d ' ')" || true
    echo "$url"
}
MIRROR="${DEBIAN13_MIRROR:-$(host_mirror)}"
MIRROR="${MIRROR%/}"

stamp_text() {
    # recipe: bump when the way the root is made changes
    printf 'recipe 1\nsuite %s\nmirror %s\npackages %s\n' "$SUITE" "$MIRROR" "${PACKAGES[*]}"
}

need_root() { [ "$(id -u)" -eq 0 ] || die "needs root (debootstrap, chroot and mounts)"; }

# Unmounts what an interrupted run left mounted below a root.
unmount_below() {
    local m
    for m in $(awk -v d="$1/" 'index($2, d) == 1 {print $2}' /proc/mounts | sort -r); do
        umount "$m" 2>/dev/null || umount -l "$m"
    done
}

MOUNTED=()
mount_all() {
    local root="$1" d
    unmount_below "$root"
    for d in proc sys dev dev/pts; do
        mkdir -p "$root/$d"
        case "$d" in
            proc) mount -t proc proc "$root/proc" ;;
            sys) mount -t sysfs sysfs "$root/sys" ;;
            dev) mount --bind /dev "$root/dev" ;;
            dev/pts) mount --bind /dev/pts "$root/dev/pts" ;;
        esac
        MOUNTED=("$root/$d" "${MOUNTED[@]}")
    done
    mkdir -p "$root/dev/shm"
}
umount_all() {
    local m
    for m in "${MOUNTED[@]}"; do
        umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true
    done
    MOUNTED=()
}
trap umount_all EXIT

# Removes a root after unmounting whatever an interrupted run left mounted in
# it; never crosses into another file system (a left-over bind of /dev).
remove_root() {
    local dir="$1"
    [ -e "$dir" ] || return 0
    unmount_below "$dir"
    rm -rf --one-file-system "$dir"
}

in_root() {
    local root="$1"; shift
    chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        LC_ALL=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
}

build() {
    need_root
    if [ -f "$TARGET/.zarnu-stamp" ] && [ "$(cat "$TARGET/.zarnu-stamp")" = "$(stamp_text)" ]; then
        log "root at $TARGET is up to date ($(head -c 200 "$TARGET/.zarnu-versions" 2>/dev/null | tr '\n' ' '))"
        return 0
    fi
    [ -n "$MIRROR" ] || die "no Debian mirror in this machine's apt sources; set DEBIAN13_MIRROR"
    command -v debootstrap >/dev/null || {
        log "installing debootstrap"
        apt-get -o DPkg::Lock::Timeout=600 install -y -qq debootstrap >/dev/null \
            || { apt-get update -qq && apt-get -o DPkg::Lock::Timeout=600 install -y -qq debootstrap >/dev/null; }
    }
    local new="$TARGET.new"
    remove_root "$new"
    mkdir -p "$(dirname "$TARGET")"
    log "debootstrap $SUITE from $MIRROR into $new"
    debootstrap --variant=minbase --keyring=/usr/share/keyrings/debian-archive-keyring.gpg \
        "$SUITE" "$new" "$MIRROR" >"$new.log" 2>&1 || { tail -n 30 "$new.log" >&2; die "debootstrap failed (log: $new.log)"; }
    local security="${MIRROR%/debian}/debian-security"
    cat >"$new/etc/apt/sources.list" <<EOF
deb $MIRROR $SUITE main
deb $MIRROR $SUITE-updates main
deb $security $SUITE-security main
EOF
    printf 'APT::Install-Recommends "false";\nAPT::Install-Suggests "false";\n' >"$new/etc/apt/apt.conf.d/90zarnu"
    cp /etc/resolv.conf "$new/etc/resolv.conf" 2>/dev/null || true
    mount_all "$new"
    log "installing ${#PACKAGES[@]} packages into the root"
    in_root "$new" apt-get update -qq
    in_root "$new" apt-get install -y -qq "${PACKAGES[@]}" >>"$new.log" 2>&1 \
        || { tail -n 30 "$new.log" >&2; die "apt-get install in the root failed (log: $new.log)"; }
    in_root "$new" apt-get clean
    umount_all
    in_root "$new" dpkg-query -W -f='${Package} ${Version}\n' \
        python3.13 python3-pyside6.qtcore python3-pyqt6 python3-pyqt5 python3-qtpy >"$new/.zarnu-versions"
    stamp_text >"$new/.zarnu-stamp"
    remove_root "$TARGET"
    mv "$new" "$TARGET"
    mv "$new.log" "$TARGET.log"
    log "root ready at $TARGET: $(tr '\n' ' ' <"$TARGET/.zarnu-versions")"
}

# Copies the working tree (without venvs, build output and git data) into the
# root, so the root's build never shares a build directory with the host's.
copy_tree() {
    local dest="$TARGET/work/zarnu"
    rm -rf "$dest"
    mkdir -p "$dest"
    tar -C "$SRC" --exclude=./.git --exclude=./.venv --exclude=./build --exclude=./dist \
        --exclude=./.pytest_cache --exclude=./.hypothesis --exclude=./bench/out --exclude=./demo-out \
        -cf - . | tar -C "$dest" -xf -
}

# As the unprivileged user `nobody`, the way most users run the bootstrap.
as_user() {
    local root="$1"; shift
    chroot --userspec=65534:65534 "$root" /usr/bin/env -i HOME=/work/zarnu/.home \
        PATH=/usr/local/bin:/usr/bin:/bin LC_ALL=C.UTF-8 "$@"
}

run_tests() {
    build
    copy_tree
    chown -R 65534:65534 "$TARGET/work/zarnu"
    mount_all "$TARGET"
    local api rc=0 out
    for api in $APIS; do
        log "suite on Debian's $api"
        # PIP_NO_INDEX: everything must come from Debian; a missing piece fails
        # here instead of being fetched from PyPI.
        local run=(env PIP_NO_INDEX=1 QT_API="$api" ZARNU_BINDINGS=system bash /work/zarnu/scripts/bootstrap.sh)
        out="$(as_user "$TARGET" "${run[@]}" setup 2>&1)" || rc=$?
        printf '%s\n' "$out" >&2
        # The root has every package the bootstrap asks for: one it calls
        # missing is a package look-up gone wrong.
        if [[ "$out" == *"missing Debian packages"* ]]; then
            log "error: the bootstrap calls packages missing that the root has"
            rc=1
        fi
        [ "$rc" -eq 0 ] || break
        as_user "$TARGET" "${run[@]}" test -p no:cacheprovider "$@" || rc=$?
        [ "$rc" -eq 0 ] || break
    done
    umount_all
    return "$rc"
}

cmd="${1:-}"
[ $# -gt 0 ] && shift
if [ "$(id -u)" -eq 0 ] && [ -n "$cmd" ]; then
    mkdir -p "$(dirname "$TARGET")"
    exec 8>"$TARGET.lock"
    flock 8  # one build or run in the root at a time
fi
case "$cmd" in
    build) build ;;
    test) need_root; run_tests "$@" ;;
    shell) need_root; build; mount_all "$TARGET"; chroot "$TARGET" /bin/bash -l || true ;;
    *) echo "usage: $0 build|test|shell [args...]" >&2; exit 2 ;;
esac
