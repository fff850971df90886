#!/usr/bin/env bash
# run.sh TARGET SECONDS [LIBFUZZER OPTIONS...] - fuzzes one target (track, link,
# timeline or bmp) for SECONDS with clang's libFuzzer under the address and
# undefined-behaviour sanitizers. Builds build-fuzz/ with clang when needed.
# New inputs go to build-fuzz/corpus/TARGET, findings to build-fuzz/findings/;
# the seed corpus in tests/fuzz/corpus/TARGET is only read.
set -euo pipefail

target=${1:?usage: tests/fuzz/run.sh TARGET SECONDS [OPTIONS...]}
seconds=${2:?usage: tests/fuzz/run.sh TARGET SECONDS [OPTIONS...]}
shift 2
cd "$(dirname "$0")/../.."
seeds=tests/fuzz/corpus/$target
[ -d "$seeds" ] || { echo "no such fuzz target: $target" >&2; exit 2; }

if [ ! -f build-fuzz/CMakeCache.txt ]; then
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DDEMO_FUZZ=ON -DDEMO_GENERATE_DATA=OFF
fi
cmake --build build-fuzz --target "fuzz_$target"

mkdir -p "build-fuzz/corpus/$target" build-fuzz/findings
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
exec "build-fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix=build-fuzz/findings/"$target"- "$@" "build-fuzz/corpus/$target" "$seeds"
