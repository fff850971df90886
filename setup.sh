#!/usr/bin/env bash
# setup.sh - one command from a fresh Debian 12 checkout to a running demo or
# a full test run: installs the missing Debian packages, builds, generates
# the demo's data, then
#   ./setup.sh demo   starts the demo (Escape quits)
#   ./setup.sh test   runs every test, then the unit tests and the fuzz
#                     seed corpora once more under the address and
#                     undefined-behaviour sanitizers, and the sanitized
#                     offline renderer on the whole timeline and on hostile
#                     track files
set -euo pipefail

mode=${1:-}
case "$mode" in
    demo|test) ;;
    *) echo "usage: ./setup.sh demo|test" >&2; exit 2 ;;
esac
cd "$(dirname "$0")"

packages=(build-essential cmake ninja-build pkg-config libsdl2-dev libvorbis-dev
          libpng-dev libfreetype-dev libsdl2-ttf-dev fonts-dejavu-core libgtest-dev
          libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
          xvfb xauth xdotool x11-apps clang libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=
    [ "$(id -u)" = 0 ] || sudo=sudo
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build

if [ "$mode" = demo ]; then
    cd build/demo
    exec ./demo
fi

ctest --test-dir build --output-on-failure -j 2
# The sanitized build renders with the data generated above.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDEMO_SANITIZE=ON -DDEMO_GENERATE_DATA=OFF \
    -DDEMO_DATA_DIR="$PWD/build/demo"
cmake --build build-asan --target unit_tests capture fuzz_track fuzz_timeline fuzz_bmp
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan -L 'unit|sanitized' --output-on-failure -j 2
