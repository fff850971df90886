#!/usr/bin/env bash
# debian11_root.sh path|key|run [--bind DIR]... COMMAND... - a Debian 11
# (bullseye, glibc 2.31) root in which the release's Linux programs are
# built, so that they run on that release and every later one: a program
# linked against an older C library runs on newer ones, never the other way.
#
#   path   prints the root's folder, making it first if there is none
#   key    prints the key of the root this script makes (below), and makes
#          nothing
#   run    runs COMMAND inside the root as root, in the current folder; each
#          --bind DIR (and the current folder) is seen at the same path
#          inside, so that file names agree on both sides. /proc, /dev, an
#          empty /tmp and /root (HOME) and the X server sockets of
#          /tmp/.X11-unix are there too.
#
# The root is made once with debootstrap from the Debian mirror that the
# machine's own apt sources name (tools/deps/deb_src_stanza.sh finds it), with
# Debian 11's compiler (gcc 10), cmake and ninja, the headers of the video
# and sound systems that SDL loads at run time, and Mesa to draw through
# OpenGL under an X server; no SDL. It is kept beside the dependency cache,
# CACHE/root-bullseye/KEY/root, where CACHE is $DEMO_DEPS_CACHE, by default
# ${XDG_CACHE_HOME:-~/.cache}/lumikenno-deps, and KEY covers what goes into
# it: a changed package list or way of making it gives a new root, and the
# two most recently used are kept. Makers of a root wait for each other. Needs root (chroot, mount) and the
# debootstrap program.
set -euo pipefail

usage="usage: debian11_root.sh path | key | run [--bind DIR]... COMMAND..."
here=$(cd "$(dirname "$0")" && pwd)
suite=bullseye
packages=(
    # The toolchain.
    g++ make cmake ninja-build pkg-config
    # What SDL's own build looks for to load each back end at run time:
    # the headers of the same list the machine's libsdl2-dev depends on
    # (libdecor is not in this release).
    libasound2-dev libdbus-1-dev libdrm-dev libegl-dev libgbm-dev libgl-dev libgles-dev
    libibus-1.0-dev libpulse-dev libsamplerate0-dev libsndio-dev libudev-dev libwayland-dev
    wayland-protocols libx11-dev libxcursor-dev libxext-dev libxfixes-dev libxi-dev
    libxinerama-dev libxkbcommon-dev libxrandr-dev libxss-dev libxt-dev libxv-dev
    libxxf86vm-dev
    # Drawing through OpenGL on an X server with no GPU, as a desktop does.
    libgl1-mesa-dri libglx-mesa0 libegl-mesa0
)

# The machine's own Debian mirror: the address of the deb entry that
# deb_src_stanza.sh picks.
mirror() {
    "$here/deb_src_stanza.sh" | sed -n 's/^URIs: *//p' | awk '{ print $1 }'
}

make_root() {
    command -v debootstrap >/dev/null ||
        { echo "debian11_root: debootstrap is missing (apt-get install debootstrap)" >&2; exit 1; }
    local uri
    uri=$(mirror)
    [ -n "$uri" ] || { echo "debian11_root: no Debian mirror in the machine's apt sources" >&2; exit 1; }
    echo "debian11_root: making a Debian 11 root from $uri in $dir" >&2
    rm -rf "$dir"
    mkdir -p "$dir"
    # The archive keyring of the machine's own release also signs bullseye.
    # In a mount namespace of its own: what it mounts inside the root goes
    # with it, even when it fails half-way.
    unshare --mount --propagation private -- debootstrap --variant=minbase \
        --keyring=/usr/share/keyrings/debian-archive-keyring.gpg "$suite" "$root" "$uri" >&2
    printf 'deb %s %s main\ndeb %s %s-updates main\n' "$uri" "$suite" "$uri" "$suite" \
        >"$root/etc/apt/sources.list"
    (in_root env DEBIAN_FRONTEND=noninteractive apt-get update -q) >&2
    (in_root env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends "${packages[@]}") >&2
    (in_root apt-get clean) >&2
    touch "$dir/done"
}

cache=${DEMO_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lumikenno-deps}/root-$suite
# What the root holds: the release, the package list and the way it is made
# (not the rest of this script, which only runs things in it).
key=$( { echo "$suite"; printf '%s\n' "${packages[@]}"; declare -f make_root; } | sha256sum | cut -c1-16)
dir=$cache/$key
root=$dir/root

# in_root [--bind DIR]... COMMAND...: COMMAND inside the root, in a mount
# namespace of its own, so that nothing stays mounted when it ends. It takes
# the place of the calling shell (every step is an exec), so the command
# keeps that process id; call it in a subshell to go on afterwards.
in_root() {
    local binds=()
    while [ "${1:-}" = --bind ]; do
        binds+=("$(cd "$2" && pwd)")
        shift 2
    done
    binds+=("$PWD")
    local b
    for b in "${binds[@]}"; do
        [ "$b" != / ] || { echo "debian11_root: cannot show / inside the root" >&2; exit 2; }
    done
    [ $# -gt 0 ] || { echo "$usage" >&2; exit 2; }
    exec unshare --mount --propagation private -- /bin/sh -euc '
        root=$1 cwd=$2 n=$3
        shift 3
        mount -t proc proc "$root/proc"
        mount --rbind /dev "$root/dev"
        # A /tmp and a home of its own each time, as on a fresh start:
        # nothing that a command leaves there (a shader cache, a folder made
        # for a bind below) stays in the root for the next one.
        mount -t tmpfs tmpfs "$root/tmp"
        mount -t tmpfs tmpfs "$root/root"
        if [ -d /tmp/.X11-unix ]; then
            mkdir -p "$root/tmp/.X11-unix"
            mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
        fi
        while [ "$n" -gt 0 ]; do
            mkdir -p "$root$1"
            mount --bind "$1" "$root$1"
            shift
            n=$((n - 1))
        done
        exec chroot "$root" /bin/sh -c "cd \"\$1\" && shift && exec \"\$@\"" sh "$cwd" "$@"
    ' sh "$root" "$PWD" "${#binds[@]}" "${binds[@]}" "$@"
}

ensure_root() {
    [ "$(id -u)" = 0 ] ||
        { echo "debian11_root: needs root (debootstrap, mount namespaces and chroot)" >&2; exit 1; }
    mkdir -p "$cache"
    exec 9>"$cache/.lock"
    flock 9
    [ -f "$dir/done" ] || make_root
    touch "$dir/done" "$dir"
    # Keep the two most recently used roots.
    ls -1dt "$cache"/*/ 2>/dev/null | tail -n +3 | while read -r old; do rm -rf "$old"; done
    exec 9>&-
}

case "${1:-}" in
    path)
        [ $# -eq 1 ] || { echo "$usage" >&2; exit 2; }
        ensure_root
        echo "$root"
        ;;
    key)
        [ $# -eq 1 ] || { echo "$usage" >&2; exit 2; }
        echo "$key"
        ;;
    run)
        shift
        ensure_root
        in_root "$@"
        ;;
    *)
        echo "$usage" >&2
        exit 2
        ;;
esac
