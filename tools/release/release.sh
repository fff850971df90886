#!/usr/bin/env bash
# release.sh DIST [--no-video] - the release files in DIST, from the builds
# that setup.sh has made: build/ (the demo's data and capture), build-web/site
# (the web page) and build-win/demo/demo.exe (the Windows program).
#
# Builds the Linux demo against static SDL2, libvorbis and libogg
# (tools/deps/build-deps.sh linux, kept in the user's cache) in
# build-release/linux, inside the Debian 11 root (tools/deps/debian11_root.sh)
# with its compiler and C library, so that it runs on glibc 2.31 and later;
# renders one screenshot per scene and the release video
# with capture, and packs the archives and SHA256SUMS (pack.py). Every time
# stamp is the commit's (SOURCE_DATE_EPOCH; a tree without a commit must set
# it), and the build folders are kept out of the Linux program (the build
# maps them away), so the same commit gives the same bytes.
# --no-video leaves the video out (the tests pack that way).
set -euo pipefail

dist=${1:?usage: release.sh DIST [--no-video]}
video=1
[ "${2:-}" = --no-video ] && video=
cd "$(dirname "$0")/../.."
mkdir -p "$dist"
dist=$(cd "$dist" && pwd)

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$( { [ -e .git ] && git log -1 --format=%ct; } 2>/dev/null) ||
        { echo "release: no commit to take the time stamp from (not a git checkout, or no git); set SOURCE_DATE_EPOCH" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH
version=$(head -n 1 VERSION)
base=lumikenno-$version

windows_demo=build-win/demo/demo.exe
for f in build/demo/capture build/tools/scene_times build/demo_data_files.txt build-web/site/index.html "$windows_demo"; do
    [ -e "$f" ] || { echo "release: $f is missing (run ./setup.sh release)" >&2; exit 1; }
done

# The Linux program, built in the Debian 11 root, which sees this checkout
# and the prefix at their own paths; -s leaves no symbols or debug
# information. A build folder configured with another root or prefix starts
# anew: the paths it found are not to be seen in this root.
prefix=$(tools/deps/build-deps.sh linux)
in_root=(tools/deps/debian11_root.sh run --bind "$prefix")
stamp=build-release/linux/debian11-root
made_with=$(printf '%s\n' "$(tools/deps/debian11_root.sh path)" "$prefix")
if [ "$(cat "$stamp" 2>/dev/null)" != "$made_with" ]; then
    rm -rf build-release/linux
    mkdir -p build-release/linux
    echo "$made_with" >"$stamp"
fi
"${in_root[@]}" cmake -S . -B build-release/linux -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DDEMO_STATIC_DEPS=ON -DDEMO_GENERATE_DATA=OFF -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_EXE_LINKER_FLAGS=-s >&2
"${in_root[@]}" cmake --build build-release/linux --target demo >&2

# One screenshot per scene, in the middle of its first stretch on the
# timeline, named after the scene table (build/tools/scene_times).
rm -f "$dist"/lumikenno-* "$dist"/SHA256SUMS
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
scenes=$(cd build/demo && ../tools/scene_times)
while read -r t name; do
    (cd build/demo && ./capture --out "$shots/$name" --start "$t" --frames 1 >/dev/null)
    cp "$shots/$name/frame-000000.png" "$dist/$base-$name.png"
done <<<"$scenes"

if [ -n "$video" ]; then
    (cd build/demo && ./capture --video "$dist/$base-1080p60.mp4")
fi

python3 tools/release/pack.py --out "$dist" --data-dir build/demo --data-list build/demo_data_files.txt \
    --linux-demo build-release/linux/demo/demo --windows-demo "$windows_demo" --site build-web/site
echo "release: $dist" >&2
ls -l "$dist" >&2
