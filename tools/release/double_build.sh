#!/usr/bin/env bash
# double_build.sh [--no-video] [--against DIST] [WORK] - builds the release
# of the current commit twice, from two clones in two differently named
# folders under WORK (a new temporary folder by default), and compares the
# two dist/ folders file by file. Prints "identical" or the files that
# differ, and exits 1 when any does. With --against, builds one clone only
# and compares its dist/ with DIST (a release of the same commit made
# elsewhere, say in this checkout).
#
# Each clone builds everything with `./setup.sh release` (with --no-video,
# `./setup.sh release --no-video`), without ccache, so no object of one build
# can stand in for the other's. Both use the user's dependency cache (the
# web/Windows/Linux libraries from Debian's sources, tools/deps/build-deps.sh):
# its entries are inputs keyed by their sources and recipes, not outputs.
set -euo pipefail

release_options=() against=
while [ $# -gt 0 ]; do
    case "$1" in
        --no-video) release_options=(--no-video); shift ;;
        --against) against=$(cd "${2:?--against needs a folder}" && pwd); shift 2 ;;
        *) break ;;
    esac
done
here=$(cd "$(dirname "$0")/../.." && pwd)
work=${1:-$(mktemp -d /tmp/release-double-XXXXXX)}
mkdir -p "$work"
work=$(cd "$work" && pwd)
commit=$(git -C "$here" rev-parse HEAD)
echo "double build of $commit in $work" >&2

build_one() { # folder
    local dir=$1
    rm -rf "$dir"
    git clone -q --no-hardlinks "$here" "$dir"
    git -C "$dir" checkout -q "$commit"
    (
        cd "$dir"
        unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER
        export CCACHE_DISABLE=1
        ./setup.sh release "${release_options[@]}"
    ) > "$dir.log" 2>&1 || { echo "the build in $dir failed; see $dir.log" >&2; exit 1; }
}

if [ -z "$against" ]; then
    start=$SECONDS
    build_one "$work/first"
    echo "first build: $((SECONDS - start)) s" >&2
    against=$work/first/dist
fi
start=$SECONDS
build_one "$work/second-folder"
echo "second build: $((SECONDS - start)) s" >&2

a=$against b=$work/second-folder/dist
differ=0
for name in $( (ls "$a"; ls "$b") | sort -u); do
    if ! cmp -s "$a/$name" "$b/$name"; then
        echo "differs: $name" >&2
        differ=1
    fi
done
if [ "$differ" = 0 ]; then
    echo "identical: $(ls "$a" | wc -l) files"
    cat "$a/SHA256SUMS"
fi
exit "$differ"
