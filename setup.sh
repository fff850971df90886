#!/usr/bin/env bash
# setup.sh - one command from a fresh Debian 12 checkout to a running demo, a
# full test run or the demo's web page: installs the missing Debian packages,
# builds, generates the demo's data, then
#   ./setup.sh demo   starts the demo (Escape quits)
#   ./setup.sh studio starts the studio on data/timeline.txt (F1 shows its keys)
#   ./setup.sh test   runs every test (the web page's in headless Chromium
#                     among them), then the unit tests and the fuzz seed
#                     corpora once more under the address and
#                     undefined-behaviour sanitizers, and the sanitized
#                     offline renderer on the whole timeline and on hostile
#                     track files, and each fuzz target for a minute
#   ./setup.sh web    builds the web page into build-web/site/ and serves it
#                     on http://127.0.0.1:8000
#   ./setup.sh windows  cross-builds demo.exe and capture.exe for Windows
#                     into build-win/demo/ and says how to run them under Wine
#   ./setup.sh release [--no-video]  makes the release in dist/: the
#                     Windows zip, the Linux archive, the web page's zip, the
#                     video (not with --no-video), one screenshot per scene
#                     and SHA256SUMS
# The libraries that the web, Windows and release builds make from Debian's
# sources are kept in the user's cache (tools/deps/build-deps.sh; the folder
# is $DEMO_DEPS_CACHE, by default ~/.cache/lumikenno-deps), for every clone.
set -euo pipefail

usage="usage: ./setup.sh demo|studio|test|web|windows|release [--no-video]"
mode=${1:-}
case "$mode" in
    demo|studio|test|web|windows|release) ;;
    *) echo "$usage" >&2; exit 2 ;;
esac
release_options=()
if [ $# -gt 1 ]; then
    [ "$mode" = release ] && [ "$2" = --no-video ] && [ $# -eq 2 ] || { echo "$usage" >&2; exit 2; }
    release_options=(--no-video)
fi
cd "$(dirname "$0")"

sudo=
[ "$(id -u)" = 0 ] || sudo=sudo

packages=(build-essential cmake ninja-build pkg-config libsdl2-dev libvorbis-dev
          libpng-dev libfreetype-dev fonts-dejavu-core libgtest-dev
          libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
          xvfb xauth xdotool x11-apps clang libclang-rt-14-dev libcli11-dev libimgui-dev libdw-dev
          libwebsockets-dev universal-ctags)
# A git checkout takes the release's time stamp from its commit; an unpacked
# archive has no .git and needs no git.
[ -e .git ] && packages+=(git)
update=
if [ "$mode" = web ] || [ "$mode" = test ] || [ "$mode" = release ]; then
    # The web build: Debian's emscripten, its chromium for the tests, npm for
    # the test driver (a Node from elsewhere may bring its own npm).
    packages+=(emscripten chromium python3)
    command -v npm >/dev/null || packages+=(npm)
fi
if [ "$mode" = windows ] || [ "$mode" = test ] || [ "$mode" = release ]; then
    # The Windows build: mingw-w64's compilers with posix threads, and Wine
    # to run (and test) the result.
    packages+=(gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
               wine wine64)
fi
if [ "$mode" = test ] || [ "$mode" = release ]; then
    # The release's Linux programs are built in a Debian 11 root
    # (tools/deps/debian11_root.sh), made once with debootstrap.
    packages+=(debootstrap)
fi
if [ "$mode" != demo ] && [ "$mode" != studio ]; then
    # The web and Windows builds make their libraries from Debian's source
    # packages (SDL2, libogg, libvorbis; zlib and libpng for Windows), which
    # need a deb-src line: the one for the Debian mirror that the machine's
    # own apt sources name.
    if [ -z "$(apt-cache showsrc --only-source libsdl2 2>/dev/null)" ]; then
        stanza=$(tools/deps/deb_src_stanza.sh)
        printf '%s\n' "$stanza" | $sudo tee /etc/apt/sources.list.d/debian-src.sources >/dev/null
        update=1
    fi
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ] || [ -n "$update" ]; then
    $sudo apt-get update
fi
if [ ${#missing[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ "$mode" = release ]; then
    # The release takes only the data, the icon and capture from here.
    cmake --build build --target demo capture scene_times demo_data
else
    cmake --build build
fi

if [ "$mode" = demo ]; then
    cd build/demo
    exec ./demo
fi
if [ "$mode" = studio ]; then
    cd build/demo
    exec ./studio ../../data/timeline.txt --export .
fi

# The Windows programs: the static libraries for mingw-w64 from the user's
# cache (built on the first run only), then demo.exe, capture.exe and the
# data the desktop build generated, in build-win/demo.
if [ "$mode" = windows ] || [ "$mode" = test ] || [ "$mode" = release ]; then
    win_prefix=$(tools/deps/build-deps.sh windows)
    cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" \
        -DCMAKE_PREFIX_PATH="$win_prefix" -DCMAKE_FIND_ROOT_PATH="$win_prefix" \
        -DDEMO_NATIVE_BUILD="$PWD/build"
    cmake --build build-win
fi
if [ "$mode" = windows ]; then
    echo "Windows build in build-win/demo/. Run it under Wine from there (the tracks and"
    echo "music are read from the working directory):"
    echo "    cd build-win/demo && WINEPREFIX=$PWD/build-win/wine wine demo.exe"
    exit 0
fi

# The web page: SDL2, libogg and libvorbis for WebAssembly from the user's
# cache (built on the first run only), then the page itself with the data
# the desktop build generated.
prefix=$(tools/deps/build-deps.sh web)
emcmake cmake -S . -B build-web -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" \
    -DDEMO_WEB_DATA="$PWD/build/demo"
cmake --build build-web

if [ "$mode" = web ]; then
    serve=(python3 -m http.server 8000 --bind 127.0.0.1 --directory build-web/site)
    echo "Serving the demo on http://127.0.0.1:8000/ (Ctrl-C stops) with: ${serve[*]}"
    exec "${serve[@]}"
fi

if [ "$mode" = release ]; then
    exec tools/release/release.sh dist "${release_options[@]}"
fi

# The browser tests' driver, as locked, from the npm registry; it never
# fetches a browser (the tests run Debian's chromium).
npm_dir=build-web/npm
if ! cmp -s tests/web/package-lock.json "$npm_dir/package-lock.json" || [ ! -d "$npm_dir/node_modules" ]; then
    rm -rf "$npm_dir"
    mkdir -p "$npm_dir"
    cp tests/web/package.json tests/web/package-lock.json "$npm_dir/"
    (cd "$npm_dir" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --ignore-scripts --no-audit --no-fund)
fi

ctest --test-dir build --output-on-failure -j 2
ctest --test-dir build-web --output-on-failure
ctest --test-dir build-win --output-on-failure
# The release, packed without its video: what each archive holds, packing
# twice gives the same bytes, the Linux archive runs outside the build tree
# with no SDL, Vorbis or Ogg library installed, here and in a Debian 11 root
# (glibc 2.31), and the zip's demo.exe renders under Wine. Their time stamp
# is the commit's; a tree without one (an unpacked archive, or no git
# program) packs at a fixed time.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$( { [ -e .git ] && git log -1 --format=%ct; } 2>/dev/null) ||
        SOURCE_DATE_EPOCH=1546300800 # 2019-01-01 00:00 UTC
    export SOURCE_DATE_EPOCH
fi
tools/release/release.sh build-release/test-dist --no-video
python3 tests/release/test_pack.py --data-dir build/demo --data-list build/demo_data_files.txt \
    --linux-demo build-release/linux/demo/demo --windows-demo build-win/demo/demo.exe --site build-web/site
bash tests/release/linux_archive.sh "build-release/test-dist/lumikenno-$(head -n 1 VERSION)-linux-x86_64.tar.gz"
# capture built as the release's demo is, in the Debian 11 root, gives there
# the desktop build's bytes.
tools/deps/debian11_root.sh run --bind "$(tools/deps/build-deps.sh linux)" \
    cmake --build build-release/linux --target capture
bash tests/release/linux_capture.sh build/demo build-release/linux/demo/capture
bash tests/release/windows_zip.sh "build-release/test-dist/lumikenno-$(head -n 1 VERSION)-windows-x64.zip" \
    "$PWD/build-win/wine"
# The sanitized build renders with the data generated above.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDEMO_SANITIZE=ON -DDEMO_GENERATE_DATA=OFF \
    -DDEMO_DATA_DIR="$PWD/build/demo"
cmake --build build-asan --target unit_tests capture fuzz_track fuzz_timeline fuzz_bmp fuzz_link
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan -L 'unit|sanitized' --output-on-failure -j 2

# Each fuzz target for a short time box (FUZZ_SECONDS, 60 by default) from
# its seed corpus in the tree; any crash, leak, undefined behaviour, hang or
# runaway memory use fails the run (tests/fuzz/run.sh builds build-fuzz/).
for target in track timeline bmp link; do
    tests/fuzz/run.sh "$target" "${FUZZ_SECONDS:-60}" -timeout=10 -rss_limit_mb=2048
done
